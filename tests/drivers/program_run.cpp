#include "program_run.hpp"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace program_run {

namespace fs = std::filesystem;

namespace {

std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

Outcome run_in(const std::string& program, const std::string& deck, const std::string& dir,
               const std::string& prepare, const std::string& stdout_to) {
  Outcome r;
  r.dir = dir;
  const char* env_bin = std::getenv("UPSCALE_BIN_DIR");
  const std::string bin = env_bin ? env_bin : UPSCALE_DEFAULT_BIN_DIR;
  std::ofstream(r.dir + "/deck.in", std::ios::binary) << deck;
  const std::string cmd = "cd '" + r.dir + "' && " + (prepare.empty() ? "" : prepare + " && ") + "'" + bin + "/" +
                          program + "' < deck.in > " + stdout_to + " 2> err.txt";
  const int st = std::system(cmd.c_str());
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  r.out = slurp(r.dir + "/out.txt");
  r.err = slurp(r.dir + "/err.txt");
  return r;
}

}  // namespace

std::string Outcome::file(const std::string& name) const { return slurp(dir + "/" + name); }

std::vector<std::string> Outcome::lines(const std::string& name) const {
  std::vector<std::string> v;
  std::istringstream in(file(name));
  for (std::string s; std::getline(in, s);) v.push_back(s);
  return v;
}

bool Outcome::has(const std::string& name) const { return fs::exists(dir + "/" + name); }

std::vector<std::string> Outcome::written() const {
  std::vector<std::string> v;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string n = e.path().filename().string();
    if (n != "deck.in" && n != "out.txt" && n != "err.txt") v.push_back(n);
  }
  std::sort(v.begin(), v.end());
  return v;
}

double Outcome::after(const std::string& label) const {
  const std::size_t at = out.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << label << "\" in the report";
    return std::numeric_limits<double>::quiet_NaN();
  }
  return std::strtod(out.c_str() + at + label.size(), nullptr);
}

std::vector<double> Outcome::values(const std::string& label) const {
  const std::size_t at = out.find(label);
  if (at == std::string::npos) {
    ADD_FAILURE() << "no \"" << label << "\" in the report";
    return {};
  }
  const std::size_t from = at + label.size();
  return numbers(out.substr(from, out.find('\n', from) - from));
}

Outcome run(const std::string& program, const std::string& deck, const std::string& prepare,
            const std::string& stdout_to) {
  char tmpl[] = "/tmp/upscale_run_XXXXXX";
  if (!mkdtemp(tmpl)) {
    ADD_FAILURE() << "no scratch directory";
    return {};
  }
  return run_in(program, deck, tmpl, prepare, stdout_to);
}

Outcome rerun(const std::string& program, const std::string& deck, const std::string& dir) {
  return run_in(program, deck, dir, "", "out.txt");
}

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

std::vector<double> numbers(const std::string& line) {
  std::vector<double> v;
  std::istringstream in(line);
  for (std::string item; in >> item;) v.push_back(std::strtod(item.c_str(), nullptr));
  return v;
}

GPair g_pair(const std::string& line) {
  GPair p;
  EXPECT_EQ(line.size(), 32u) << '"' << line << '"';
  if (line.size() != 32) return p;
  EXPECT_EQ(line.substr(15, 2), "  ") << line;
  p.first = line.substr(0, 15);
  p.second = line.substr(17);
  // Five significant digits: the mantissa without sign, point and a
  // leading "0" holds five digits.
  for (const std::string& f : {p.first, p.second}) {
    std::string m = f.substr(0, f.find('E'));
    m.erase(std::remove(m.begin(), m.end(), ' '), m.end());
    if (!m.empty() && m[0] == '-') m.erase(0, 1);
    if (m.starts_with("0.")) m.erase(0, 1);
    m.erase(std::remove(m.begin(), m.end(), '.'), m.end());
    EXPECT_EQ(m.size(), 5u) << '"' << f << '"';
    EXPECT_TRUE(std::all_of(m.begin(), m.end(), [](char c) { return c >= '0' && c <= '9'; })) << '"' << f << '"';
  }
  p.a = std::strtod(p.first.c_str(), nullptr);
  p.b = std::strtod(p.second.c_str(), nullptr);
  return p;
}

}  // namespace program_run
