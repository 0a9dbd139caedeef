#include "tensor/material_fields.hpp"

#include <cstdio>

#include "core/deck.hpp"
#include "upscaling/deck_checks.hpp"

namespace tensor {

namespace {

constexpr MaterialField kFields[] = {
    {"akf", &Material::akf, FieldModel::all},           {"ro2", &Material::ro2, FieldModel::all},
    {"eta", &Material::eta, FieldModel::all},           {"ro1", &Material::ro1, FieldModel::all},
    {"ro3", &Material::ro3, FieldModel::all},           {"phi_a", &Material::phi_a, FieldModel::ice},
    {"phi_layer1", &Material::phi_layer1, FieldModel::all}, {"capa_1_0", &Material::capa_1_0, FieldModel::ice},
    {"capa_3_0", &Material::capa_3_0, FieldModel::ice}, {"s3", &Material::s3, FieldModel::shaley_sand},
    {"rs1", &Material::rs1, FieldModel::shaley_sand},   {"rs3", &Material::rs3, FieldModel::shaley_sand},
    {"coef_b13", &Material::coef_b13, FieldModel::all}, {"ak_air", &Material::ak_air, FieldModel::ice},
    {"xmu_air", &Material::xmu_air, FieldModel::ice},   {"ak_s1", &Material::ak_s1, FieldModel::all},
    {"xmu_s1", &Material::xmu_s1, FieldModel::all},     {"ak_s3", &Material::ak_s3, FieldModel::all},
    {"xmu_s3", &Material::xmu_s3, FieldModel::all},
};

std::string shown(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

}  // namespace

std::span<const MaterialField> material_fields() { return kFields; }

const MaterialField* material_field(const std::string& name) {
  for (const MaterialField& f : kFields)
    if (name == f.name) return &f;
  return nullptr;
}

bool model_needs(const MaterialField& f, int32_t key_model) {
  return f.needed_by == FieldModel::all || (f.needed_by == FieldModel::ice) == (key_model == 0);
}

std::string field_refusal(const std::string& material, const MaterialField& f, double v, int32_t key_model) {
  core::Deck ranges;
  ranges.key_model = key_model;
  const std::string why = upscaling::real_out_of_range(f.name, v, ranges);
  if (why.empty()) return "";
  return "in material \"" + material + "\": " + f.name + " = " + shown(v) + " " + why;
}

std::string missing_field(const std::string& material, const MaterialField& f) {
  return "material \"" + material + "\" lacks \"" + f.name + "\", which its model needs";
}

std::string ice_porosity_refusal(const Material& m, int32_t key_model) {
  if (key_model != 0 || m.phi_layer1 < m.phi_a) return "";
  return "in material \"" + m.name + "\": ice model: the water proportion phi_layer1 = " + shown(m.phi_layer1) +
         " must be below the absolute porosity phi_a = " + shown(m.phi_a);
}

}  // namespace tensor
