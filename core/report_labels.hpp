// Report labels and result-file names that the programs write and the sweep
// runner reads back: each written once, here.
#pragma once

namespace core::labels {

// Compressional test: the modulus c33 from the averaged strain and stress.
inline constexpr const char* kC33Velocity = "using averages  Velocity(m/s) FE = ";
inline constexpr const char* kC33OverQ = "using averages 1000/Q FE         = ";
inline constexpr const char* kC33Q = "using averages Q FE              = ";
inline constexpr const char* kC33Re = "using averages Re(c33) FE        = ";
inline constexpr const char* kC33Im = "using averages Im(c33) FE        = ";

// Compressional test: the modulus mstar from the volume change of solid 1.
inline constexpr const char* kMstarVelocity = "from deltavol1 Velocity(m/s) FE = ";
inline constexpr const char* kMstarOverQ = "from deltavol1 1000/Q FE        = ";
inline constexpr const char* kMstarQ = "from deltavol1  Q FE            = ";
inline constexpr const char* kMstarRe = "from deltavol1 Re(p33) FE mstar      = ";
inline constexpr const char* kMstarIm = "from deltavol1 Im(p33) FE mstar      = ";

// Shear tests: two estimates, cmu then c13, under the same velocity, 1000/Q
// and Q labels.
inline constexpr const char* kShearVelocity = "Velocity(m/s) FE             = ";
inline constexpr const char* kShearOverQ = "1000/Q  FE                   = ";
inline constexpr const char* kShearQ = "Q  FE                        = ";
inline constexpr const char* kCmuRe = "Re(cmu) FE                   = ";
inline constexpr const char* kCmuIm = "Im(cmu) FE                   = ";
inline constexpr const char* kC13Re = "Re(c13) FE                   = ";
inline constexpr const char* kC13Im = "Im(cc13) FE                   = ";

inline constexpr const char* kAverageDensity = "average density rob_med is (kg/m**3)";

// The tied-solid and work-conjugate moduli, printed after the results above.
inline constexpr const char* kTiedModulus = "tied modulus M_T (Pa) = ";
inline constexpr const char* kTiedVelocity = "tied velocity (m/s) = ";
inline constexpr const char* kTiedOverQ = "tied 1000/Q = ";
inline constexpr const char* kWorkModulus = "work modulus M_W (Pa) = ";
inline constexpr const char* kWorkVelocity = "work velocity (m/s) = ";
inline constexpr const char* kWorkOverQ = "work 1000/Q = ";

// The accuracy of the solve and of the grid, after "backward error = ".
inline constexpr const char* kBackwardError = "backward error = ";
inline constexpr const char* kConditionEstimate = "condition estimate = ";
inline constexpr const char* kForwardErrorBound = "forward error bound = ";
inline constexpr const char* kCellsPerDiffusionLength = "cells per diffusion length = ";

// The four result tables of a program: velocity and 1000/Q, analytic and
// finite-element, one line per run.
struct Tables {
  const char* analytic_velocity;
  const char* fe_velocity;
  const char* fe_over_q;
  const char* analytic_over_q;
};
inline constexpr Tables kCompressionalTables{"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw",
                                             "1000_over_q_anal.phiw"};
inline constexpr Tables kSpectrumTables{"vs_anal.freq", "vs_eq.freq", "1000_over_qs_eq.freq",
                                        "1000_over_qs_anal.freq"};
inline constexpr Tables kSaturationTables{"vs_anal.phiw", "vs_eq.phiw", "1000_over_qs_eq.phiw",
                                          "1000_over_qs_anal.phiw"};

// Compressional test: step frequency with the Q, and with Re and Im, of the
// modulus from the top displacement of solid 3.
inline constexpr const char* kSolid3QFile = "fort.54";
inline constexpr const char* kSolid3ModulusFile = "fort.18";

}  // namespace core::labels
