#include "run_program.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "core/fortran_edit.hpp"

namespace support {

namespace fs = std::filesystem;

static std::string env_or(const char* name, const char* fallback) {
  const char* v = std::getenv(name);
  return v && *v ? v : fallback;
}

static std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> v;
  std::istringstream in(text);
  for (std::string s; std::getline(in, s);) v.push_back(s);
  return v;
}

std::string example_path(const std::string& example) {
  return env_or("UPSCALE_EXAMPLES", UPSCALE_DEFAULT_EXAMPLES) + "/" + example;
}

Deck deck_lines(const std::string& example) {
  const std::string path = example_path(example);
  if (!fs::is_regular_file(path)) throw std::runtime_error("example deck " + path + " not found");
  return split_lines(slurp(path));
}

std::string join(const Deck& lines, const std::string& eol) {
  std::string s;
  for (const std::string& l : lines) s += l + eol;
  return s;
}

std::string slurp(const std::string& path) {
  std::stringstream ss;  // a directory or a missing file reads as ""
  ss << std::ifstream(path, std::ios::binary).rdbuf();
  return ss.str();
}

std::string quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

std::pair<std::string, int> output_of(const std::string& command) {
  std::string out;
  std::FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return {"", -1};
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

bool have(const std::string& program) { return shell("command -v " + program + " > /dev/null 2>&1") == 0; }

std::string bin_path(const std::string& program) {
  return env_or("UPSCALE_BIN_DIR", UPSCALE_DEFAULT_BIN_DIR) + "/" + program;
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (std::string item; in >> item;) v.push_back(std::strtod(item.c_str(), nullptr));
  return v;
}

std::string Outcome::file(const std::string& name) const { return slurp(dir + "/" + name); }

std::vector<std::string> Outcome::lines(const std::string& name) const { return split_lines(file(name)); }

std::vector<std::string> Outcome::files() const {
  std::vector<std::string> v;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file()) v.push_back(e.path().filename().string());
  std::sort(v.begin(), v.end());
  return v;
}

std::vector<double> Outcome::values(const std::string& label) const {
  const std::size_t at = out.find(label);
  EXPECT_NE(at, std::string::npos) << "no \"" << label << "\" in the report";
  if (at == std::string::npos) return {};
  const std::size_t begin = at + label.size();
  return numbers(out.substr(begin, out.find('\n', begin) - begin));
}

double Outcome::after(const std::string& label) const {
  const std::vector<double> v = values(label);
  return v.empty() ? std::numeric_limits<double>::quiet_NaN() : v[0];
}

std::string Outcome::describe() const {
  return "status " + std::to_string(status) + (signal ? ", signal " + std::to_string(signal) : "") +
         (timed_out ? ", timed out" : "") + "; standard error: " + err.substr(0, 600);
}

ScratchDir::ScratchDir(const std::string& stem) : path_(env_or("TMPDIR", "/tmp") + "/" + stem + "_XXXXXX") {
  if (!mkdtemp(path_.data())) throw std::runtime_error("no scratch directory " + path_);
}
ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

Outcome run(const std::string& program, const std::string& deck, const Options& opt) {
  Outcome r;
  // The streams live beside the working directory, which may be taken away.
  const auto scratch = std::make_shared<ScratchDir>("upscale_e2e");
  r.scratch = scratch;
  const std::string& io = scratch->path();
  fs::create_directory(r.dir = io + "/work");
  const std::string in_path = io + "/deck.in", err_path = io + "/err.txt";
  const std::string out_path = opt.stdout_path.empty() ? io + "/out.txt" : opt.stdout_path;
  std::ofstream(in_path, std::ios::binary) << deck;
  if (!opt.prepare.empty() && std::system(("cd '" + r.dir + "' && " + opt.prepare).c_str()) != 0)
    throw std::runtime_error("preparation failed: " + opt.prepare);
  const std::string bin = bin_path(program);

  const pid_t pid = ::fork();
  if (pid == 0) {
    const int in = ::open((opt.stdin_path.empty() ? in_path : opt.stdin_path).c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 ||
        ::chdir(r.dir.c_str()) != 0)
      ::_exit(126);
    if (opt.closed_fd >= 0) ::close(opt.closed_fd);
    const rlim_t as = static_cast<rlim_t>(opt.address_space_mb) << 20;
    const rlimit limit{as, as};
    if (opt.address_space_mb > 0 && ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(126);
    if (opt.remove_workdir && ::rmdir(r.dir.c_str()) != 0) ::_exit(126);
    for (const auto& [name, value] : opt.env) ::setenv(name.c_str(), value.c_str(), 1);
    ::alarm(opt.time_limit_s);  // kept across exec: the default action ends the program
    ::execl(bin.c_str(), program.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int st = 0;
  ::waitpid(pid, &st, 0);
  if (WIFEXITED(st)) r.status = WEXITSTATUS(st);
  if (WIFSIGNALED(st)) r.signal = WTERMSIG(st);
  r.timed_out = r.signal == SIGALRM;
  if (opt.stdout_path.empty()) r.out = slurp(out_path);
  r.err = slurp(err_path);
  return r;
}

GPair g_pair(const std::string& line) {
  const GPair p{std::strtod(line.c_str(), nullptr), line.size() > 17 ? std::strtod(line.c_str() + 17, nullptr) : 0};
  EXPECT_EQ(core::g15_5_pair(p.a, p.b), line) << "not the (g15.5,2x,g15.5) rendering of its own two values";
  return p;
}

core::zcomplex map_sum(const Outcome& r, const std::string& re_map, const std::string& im_map) {
  const std::vector<std::string> re = r.lines(re_map), im = r.lines(im_map);
  EXPECT_EQ(re.size(), im.size());
  core::zcomplex s{0, 0};
  for (std::size_t i = 0; i < re.size() && i < im.size(); ++i)
    s += core::zcomplex{numbers(re[i]).at(2), numbers(im[i]).at(2)};
  return s;
}

double rel(core::zcomplex a, core::zcomplex b) { return core::cabs(a - b) / core::cabs(b); }

}  // namespace support
