// A stand-in for pwave_upscale, for the runner's failure paths: it reads a
// deck on standard input, echoes its frequency and water proportions, writes
// the program's report lines, result tables, maps and run.json (version
// $STAND_IN_VERSION), and ends with status 40. Every value is 1000 + freq +
// 100 phi_layer1(1); its pid goes to the file "pid". At the frequency named by
//   STAND_IN_FAIL_FREQ  it reports a solver failure ("FLAG= -7", a sentence on
//                       standard error, status 99),
//   STAND_IN_CRASH_FREQ it calls abort(),
//   STAND_IN_HANG_FREQ  it sleeps first ($STAND_IN_HANG_S seconds, 20 by default;
//                       with STAND_IN_HANG_UNTIL, until that file exists, at
//                       most as long),
//   STAND_IN_BARE_FREQ  it ends normally without writing any result,
//   STAND_IN_NAN_FREQ   its finite-element velocity is not a number.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <thread>
#include <vector>

#include "core/sha256.hpp"

namespace {

std::string deck_text;

[[noreturn]] void stop(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "STOP %d\n", code);
  const char* v = std::getenv("STAND_IN_VERSION");
  std::ofstream("run.json") << "{\"version\": \"" << (v ? v : "0.test") << "\", \"commit\": \"c0ffee\", \"deck_sha256\": \""
                            << core::sha256_hex(deck_text) << "\", \"exit_status\": " << code << "}\n";
  std::exit(code);
}

double env(const char* name, double otherwise) { return std::getenv(name) ? std::atof(std::getenv(name)) : otherwise; }
bool at(const char* name, double freq) { return std::fabs(env(name, -1) - freq) <= 1e-9 * freq; }

// Sleeps `seconds`, or until the file `until` exists if one is named.
void hang(double seconds, const char* until) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (until != nullptr && ::access(until, F_OK) == 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(until != nullptr ? 20 : 200));
  }
}

}  // namespace

int main() {
  std::ofstream("pid") << ::getpid() << "\n";
  std::vector<std::string> rec;
  for (std::string l; std::getline(std::cin, l);) rec.push_back(l), deck_text += l + "\n";
  if (rec.size() < 17) stop(2);
  const double freq = std::atof(rec[0].c_str()), phi = std::atof(rec[16].c_str()), v = 1000 + freq + 100 * phi;
  if (at("STAND_IN_HANG_FREQ", freq)) hang(env("STAND_IN_HANG_S", 20), std::getenv("STAND_IN_HANG_UNTIL"));
  if (at("STAND_IN_CRASH_FREQ", freq)) std::abort();
  std::printf(" freq (Hz), omega_fix  %.17g %.17g\n", freq, 2 * M_PI * freq);
  for (size_t r = 16; r < rec.size(); r += 20) std::printf(" phi_layer1 (water proportion) =  %.17g\n", std::atof(rec[r].c_str()));
  if (at("STAND_IN_FAIL_FREQ", freq)) {
    std::printf(" ESP=           0\n FLAG=          -7\n");
    std::fprintf(stderr, "the sparse factorisation failed with flag -7\n");
    stop(99);
  }
  if (at("STAND_IN_BARE_FREQ", freq)) stop(40);
  for (const char* l : {"average density rob_med is (kg/m**3)", "from deltavol1 Velocity(m/s) FE = ",
                        "from deltavol1 1000/Q FE        = ", "from deltavol1 Re(p33) FE mstar      = ",
                        "from deltavol1 Im(p33) FE mstar      = ", "using averages 1000/Q FE         = ",
                        "using averages Re(c33) FE        = ", "using averages Im(c33) FE        = ", "tied velocity (m/s) = ",
                        "tied 1000/Q = ", "work velocity (m/s) = ", "work 1000/Q = "})
    std::printf(" %s %.17g\n", l, v);
  std::printf(" using averages  Velocity(m/s) FE =  %s\n", at("STAND_IN_NAN_FREQ", freq) ? "NaN" : std::to_string(v).c_str());
  std::printf(" tied modulus M_T (Pa) =  %.17g %.17g\n work modulus M_W (Pa) =  %.17g %.17g\n", v, v / 2, v, v / 4);
  for (const char* f : {"fort.18", "1000_over_q_anal.phiw", "vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw"})
    std::ofstream(f) << std::setprecision(17) << " " << (f[0] == 'v' || f[5] == 'q' ? phi : freq) << "  " << v << "  " << v << "\n";
  for (const char* m : {"mod_pressure_p33_ice", "mod_grad_pressure_p33_ice", "real_strain1_map", "imag_strain1_map",
                        "real_strain3_map", "imag_strain3_map", "matnum_p33_gnu"}) {
    std::ofstream f(m);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 4; ++j) f << " " << j << " " << k << " " << (m[1] == 'a' ? 1 + (k > 2) : v * j / (k + 1.0)) << "\n";
  }
  stop(40);
}
