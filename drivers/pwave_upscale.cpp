// pwave_upscale: the oscillatory compressibility test on the cell grid.
//
// Opens the result files, starts the CPU clock, reads and echoes the input
// deck from standard input, runs the computation step and ends with the
// running time and stop code 40.
#include <cstdint>

#include "core/capacities.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"
#include "drivers/readata.hpp"
#include "drivers/timer.hpp"

namespace {

// The result tables and maps of the compressional test, in the order they
// are opened (each created or truncated).
struct ResultFiles {
  core::TextOut vp_anal{"vp_anal.phiw"};
  core::TextOut vp_eq{"vp_eq.phiw"};
  core::TextOut over_q_eq{"1000_over_q_eq.phiw"};
  core::TextOut over_q_anal{"1000_over_q_anal.phiw"};
  core::TextOut mod_pressure{"mod_pressure_p33_ice"};
  core::TextOut mod_grad_pressure{"mod_grad_pressure_p33_ice"};
  core::TextOut real_strain1{"real_strain1_map"};
  core::TextOut imag_strain1{"imag_strain1_map"};
  core::TextOut real_strain3{"real_strain3_map"};
  core::TextOut imag_strain3{"imag_strain3_map"};
  core::TextOut real_stress{"real_stress_map"};
  core::TextOut imag_stress{"imag_stress_map"};
};

// Everything the run owns, allocated once.
struct Run {
  core::Deck deck;
  int32_t nwork = 0;  // solver workspace, double-complex words
};

}  // namespace

int main() {
  ResultFiles files;
  static Run run;  // large arrays live in static storage, not on the stack

  drivers::timer();  // starts the CPU clock
  run.nwork = core::kNwork;
  drivers::readata(run.deck);

  drivers::end_of_run(drivers::timer());
}
