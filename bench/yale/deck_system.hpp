// The global system of the finite-element test of an input deck, assembled
// as the programs assemble it, for benchmarking the solver on the real thing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/complex.hpp"
#include "drivers/upscaling_run.hpp"

namespace yale_bench {

struct DeckSystem {
  int32_t n = 0;
  std::vector<int32_t> ia, ja;
  std::vector<core::zcomplex> a, b;
  double model_seconds = 0;     // material map, water proportions and coefficients
  double assembly_seconds = 0;  // numbering and assembly of the global system
};

// Reads the deck at `path` and assembles the test of `setup` (one of the
// programs' setups); the report the routines print is discarded and no
// plotting file is written (a deck with model 1 reads "porosity.frac" from
// the working directory). Nothing on a deck that cannot be read (message on
// stderr).
std::optional<DeckSystem> deck_system(const std::string& path, const drivers::ProgramSetup& setup);

}  // namespace yale_bench
