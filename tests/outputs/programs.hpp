// The built programs run as a user would run them: through /bin/sh, with
// nohup, trap, ulimit and planted names, in a scratch folder.
#pragma once

#include <signal.h>
#include <sys/wait.h>

#include "scratch.hpp"
#include "tests/support/started.hpp"

namespace outputs_test {

using support::Started;
using support::wait_for_text;

inline std::string examples() { return OUTPUTS_EXAMPLES; }
inline std::string drivers_bin(const std::string& program) { return std::string(OUTPUTS_DRIVERS_DIR) + "/" + program; }
#ifdef OUTPUTS_SWEEP_EXE
// upscale_sweep with `args`, the programs it runs from this build.
inline std::string sweep_command(const std::string& args) {
  return "UPSCALE_BIN_DIR=" OUTPUTS_DRIVERS_DIR " exec " OUTPUTS_SWEEP_EXE " " + args;
}
#endif

// Runs `command` with /bin/sh in `dir`, standard error to `dir`/../err.txt;
// the exit status, or 128 + the signal. A time limit ends a hang.
inline int sh(const std::string& dir, const std::string& command) {
  const std::string full = "cd '" + dir + "' && timeout -s KILL 120 sh -c '" + command + "' 2> ../err.txt";
  const int st = std::system(full.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

inline bool has(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace outputs_test
