// Ending a run: every end of a run, the normal one included, goes through
// `stop`, which flushes and checks every open result file and standard
// output, writes "STOP <code>" to standard error and exits with the low
// eight bits of the code.
#pragma once

#include <string_view>

namespace core {

// Exit codes of the system besides those of the computation itself.
inline constexpr int kStopNormal = 40;        // normal end of a run
inline constexpr int kStopInputError = 2;     // a record or file that cannot be read
inline constexpr int kStopDeckRefused = 13;   // a deck beyond the capacities or with unknown keys
inline constexpr int kStopOutputError = 74;   // a result file or the report could not be written
inline constexpr int kStopOrderingFailed = 9;  // the fill-reducing ordering of the system failed
inline constexpr int kStopPorosityCheck = 11;  // a water proportion of "porosity.frac" out of range
inline constexpr int kStopSolveFailed = 99;    // the sparse factorisation or solve failed

// Stops of the rock-physics model: a cell whose coefficients cannot be built.
inline constexpr int kStopMaterialMap = 222;       // a cell's material number outside 1..nlayers
inline constexpr int kStopIceFraction = 45678;     // a cell's ice fraction outside (0, 1)
inline constexpr int kStopFractionSum = 555;       // a cell's volume fractions do not add up to 1
inline constexpr int kStopLambda1 = 12345;         // cell (1,1) with lambda1 <= 0
inline constexpr int kStopLambda3 = 12346;         // cell (1,1) with lambda3 <= 0
inline constexpr int kStopEnergyBulk = 45687;      // strain energy not positive definite (bulk part)
inline constexpr int kStopEnergyShear = 45688;     // strain energy not positive definite (shear part)
inline constexpr int kStopFrictionPrime = 99999;   // friction matrix of cell (1,1) without b13 negative
inline constexpr int kStopFriction = 99998;        // friction matrix of cell (1,1) negative
// Plane waves of cell (1,1): this plus 0..4 for a negative vp1, vp2, vp3, vs1, vs2.
inline constexpr int kStopNegativeVelocity = 2000;

// Prints `message` (if not empty) as one line on standard output, then stops.
[[noreturn]] void stop(int code, std::string_view message = {});

// Reports an input or output failure on standard error and stops with `code`.
[[noreturn]] void fail(int code, std::string_view message);

// Called once as the run ends, after the result files are flushed, with the
// stop code and the message given to `stop` or `fail`; returns false when
// it could not record the end, which turns a normal end into
// kStopOutputError.
using EndHook = bool (*)(int code, std::string_view message);
void at_end(EndHook hook);

}  // namespace core
