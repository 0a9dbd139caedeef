#include "upscaling/deck_checks.hpp"

#include <cmath>
#include <cstdio>

namespace upscaling {

namespace {

enum class Used { always, ice, shaley_sand, layered };  // by which decks

struct Range {
  const char* name;
  Used used;
  double lo, hi;
  bool lo_open, hi_open;
  const char* unit;
  const char* what;  // what the value is, and why the range
};

constexpr double kMaxModulus = 1e12;   // Pa: above the stiffest mineral
constexpr double kMaxDensity = 1e5;    // kg/m3: above the densest element
constexpr double kMaxFrequency = 1e12; // Hz: far beyond any acoustic test

constexpr Range kRanges[] = {
    {"freq", Used::always, 0, kMaxFrequency, true, false, "Hz", "the test frequency (at zero the fluid motion is undetermined)"},
    {"freq_max", Used::always, 0, kMaxFrequency, true, false, "Hz", "the top of the frequency scale"},
    {"domain_size", Used::always, 1e-9, 1e6, false, false, "m", "the height of the sample"},
    {"akf", Used::always, 0, kMaxModulus, true, false, "Pa", "the fluid bulk modulus"},
    {"ro2", Used::always, 0, kMaxDensity, true, false, "kg/m3", "the fluid density"},
    {"eta", Used::always, 0, 1e10, false, false, "Pa s", "the fluid viscosity (0 for no viscous loss)"},
    {"ro1", Used::always, 0, kMaxDensity, true, false, "kg/m3", "the density of solid 1"},
    {"ro3", Used::always, 0, kMaxDensity, true, false, "kg/m3", "the density of solid 3"},
    {"phi_a", Used::ice, 0, 1, true, true, "", "the absolute porosity, a volume fraction"},
    {"phi_layer1", Used::layered, 0, 1, true, true, "", "the water proportion of a layer, a volume fraction"},
    {"capa_1_0", Used::ice, 0, 1, true, false, "m2", "a permeability"},
    {"capa_3_0", Used::ice, 0, 1, true, false, "m2", "a permeability"},
    {"s3", Used::shaley_sand, 0, 1, true, true, "", "the shale proportion of the solid (at 0 or 1 the coefficients of a solid are undefined)"},
    {"rs1", Used::shaley_sand, 0, 1, true, false, "m", "a grain size"},
    {"rs3", Used::shaley_sand, 0, 1, true, false, "m", "a grain size"},
    {"coef_b13", Used::always, 0, 1e20, false, false, "Pa s/m2", "a friction coefficient (0 for none)"},
    {"ak_air", Used::ice, 0, kMaxModulus, false, false, "Pa", "the bulk modulus of the empty pores"},
    {"xmu_air", Used::ice, 0, kMaxModulus, false, false, "Pa", "the shear modulus of the empty pores"},
    {"ak_s1", Used::always, 0, kMaxModulus, true, false, "Pa", "a grain bulk modulus"},
    {"xmu_s1", Used::always, 0, kMaxModulus, true, false, "Pa", "a grain shear modulus"},
    {"ak_s3", Used::always, 0, kMaxModulus, true, false, "Pa", "a grain bulk modulus"},
    {"xmu_s3", Used::always, 0, kMaxModulus, true, false, "Pa", "a grain shear modulus"},
};

bool used(Used u, const core::Deck& d) {
  switch (u) {
    case Used::ice: return d.key_model == 0;
    case Used::shaley_sand: return d.key_model == 1;
    case Used::layered: return d.model == 0;
    default: return true;
  }
}

std::string shown(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

}  // namespace

std::string real_out_of_range(std::string_view name, double v, const core::Deck& deck) {
  if (!std::isfinite(v)) return "is not a finite number";
  if (name == "coef_b13" && v < 0) return "";  // friction_range_after_control
  for (const Range& r : kRanges) {
    if (name != r.name) continue;
    if (!used(r.used, deck)) return "";
    const bool above_lo = r.lo_open ? v > r.lo : v >= r.lo;
    const bool below_hi = r.hi_open ? v < r.hi : v <= r.hi;
    if (above_lo && below_hi) return "";
    return std::string("is outside ") + (r.lo_open ? "(" : "[") + shown(r.lo) + ", " + shown(r.hi) +
           (r.hi_open ? ")" : "]") + (*r.unit ? " " : "") + r.unit + ", the range of " + r.what;
  }
  return "";
}

std::string friction_range_after_control(const core::Deck& deck) {
  constexpr int kFirstLayerRecord = 10, kRecordsPerLayer = 20, kB13Offset = 13;  // nl(1) is record 10
  for (int n = 1; n <= deck.nlayers; ++n) {
    const double v = deck.coef_b13(n);
    if (v >= 0) continue;
    std::string why;
    for (const Range& r : kRanges)
      if (std::string_view(r.name) == "coef_b13")
        why = std::string("is outside [") + shown(r.lo) + ", " + shown(r.hi) + "] " + r.unit + ", the range of " +
              r.what;
    return "input deck refused: record " + std::to_string(kFirstLayerRecord + (n - 1) * kRecordsPerLayer + kB13Offset) +
           ": coef_b13(" + std::to_string(n) + ") = " + shown(v) + " " + why;
  }
  return "";
}

std::string integer_out_of_range(std::string_view name, int32_t v) {
  if (name == "nfreq" && v < 1) return "is below 1: the frequency scale has at least one point";
  if (name == "nl" && v < 0) return "is negative: a layer is a number of cells, 0 or more";
  return "";
}

}  // namespace upscaling
