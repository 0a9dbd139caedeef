// A stand-in for pwave_upscale, for the runner's failure paths: it reads a
// deck on standard input, writes the program's report lines, result tables
// and maps, and ends with status 40. Every value is 1000 + freq + 100
// phi_layer1(1). At the frequency named by
//   STAND_IN_FAIL_FREQ  it reports a solver failure ("FLAG= -7", status 99),
//   STAND_IN_CRASH_FREQ it calls abort(),
//   STAND_IN_HANG_FREQ  it sleeps for 20 s first,
//   STAND_IN_BARE_FREQ  it ends normally without writing any result.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

[[noreturn]] void stop(int code) {
  std::fflush(stdout);
  std::fprintf(stderr, "STOP %d\n", code);
  std::exit(code);
}

bool at(const char* env, double freq) {
  const char* v = std::getenv(env);
  return v && std::fabs(std::atof(v) - freq) <= 1e-9 * freq;
}

}  // namespace

int main() {
  std::vector<std::string> rec;
  for (std::string l; std::getline(std::cin, l);) rec.push_back(l);
  if (rec.size() < 17) stop(2);
  const double freq = std::atof(rec[0].c_str()), v = 1000 + freq + 100 * std::atof(rec[16].c_str());
  if (at("STAND_IN_HANG_FREQ", freq)) std::this_thread::sleep_for(std::chrono::seconds(20));
  if (at("STAND_IN_CRASH_FREQ", freq)) std::abort();
  if (at("STAND_IN_FAIL_FREQ", freq)) {
    std::printf(" ESP=           0\n FLAG=          -7\n");
    stop(99);
  }
  if (at("STAND_IN_BARE_FREQ", freq)) stop(40);
  std::printf(" average density rob_med is (kg/m**3)  %.17g\n", v);
  for (const char* l : {"from deltavol1 Velocity(m/s) FE = ", "from deltavol1 1000/Q FE        = ",
                        "from deltavol1 Re(p33) FE mstar      = ", "from deltavol1 Im(p33) FE mstar      = ",
                        "using averages  Velocity(m/s) FE = ", "using averages 1000/Q FE         = ",
                        "using averages Re(c33) FE        = ", "using averages Im(c33) FE        = "})
    std::printf(" %s %.17g\n", l, v);
  const std::string t = std::to_string(v) + "  " + std::to_string(v) + "  " + std::to_string(v);
  for (const char* f : {"vp_anal.phiw", "vp_eq.phiw", "1000_over_q_eq.phiw", "1000_over_q_anal.phiw", "fort.18"})
    std::ofstream(f) << t << "\n";
  for (const char* m : {"mod_pressure_p33_ice", "real_strain1_map", "imag_strain1_map", "real_strain3_map",
                        "imag_strain3_map"}) {
    std::ofstream f(m);
    for (int k = 1; k <= 4; ++k)
      for (int j = 1; j <= 4; ++j) f << " " << j << " " << k << " " << v * j / (k + 1.0) << "\n";
  }
  stop(40);
}
