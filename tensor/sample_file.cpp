// The sample file (TOML, doc/sample_file.md): every key known, every value
// in the range the deck allows, paths relative to the file.
#include <toml++/toml.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <stdexcept>

#include "core/deck.hpp"
#include "core/sha256.hpp"
#include "upscaling/deck_checks.hpp"
#include "tensor/file_access.hpp"
#include "tensor/frequency_scale.hpp"
#include "tensor/io.hpp"
#include "tensor/material_fields.hpp"

namespace tensor {

namespace {

constexpr int64_t kMaxSampleFileBytes = 16 << 20;

// Messages name the file and the line of the offending node.
struct Where {
  std::string path;
  [[noreturn]] void refuse(const toml::node* n, const std::string& what) const {
    std::string at = "\"" + path + "\"";
    if (n && n->source().begin.line > 0) at += " line " + std::to_string(n->source().begin.line);
    throw std::runtime_error(at + ": " + what);
  }
  [[noreturn]] void refuse(const toml::key& k, const std::string& what) const {
    std::string at = "\"" + path + "\"";
    if (k.source().begin.line > 0) at += " line " + std::to_string(k.source().begin.line);
    throw std::runtime_error(at + ": " + what);
  }
};

std::string shown(double v) {
  char s[40];
  std::snprintf(s, sizeof s, "%.10g", v);
  return s;
}

void refuse_unknown_keys(const toml::table& t, const std::set<std::string>& known, const std::string& in,
                         const Where& w) {
  for (auto&& [key, node] : t)
    if (!known.count(std::string(key.str()))) {
      std::string list;
      for (const auto& k : known) list += (list.empty() ? "" : ", ") + k;
      w.refuse(key, "unknown key \"" + std::string(key.str()) + "\" " + in + "; known keys: " + list);
    }
}

double number(const toml::node& n, const std::string& name, const Where& w) {
  if (auto i = n.as_integer()) return static_cast<double>(i->get());
  if (auto f = n.as_floating_point()) return f->get();
  w.refuse(&n, name + " must be a number");
}

int64_t integer(const toml::node& n, const std::string& name, const Where& w) {
  if (auto i = n.as_integer()) return i->get();
  w.refuse(&n, name + " must be an integer");
}

std::string text(const toml::node& n, const std::string& name, const Where& w) {
  if (auto s = n.as_string()) return s->get();
  w.refuse(&n, name + " must be a string in quotes");
}

const toml::node& required(const toml::table& t, const char* key, const std::string& in, const Where& w) {
  const toml::node* n = t.get(key);
  if (!n) w.refuse(&t, "\"" + std::string(key) + "\" is missing " + in);
  return *n;
}

Material read_material(const toml::table& t, int32_t key_model, const Where& w) {
  std::set<std::string> known = {"name", "label"};
  for (const MaterialField& f : material_fields()) known.insert(f.name);
  Material m;
  m.name = text(required(t, "name", "in a [[material]] table", w), "name", w);
  const std::string in = "in material \"" + m.name + "\"";
  refuse_unknown_keys(t, known, in, w);
  const toml::node& label = required(t, "label", in, w);
  const int64_t l = integer(label, "label", w);
  if (l < INT32_MIN || l > INT32_MAX) w.refuse(&label, "label " + std::to_string(l) + " " + in + " is beyond 32 bits");
  m.label = static_cast<int32_t>(l);
  for (const MaterialField& f : material_fields()) {
    const toml::node* n = t.get(f.name);
    if (!n) {
      if (model_needs(f, key_model)) w.refuse(&t, missing_field(m.name, f));
      continue;
    }
    const double v = number(*n, f.name, w);
    if (const std::string why = field_refusal(m.name, f, v, key_model); !why.empty()) w.refuse(n, why);
    m.*f.member = v;
  }
  if (const std::string why = ice_porosity_refusal(m, key_model); !why.empty()) w.refuse(&t, why);
  return m;
}

std::vector<double> read_frequencies(const toml::table& t, const Where& w) {
  const toml::node* list = t.get("frequencies");
  const toml::node* scale = t.get("frequency");
  if ((list != nullptr) == (scale != nullptr))
    w.refuse(list ? list : scale, "give the frequencies either as a list \"frequencies = [...]\" or as a scale "
                                  "\"frequency = {min = ..., max = ..., count = ...}\", exactly one of them");
  if (list) {
    const toml::array* a = list->as_array();
    if (!a || a->empty()) w.refuse(list, "frequencies must be a non-empty list of numbers (Hz)");
    if (static_cast<int64_t>(a->size()) > kMaxFrequencies) w.refuse(list, "more frequencies than " + std::to_string(kMaxFrequencies));
    std::vector<double> f;
    for (const toml::node& n : *a) {
      f.push_back(number(n, "a frequency", w));
      if (std::string why = frequency_refusal(f.back()); !why.empty())
        w.refuse(&n, "frequency " + shown(f.back()) + " " + why);
    }
    return f;
  }
  const toml::table* s = scale->as_table();
  if (!s) w.refuse(scale, "frequency must be a table {min = ..., max = ..., count = ...}");
  refuse_unknown_keys(*s, {"min", "max", "count"}, "in frequency", w);
  const double lo = number(required(*s, "min", "in frequency", w), "frequency.min", w);
  const double hi = number(required(*s, "max", "in frequency", w), "frequency.max", w);
  const int64_t n = integer(required(*s, "count", "in frequency", w), "frequency.count", w);
  if (std::string why = log_scale_refusal(lo, hi, n); !why.empty())
    w.refuse(scale, "frequency = {min = " + shown(lo) + ", max = " + shown(hi) + ", count = " + std::to_string(n) +
                        "}: " + why);
  return log_scale(lo, hi, n);
}

void read_materials(const toml::table& t, Sample& s, const Where& w) {
  const toml::array* a = required(t, "material", "(at least one [[material]] table)", w).as_array();
  if (!a || a->empty() || !a->is_array_of_tables())
    w.refuse(t.get("material"), "material must be given as [[material]] tables");
  std::set<std::string> names;
  for (const toml::node& n : *a) {
    s.materials.push_back(read_material(*n.as_table(), s.key_model, w));
    if (!names.insert(s.materials.back().name).second)
      w.refuse(&n, "two materials are named \"" + s.materials.back().name + "\"");
    for (std::size_t i = 0; i + 1 < s.materials.size(); ++i)
      if (s.materials[i].label == s.materials.back().label)
        w.refuse(&n, "materials \"" + s.materials[i].name + "\" and \"" + s.materials.back().name +
                         "\" carry the same label " + std::to_string(s.materials[i].label));
  }
}

// The sample's model, cell size and Lame relations.
void read_globals(const toml::table& t, Sample& s, const Where& w) {
  const toml::node& model = required(t, "model", "", w);
  const std::string m = text(model, "model", w);
  if (m != "ice" && m != "shaley-sand") w.refuse(&model, "model = \"" + m + "\"; expected \"ice\" or \"shaley-sand\"");
  s.key_model = m == "ice" ? 0 : 1;
  const toml::node& h = required(t, "cell_size", "(the side of a square cell, m)", w);
  s.h = number(h, "cell_size", w);
  if (!(std::isfinite(s.h) && s.h > 0)) w.refuse(&h, "cell_size = " + shown(s.h) + " must be a positive length (m)");
  if (const toml::node* lame = t.get("lame")) {
    const std::string l = text(*lame, "lame", w);
    if (l != "2d" && l != "3d") w.refuse(lame, "lame = \"" + l + "\"; expected \"2d\" or \"3d\"");
    s.lame = l == "2d" ? LameRelations::two_d : LameRelations::three_d;
  }
  if (const toml::node* boundary = t.get("boundary")) {
    const std::string b = text(*boundary, "boundary", w);
    if (b != "periodic" && b != "sealed")
      w.refuse(boundary, "boundary = \"" + b + "\"; expected \"periodic\" or \"sealed\"");
    s.boundary = b == "periodic" ? Boundary::periodic : Boundary::sealed;
  }
}

std::string beside(const std::string& file, const std::string& p) {
  const std::filesystem::path q(p);
  return q.is_absolute() ? p : (std::filesystem::path(file).parent_path() / q).string();
}

}  // namespace

Sample read_sample_file(const std::string& path, const ReadShare& share) {
  const Where w{path};
  const std::string bytes = read_input_file(path, "sample file", kMaxSampleFileBytes);
  Sample s;
  s.input_digests.emplace_back(path, core::sha256_hex(bytes));
  toml::table t;
  try {
    t = toml::parse(bytes, path);
  } catch (const toml::parse_error& e) {
    throw std::runtime_error("\"" + path + "\" line " + std::to_string(e.source().begin.line) + " column " +
                             std::to_string(e.source().begin.column) + ": not TOML: " + std::string(e.description()));
  }
  refuse_unknown_keys(t, {"model", "cell_size", "labels", "water", "frequencies", "frequency", "lame", "boundary", "material"},
                      "at the top level", w);
  read_globals(t, s, w);
  read_materials(t, s, w);
  s.frequencies = read_frequencies(t, w);
  const std::string labels = beside(path, text(required(t, "labels", "(the label image)", w), "labels", w));
  std::string digest;
  read_labels_into(s, labels, digest, share);
  s.input_digests.emplace_back(labels, digest);
  core::Deck ranges;
  const double height = static_cast<double>(s.ny) * s.h;
  if (std::string why = upscaling::real_out_of_range("domain_size", height, ranges); !why.empty())
    w.refuse(t.get("cell_size"), "the sample's height " + std::to_string(s.ny) + " cells x cell_size " + shown(s.h) +
                                     " = " + shown(height) + " m " + why);
  if (const toml::node* water = t.get("water")) {
    const std::string file = beside(path, text(*water, "water", w));
    read_water_into(s, file, digest, share);
    s.input_digests.emplace_back(file, digest);
  }
  return s;
}

}  // namespace tensor
