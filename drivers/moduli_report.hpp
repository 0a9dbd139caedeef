// The report lines and run.json values of the tied and work-conjugate
// moduli and of how many of their digits are right.
#pragma once

#include "core/text_out.hpp"
#include "upscaling/solution_accuracy.hpp"
#include "upscaling/tied_modulus.hpp"

namespace drivers {

// The six report lines: each modulus (real and imaginary part), its
// velocity 1 / Re(1 / sqrt(M / rho)) and its 1000/Q, Q = Re(M) / Im(M);
// the same values in the run's record as re_mt, im_mt, v_mt, q1000_mt and
// re_mw, im_mw, v_mw, q1000_mw.
void report_tied_and_work(core::TextOut& report, const upscaling::TiedWorkModuli& m, double rob_med);

// The report lines "backward error = ", "condition estimate = ", "forward
// error bound = ", "cells per diffusion length = " and their run.json keys.
void report_accuracy(core::TextOut& report, const upscaling::RunAccuracy& a);

}  // namespace drivers
