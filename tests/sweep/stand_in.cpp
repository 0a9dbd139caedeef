// A stand-in for the upscaling programs, for testing the sweep runner: it
// reads a deck on standard input, writes the result tables and report lines
// of the program named by STAND_IN_PROGRAM (default pwave_upscale) in the
// working directory, and ends with status 40. Its results are simple
// closed-form functions of the frequency and of the water proportions (see
// stand_in_values.hpp), so a test can predict every number.
//
// Failures, as the real programs fail:
//   - the ice-model porosity check (key_model 0, phi_layer1(i) >= phi_a(i)):
//     three message lines, status 11;
//   - STAND_IN_FAIL_FREQ=f: a solver failure at frequency f ("FLAG=" -7,
//     status 99); STAND_IN_CRASH_FREQ=f: abort() at frequency f.
// STAND_IN_SLEEP_MS sleeps and STAND_IN_SPIN_MS computes for that long before
// writing the results; STAND_IN_LOG names a
// file to which each run appends its working directory.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/sweep/stand_in_values.hpp"

namespace {

[[noreturn]] void stop(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "STOP %d\n", code);
  std::exit(code & 255);
}

// A G15.5 edit in the manner of a Fortran runtime.
std::string g15_5(double v) {
  char buf[64];
  double a = std::fabs(v);
  if (a >= 0.1 && a < 1e5) {
    int e = static_cast<int>(std::floor(std::log10(a))) + 1;
    std::snprintf(buf, sizeof buf, "%11.*f    ", 5 - e, v);
  } else {
    int e = a == 0 ? 0 : static_cast<int>(std::floor(std::log10(a))) + 1;
    char m[32], x[16];
    std::snprintf(m, sizeof m, "%s%.5f", v < 0 ? "-" : "", a == 0 ? 0 : a / std::pow(10.0, e));
    if (std::abs(e) > 99) std::snprintf(x, sizeof x, "%+04d", e);
    else std::snprintf(x, sizeof x, "E%+03d", e);
    std::snprintf(buf, sizeof buf, "%15s", (std::string(m) + x).c_str());
  }
  return buf;
}

void put(const char* file, const std::string& line) {
  FILE* f = std::fopen(file, "w");
  if (!f) stop(74);
  std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
}

std::string list(double a, double b) {
  char buf[128];
  std::snprintf(buf, sizeof buf, " %.17g %.17g", a, b);
  return buf;
}

double env_double(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::atof(v) : std::nan("");
}

bool same(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::fabs(b); }

}  // namespace

