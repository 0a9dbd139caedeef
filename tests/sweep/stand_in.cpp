// A stand-in for the upscaling programs, for the runner's failure paths: it
// reads a deck on standard input, writes report lines and result tables of
// the program named by STAND_IN_PROGRAM (default pwave_upscale) and ends with
// status 40. Every value is 1000 + freq + 100 phi_layer1(1).
//   - ice-model porosity check (key_model 0, phi_layer1(i) >= phi_a(i)):
//     the programs' message, status 11;
//   - STAND_IN_FAIL_FREQ=f: solver failure at f ("FLAG= -7", status 99);
//     STAND_IN_CRASH_FREQ=f: abort() at f; STAND_IN_SLEEP_MS: sleep first;
//   - STAND_IN_LOG: each run appends its working directory to that file.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void stop(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "STOP %d\n", code);
  std::exit(code & 255);
}

bool at(const char* env, double freq) {
  const char* v = std::getenv(env);
  return v && std::fabs(std::atof(v) - freq) <= 1e-9 * freq;
}

void put(const std::string& file, const std::string& line) {
  if (!(std::ofstream(file) << line << "\n")) stop(74);
}

}  // namespace

int main() {
  const std::string program = std::getenv("STAND_IN_PROGRAM") ? std::getenv("STAND_IN_PROGRAM") : "pwave_upscale";
  if (const char* log = std::getenv("STAND_IN_LOG"))
    std::ofstream(log, std::ios::app) << std::filesystem::current_path().string() << "\n";
  std::vector<std::string> rec;
  for (std::string l; std::getline(std::cin, l);) rec.push_back(l);
  auto real = [&](size_t n) {
    if (n > rec.size()) stop(2);
    return std::atof(rec[n - 1].c_str());
  };
  const double freq = real(1);
  double phi = 0;
  for (int i = 1; i <= static_cast<int>(real(9)); ++i) {
    const double phi_a = real(9 + (i - 1) * 20 + 7), p = real(9 + (i - 1) * 20 + 8);
    if (i == 1) phi = p;
    if (real(7) == 0 && p >= phi_a) {
      std::printf(" Ice model, phi_a_m is smaller than phi_layer_m(i) \n ERROR, the code stops \n");
      stop(11);
    }
  }
  if (const char* ms = std::getenv("STAND_IN_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
  if (at("STAND_IN_CRASH_FREQ", freq)) std::abort();
  if (at("STAND_IN_FAIL_FREQ", freq)) {
    std::printf(" ESP=           0\n FLAG=          -7\n");
    stop(99);
  }
  const bool shear = program != "pwave_upscale";
  const double v = 1000 + freq + 100 * phi;
  const std::string t = std::to_string(v) + "  " + std::to_string(v);
  std::printf(" average density rob_med is (kg/m**3)  %.17g\n", v);
  if (!shear) {
    for (const char* l : {"from deltavol1 Velocity(m/s) FE = ", "from deltavol1 1000/Q FE        = ",
                          "from deltavol1 Re(p33) FE mstar      = ", "from deltavol1 Im(p33) FE mstar      = ",
                          "using averages  Velocity(m/s) FE = ", "using averages 1000/Q FE         = ",
                          "using averages Re(c33) FE        = ", "using averages Im(c33) FE        = "})
      std::printf(" %s %.17g\n", l, v);
    for (const char* f : {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw", "fort.18"})
      put(f, t + "  " + std::to_string(v));
  } else {
    for (const char* l : {"Velocity(m/s) FE             = ", "1000/Q  FE                   = ",
                          "Re(cmu) FE                   = ", "Im(cmu) FE                   = ",
                          "Velocity(m/s) FE             = ", "1000/Q  FE                   = ",
                          "Re(c13) FE                   = ", "Im(cc13) FE                   = "})
      std::printf(" %s %.17g\n", l, v);
    const std::string sfx = program == "swave_spectrum" ? ".freq" : ".phiw";
    for (const char* f : {"vs_anal", "vs_eq", "1000_over_qs_eq", "1000_over_qs_anal"}) put(f + sfx, t);
  }
  for (const char* m : {shear ? "mod_pressure_p55_ice" : "mod_pressure_p33_ice", "real_strain1_map",
                        "imag_strain1_map", "real_strain3_map", "imag_strain3_map"}) {
    std::ofstream f(m);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 4; ++j) f << " " << j << " " << k << " " << v * j / (k + 1.0) << "\n";
  }
  stop(40);
}
