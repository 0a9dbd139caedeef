// The run of one upscaling program: open the result files, read the deck,
// build and check the material map, compute one step (coefficients,
// analytic plane waves, finite-element test, sparse solve, effective
// modulus) and end with the running time and stop code 40.
//
// The compressional program and the two shear programs differ only in what
// `ProgramSetup` says.
#pragma once

#include "core/test_kind.hpp"
#include "core/report_labels.hpp"

namespace drivers {

struct ProgramSetup {
  core::TestKind kind;
  core::labels::Tables tables;   // velocity and 1000/Q tables, analytic and finite-element
  const char* pressure_maps[2];  // modulus of the fluid pressure and of its gradient
  double imposed_water;          // shear tests: the water proportion of every layer
};

inline constexpr ProgramSetup kCompressionalSetup{
    core::TestKind::compressional,
    core::labels::kCompressionalTables,
    {"mod_pressure_p33_ice", "mod_grad_pressure_p33_ice"},
    0.0};

// The shear tests impose one water proportion on every layer material:
// 0.2 for the frequency spectrum, 0.28 for the saturation curve.
inline constexpr ProgramSetup kSpectrumSetup{
    core::TestKind::shear,
    core::labels::kSpectrumTables,
    {"mod_pressure_p55_ice", "mod_grad_pressure_p55_ice"},
    0.2};

inline constexpr ProgramSetup kSaturationSetup{
    core::TestKind::shear,
    core::labels::kSaturationTables,
    {"mod_pressure_p55_ice", "mod_grad_pressure_p55_ice"},
    0.28};

[[noreturn]] void run_upscaling(const ProgramSetup& setup);

}  // namespace drivers