int main() {
  std::string program = std::getenv("STAND_IN_PROGRAM") ? std::getenv("STAND_IN_PROGRAM") : "pwave_upscale";
  if (const char* log = std::getenv("STAND_IN_LOG")) {
    std::string line = std::filesystem::current_path().string() + "\n";
    int fd = ::open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
      if (::write(fd, line.data(), line.size()) < 0) {}
      ::close(fd);
    }
  }
  std::vector<std::string> rec;
  for (std::string l; std::getline(std::cin, l);) rec.push_back(l);
  auto real = [&](size_t n) {
    if (n > rec.size()) {
      std::fprintf(stderr, "end of input reading record %zu\n", n);
      stop(2);
    }
    return std::atof(rec[n - 1].c_str());
  };
  double freq = real(1);
  int key_model = static_cast<int>(real(7));
  int nlayers = static_cast<int>(real(9));
  double phi[2] = {0, 0};
  for (int i = 1; i <= nlayers; ++i) {
    double phi_a = real(9 + (i - 1) * 20 + 7);
    phi[i - 1] = real(9 + (i - 1) * 20 + 8);
    if (key_model == 0 && phi[i - 1] >= phi_a) {
      std::printf(" Ice model, phi_a_m is smaller than phi_layer_m(i) \n ERROR, the code stops \n"
                  " phi_a_m(i) = %.17g phi_layer_m(i) = %.17g\n", phi_a, phi[i - 1]);
      stop(11);
    }
  }
  if (const char* ms = std::getenv("STAND_IN_SLEEP_MS"))
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
  if (const char* ms = std::getenv("STAND_IN_SPIN_MS")) {  // CPU-bound work
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::atoi(ms));
    volatile double x = 0;
    while (std::chrono::steady_clock::now() < end)
      for (int i = 0; i < 10000; ++i) x = x + 1e-9;
  }
  if (same(freq, env_double("STAND_IN_CRASH_FREQ"))) std::abort();
  if (same(freq, env_double("STAND_IN_FAIL_FREQ"))) {
    std::printf(" number of unknowns nodos =          714\n ESP=           0\n FLAG=          -7\n");
    stop(99);
  }

  const bool shear = program != "pwave_upscale";
  if (shear) phi[0] = phi[1] = program == "swave_spectrum" ? 0.2 : 0.28;
  stand_in::Values v = stand_in::values(freq, phi[0], phi[1], shear);
  std::printf("  computes average density, \n average density rob_med is (kg/m**3)  %.17g\n\n cycle=  1\n",
              v.rho);
  if (!shear) {
    std::printf(" from deltavol1 Velocity(m/s) FE =  %.17g\n", v.v_second);
    std::printf(" from deltavol1 1000/Q FE        =  %.17g\n", v.q_second);
    std::printf(" from deltavol1  Q FE            =  %.17g\n", 1000 / v.q_second);
    std::printf(" from deltavol1 Re(p33) FE mstar      =  %.17g\n", v.re_second);
    std::printf(" from deltavol1 Im(p33) FE mstar      =  %.17g\n\n", v.im_second);
    std::printf(" ****************************************\n\n");
    std::printf(" using averages  Velocity(m/s) FE =  %.17g\n", v.v_fe);
    std::printf(" using averages 1000/Q FE         =  %.17g\n", v.q_fe);
    std::printf(" using averages Q FE              =  %.17g\n", 1000 / v.q_fe);
    std::printf(" using averages Re(c33) FE        =  %.17g\n", v.re);
    std::printf(" using averages Im(c33) FE        =  %.17g\n\n", v.im);
    std::printf(" ****************************************\n");
    put("vp_anal.phiw", list(phi[0], v.v_anal));
    put("vp_eq.phiw", g15_5(phi[0]) + "  " + g15_5(v.v_fe));
    put("1000_over_q_eq.phiw", g15_5(phi[0]) + "  " + g15_5(v.q_fe));
    put("1000_over_q_anal.phiw", g15_5(freq) + "  " + g15_5(v.q_anal));
    put("fort.18", " " + std::to_string(freq) + " " + list(v.re_p3, v.im_p3));
  } else {
    // The cmu block first, the c13 block second, with the same labels.
    std::printf(" Velocity(m/s) FE             =    %.9g\n", v.v_second);
    std::printf(" 1000/Q  FE                   =   %.17g\n", v.q_second);
    std::printf(" Q  FE                        =    %.9g\n", 1000 / v.q_second);
    std::printf(" Re(cmu) FE                   =   %.17g\n", v.re_second);
    std::printf(" Im(cmu) FE                   =   %.17g\n", v.im_second);
    std::printf(" av_strain   1.0 0.0\n\n av_stress   1.0 0.0\n");
    std::printf(" Velocity(m/s) FE             =    %.9g\n", v.v_fe);
    std::printf(" 1000/Q  FE                   =   %.17g\n", v.q_fe);
    std::printf(" Q  FE                        =    %.9g\n", 1000 / v.q_fe);
    std::printf(" Re(c13) FE                   =   %.17g\n", v.re);
    std::printf(" Im(cc13) FE                   =   %.17g\n", v.im);
    std::string sfx = program == "swave_spectrum" ? ".freq" : ".phiw";
    put(("vs_anal" + sfx).c_str(), g15_5(phi[0]) + "  " + g15_5(v.v_anal));
    put(("vs_eq" + sfx).c_str(), g15_5(phi[0]) + "  " + g15_5(v.v_fe));
    put(("1000_over_qs_eq" + sfx).c_str(), g15_5(phi[0]) + "  " + g15_5(v.q_fe));
    put(("1000_over_qs_anal" + sfx).c_str(), g15_5(phi[0]) + "  " + g15_5(v.q_anal));
  }
  // Small maps, for the map images.
  const char* maps[] = {shear ? "mod_pressure_p55_ice" : "mod_pressure_p33_ice", "real_strain1_map",
                        "imag_strain1_map", "real_strain3_map", "imag_strain3_map"};
  for (const char* m : maps) {
    FILE* f = std::fopen(m, "w");
    if (!f) stop(74);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 4; ++j) std::fprintf(f, " %d %d %.17g\n", j, k, v.re * j / (k + 1.0));
    std::fclose(f);
  }
  std::printf("\n running time=       0.000001hours\n");
  stop(40);
}
