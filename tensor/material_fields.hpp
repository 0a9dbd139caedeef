// The nineteen reals of a material under the deck's names, which of them a
// model needs, and the sentences that refuse a value: shared by the sample
// file and the Python module, so both say the same.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "tensor/sample.hpp"

namespace tensor {

enum class FieldModel { all, ice, shaley_sand };  // which model needs the field

struct MaterialField {
  const char* name;
  double Material::*member;
  FieldModel needed_by;
};

// In the deck's order of a layer record.
std::span<const MaterialField> material_fields();
// The field of that name, or null.
const MaterialField* material_field(const std::string& name);
// Whether the model (key_model 0 ice, 1 shaley sand) uses the field.
bool model_needs(const MaterialField& f, int32_t key_model);

// The refusals ("" when the value is accepted), after the place:
//   in material "NAME": FIELD = VALUE WHY          (outside the deck's range)
//   material "NAME" lacks "FIELD", which its model needs
//   in material "NAME": ice model: the water proportion phi_layer1 = ... must be below ... phi_a = ...
std::string field_refusal(const std::string& material, const MaterialField& f, double v, int32_t key_model);
std::string missing_field(const std::string& material, const MaterialField& f);
std::string ice_porosity_refusal(const Material& m, int32_t key_model);

}  // namespace tensor
