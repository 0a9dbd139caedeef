#include "python/sample_build.hpp"

#include <cmath>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "core/deck.hpp"
#include "upscaling/deck_checks.hpp"
#include "tensor/material_fields.hpp"

namespace upscale_py {

std::string shown(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

namespace {

std::string name_of(const MaterialSpec& m) { return m.name.empty() ? "label " + std::to_string(m.label) : m.name; }

// The readers refuse with std::runtime_error; a caller's input is a value error.
template <class F>
void as_value_error(F&& f) {
  try {
    f();
  } catch (const std::runtime_error& e) {
    throw std::invalid_argument(e.what());
  }
}

tensor::Image<int32_t> narrowed(const tensor::Image<int64_t>& labels) {
  tensor::Image<int32_t> out{labels.width, labels.height, std::vector<int32_t>(labels.values.size())};
  for (std::size_t i = 0; i < labels.values.size(); ++i) {
    const int64_t v = labels.values[i];
    if (v < INT32_MIN || v > INT32_MAX) {
      const int64_t x = static_cast<int64_t>(i) % labels.width, y = static_cast<int64_t>(i) / labels.width;
      throw std::invalid_argument("\"labels\": pixel (column " + std::to_string(x) + ", row " + std::to_string(y) +
                                  ") has the label " + std::to_string(v) + ", which no material carries (labels are 32-bit)");
    }
    out.values[i] = static_cast<int32_t>(v);
  }
  return out;
}

}  // namespace

int32_t model_key(const std::string& model) {
  if (model == "ice") return 0;
  if (model == "shale" || model == "shaley-sand") return 1;
  throw std::invalid_argument("model = \"" + model + "\"; expected \"ice\" or \"shale\"");
}

std::string unknown_field(const std::string& material, const std::vector<std::pair<std::string, double>>& fields) {
  for (const auto& [key, value] : fields) {
    if (tensor::material_field(key)) continue;
    std::set<std::string> known = {"name"};
    for (const tensor::MaterialField& f : tensor::material_fields()) known.insert(f.name);
    std::string list;
    for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
    return "unknown key \"" + key + "\" in material \"" + material + "\"; known keys: " + list;
  }
  return "";
}

tensor::Material make_material(const MaterialSpec& from, int32_t key_model) {
  tensor::Material m;
  m.name = name_of(from);
  if (from.label < INT32_MIN || from.label > INT32_MAX)
    throw std::invalid_argument("label " + std::to_string(from.label) + " in material \"" + m.name +
                                "\" is beyond 32 bits");
  m.label = static_cast<int32_t>(from.label);
  if (const std::string why = unknown_field(m.name, from.fields); !why.empty()) throw std::invalid_argument(why);
  for (const tensor::MaterialField& f : tensor::material_fields()) {
    const std::pair<std::string, double>* given = nullptr;
    for (const auto& p : from.fields)
      if (p.first == f.name) given = &p;
    if (!given) {
      if (tensor::model_needs(f, key_model)) throw std::invalid_argument(tensor::missing_field(m.name, f));
      continue;
    }
    if (const std::string why = tensor::field_refusal(m.name, f, given->second, key_model); !why.empty())
      throw std::invalid_argument(why);
    m.*f.member = given->second;
  }
  if (const std::string why = tensor::ice_porosity_refusal(m, key_model); !why.empty())
    throw std::invalid_argument(why);
  return m;
}

tensor::Sample make_sample(const tensor::Image<int64_t>& labels, const std::vector<MaterialSpec>& materials,
                           double cell_size, int32_t key_model, const tensor::Image<double>& water) {
  tensor::Sample s;
  s.key_model = key_model;
  if (!(std::isfinite(cell_size) && cell_size > 0))
    throw std::invalid_argument("cell_size = " + shown(cell_size) + " must be a positive length (m)");
  s.h = cell_size;
  if (materials.empty()) throw std::invalid_argument("no material given; expected at least one");
  std::set<std::string> names;
  for (const MaterialSpec& spec : materials) {
    s.materials.push_back(make_material(spec, key_model));
    if (!names.insert(s.materials.back().name).second)
      throw std::invalid_argument("two materials are named \"" + s.materials.back().name + "\"");
  }
  if (labels.width < 1 || labels.height < 1)
    throw std::invalid_argument("labels: the image is empty; expected at least one cell");
  if (labels.width * labels.height > tensor::kMaxImageCells)
    throw std::invalid_argument("labels: " + std::to_string(labels.width) + " x " + std::to_string(labels.height) +
                                " cells, more than " + std::to_string(tensor::kMaxImageCells));
  as_value_error([&] { tensor::apply_label_image(narrowed(labels), "labels", s); });
  const double height = static_cast<double>(s.ny) * s.h;
  if (std::string why = upscaling::real_out_of_range("domain_size", height, core::Deck{}); !why.empty())
    throw std::invalid_argument("the sample's height " + std::to_string(s.ny) + " cells x cell_size " + shown(s.h) +
                                " = " + shown(height) + " m " + why);
  if (water.width > 0 || water.height > 0) as_value_error([&] { tensor::apply_water_image(water, "water", s); });
  return s;
}

}  // namespace upscale_py
