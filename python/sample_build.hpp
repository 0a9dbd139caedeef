// A sample built from arrays and materials handed over by a caller (the
// Python module), checked as the sample file is checked and refused with
// the same sentences: the materials' fields against the deck's ranges, the
// labels against the materials, the water proportions against their range.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tensor/io.hpp"
#include "tensor/sample.hpp"

namespace upscale_py {

// One material as given: its label, its name ("" for "label N") and its
// fields under the deck's names, in SI units.
struct MaterialSpec {
  int64_t label = 0;
  std::string name;
  std::vector<std::pair<std::string, double>> fields;
};

// "ice" -> 0, "shale" or "shaley-sand" -> 1; throws std::invalid_argument otherwise.
int32_t model_key(const std::string& model);

// The name a field-name list refuses, "" when every name is a field:
// unknown key "NAME" in material "M"; known keys: ...
std::string unknown_field(const std::string& material, const std::vector<std::pair<std::string, double>>& fields);

// The material as the caller describes it, every field checked for the model.
tensor::Material make_material(const MaterialSpec& from, int32_t key_model);

// Labels: width x height, top row first, as 64-bit integers; water: the
// same shape or empty (width 0). Throws std::invalid_argument with the
// sentence of the refusal, the place named "labels" or "water".
tensor::Sample make_sample(const tensor::Image<int64_t>& labels, const std::vector<MaterialSpec>& materials,
                           double cell_size, int32_t key_model, const tensor::Image<double>& water);

// A number as the refusals quote it (ten significant digits).
std::string shown(double v);

}  // namespace upscale_py
