#include "run_program.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace hardening {

namespace {

std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

std::string scratch_dir(const char* what) {
  std::string tmpl = "/tmp/upscale_hard_" + std::string(what) + "_XXXXXX";
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("no scratch directory");
  return tmpl;
}

}  // namespace

std::string bin_dir() { return env_or("UPSCALE_BIN_DIR", UPSCALE_DEFAULT_BIN_DIR); }
std::string examples_dir() { return env_or("UPSCALE_EXAMPLES", UPSCALE_DEFAULT_EXAMPLES); }

bool program_built(const std::string& program) { return ::access((bin_dir() + "/" + program).c_str(), X_OK) == 0; }

std::vector<std::string> deck_lines(const std::string& deck_name) {
  std::ifstream f(examples_dir() + "/" + deck_name);
  if (!f) throw std::runtime_error("example deck " + deck_name + " not found in " + examples_dir());
  std::vector<std::string> lines;
  for (std::string s; std::getline(f, s);) lines.push_back(s);
  return lines;
}

std::string join(const std::vector<std::string>& lines, const std::string& eol) {
  std::string s;
  for (const std::string& l : lines) s += l + eol;
  return s;
}

std::vector<std::string> with_record(std::vector<std::string> lines, int record, const std::string& text) {
  lines.at(static_cast<std::size_t>(record - 1)) = text;
  return lines;
}

std::vector<std::string> first_records(const std::vector<std::string>& lines, int n) {
  return {lines.begin(), lines.begin() + n};
}

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void spit(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::vector<std::string> files_in(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      struct stat st;
      if (::stat((dir + "/" + e->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(e->d_name);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Outcome::describe() const {
  std::string s = "status " + std::to_string(status);
  if (signal) s += ", signal " + std::to_string(signal);
  if (timed_out) s += ", timed out";
  return s + "; standard error: " + err.substr(0, 600);
}

Outcome run(const std::string& program, const std::string& deck, const Options& opt) {
  Outcome r;
  // Standard input, output and error live beside the working directory, so
  // that the working directory itself may be taken away.
  const std::string io = scratch_dir("io");
  r.dir = scratch_dir("run");
  const std::string in_path = io + "/deck.in", out_path = opt.stdout_path.empty() ? io + "/out.txt" : opt.stdout_path,
                    err_path = io + "/err.txt";
  spit(in_path, deck);
  if (!opt.prepare.empty()) {
    const std::string cmd = "cd '" + r.dir + "' && " + opt.prepare;
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("preparation failed: " + opt.prepare);
  }
  const std::string bin = bin_dir() + "/" + program;

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open((opt.stdin_path.empty() ? in_path : opt.stdin_path).c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0) ::_exit(126);
    if (::chdir(r.dir.c_str()) != 0) ::_exit(126);
    if (opt.remove_workdir && ::rmdir(r.dir.c_str()) != 0) ::_exit(126);
    ::execl(bin.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int st = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(opt.time_limit_s);
  for (;;) {
    const pid_t w = ::waitpid(pid, &st, WNOHANG);
    if (w == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &st, 0);
      r.timed_out = true;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
  if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
  if (opt.stdout_path.empty()) r.out = slurp(out_path);
  r.err = slurp(err_path);
  return r;
}

bool runs_end_to_end(const std::string& program) {
  static std::map<std::string, bool> known;
  if (const auto it = known.find(program); it != known.end()) return it->second;
  const Outcome r = run(program, join(deck_lines("ice_small.deck")));
  return known[program] = r.status == 40 && contains(r.out, "number of unknowns nodos");
}

}  // namespace hardening
