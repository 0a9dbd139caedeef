// The result files: tensor.csv reads back to the last bit, the .vti file
// through an independent reader, the plot draws what the table holds, and
// no writer follows a link.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>

#include "scratch.hpp"
#include "tensor/io.hpp"

namespace {

using tensor_test::refusal;

std::vector<std::string> split(const std::string& line, char sep) {
  std::vector<std::string> v;
  std::stringstream s(line);
  for (std::string x; std::getline(s, x, sep);) v.push_back(x);
  return v;
}

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> v;
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

std::string shell(const std::string& cmd) {
  std::string out;
  if (FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

tensor::TensorRow row(double f, double c55_re) {
  tensor::TensorRow r;
  r.freq_hz = f;
  r.c11 = {1.0 / 3.0 * 1e10, -0.1 - 0.2};
  r.c13 = {5e-324, -1e300};
  r.c31 = {r.c13.re, std::nextafter(r.c13.im, 0.0)};
  r.c33 = {2.5e10 + f, 1e8 / f};
  r.c55 = {c55_re, std::numeric_limits<double>::quiet_NaN()};
  r.rho = 1974.0000000000002, r.vp0 = 3000 + f, r.q1000_p0 = 12.5, r.vp90 = 3100 + f, r.q1000_p90 = 11;
  r.vs0 = 1800, r.q1000_s0 = 4, r.backward_error = 2.2e-16;
  r.extra = {{"vp_45", "m/s", 3050 + f}, {"q1000_p45", "1", 11.75}};
  return r;
}

using Writers = tensor_test::Scratch;

// Every column to the last bit, NaN as NaN, the couplings of a row that
// does not measure them absent (not zero); rows of other further columns
// and a name with a comma refused; a planted link refused, the file it
// leads to kept (the output module's refusals are tried in tests/outputs).
TEST_F(Writers, TensorCsvReadsBackToTheLastBitAndFollowsNoLink) {
  std::vector<tensor::TensorRow> rows = {row(1, 6e9), row(10, 6.1e9), row(1e3, 1.0 / 7.0)};
  rows[1].c15 = rows[1].c51 = {-1.0 / 3.0 * 1e9, 1e-310}, rows[1].c35 = {0.0, -0.0}, rows[1].c53 = {-2.0e-7, 5e7};
  tensor::write_tensor_csv(at("tensor.csv"), rows);
  const auto lines = lines_of(at("tensor.csv"));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0],
            "freq_hz,c11_re,c11_im,c13_re,c13_im,c31_re,c31_im,c33_re,c33_im,c55_re,c55_im,rho,vp0,q1000_p0,vp90,"
            "q1000_p90,vs0,q1000_s0,backward_error,c15_re,c15_im,c35_re,c35_im,c51_re,c51_im,c53_re,c53_im,vp_45,q1000_p45");
  EXPECT_EQ(lines[1], "Hz,Pa,Pa,Pa,Pa,Pa,Pa,Pa,Pa,Pa,Pa,kg/m^3,m/s,1,m/s,1,m/s,1,1,Pa,Pa,Pa,Pa,Pa,Pa,Pa,Pa,m/s,1");
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const tensor::TensorRow& r = rows[i];
    const std::vector<double> want = {r.freq_hz, r.c11.re, r.c11.im, r.c13.re, r.c13.im, r.c31.re, r.c31.im, r.c33.re,
                                      r.c33.im, r.c55.re, r.c55.im, r.rho, r.vp0, r.q1000_p0, r.vp90, r.q1000_p90, r.vs0,
                                      r.q1000_s0, r.backward_error, r.c15.re, r.c15.im, r.c35.re, r.c35.im, r.c51.re,
                                      r.c51.im, r.c53.re, r.c53.im, r.extra[0].value, r.extra[1].value};
    const auto got = split(lines[2 + i], ',');
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t c = 0; c < want.size(); ++c) {
      const double v = got[c].empty() ? -1.0 : std::strtod(got[c].c_str(), nullptr);
      EXPECT_TRUE(c >= 19 && c < 27 && std::isnan(r.c15.re) ? got[c].empty()
                                                             : std::isnan(want[c]) ? std::isnan(v) : v == want[c])
          << "row " << i << " column " << c << ": " << got[c];
    }
  }
  auto odd = rows;
  odd[1].extra.pop_back();
  EXPECT_NE(refusal([&] { tensor::write_tensor_csv(at("t2.csv"), odd); }).find("has 1 further columns, the first row 2"),
            std::string::npos);
  odd = rows;
  for (tensor::TensorRow& r : odd) r.extra[0].name = "vp,45";
  EXPECT_NE(refusal([&] { tensor::write_tensor_csv(at("t3.csv"), odd); }).find("\"vp,45\" holds a comma"), std::string::npos);
  put("kept.txt", "kept");
  ASSERT_EQ(::symlink(at("kept.txt").c_str(), at("t4.csv").c_str()), 0);
  EXPECT_NE(refusal([&] { tensor::write_tensor_csv(at("t4.csv"), rows); }).find("is a symbolic link"), std::string::npos);
  EXPECT_EQ(lines_of(at("kept.txt")), std::vector<std::string>{"kept"});
}

TEST_F(Writers, VtiReadsBackThroughAnIndependentReader) {
  const int64_t nx = 4, ny = 4;  // 8 + 16 * 8 bytes: base64 ends in one byte and "=="
  std::vector<double> a, b;
  for (int i = 0; i < nx * ny; ++i) a.push_back(i + 0.1), b.push_back(std::pow(-1.0, i) / (i + 3));
  b[4] = std::numeric_limits<double>::quiet_NaN();
  tensor::write_vti(at("cells.vti"), nx, ny, 0.1, {{"strain_re_m_per_m", a}, {"stress_Pa", b}});
  const std::string python = ::access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
  if (shell(python + " -c 'print(1)'") != "1\n") GTEST_SKIP() << "no python3: the .vti file is not read back";
  const auto out = split(shell(python + " " TENSOR_IO_SCRIPTS "/check_vti.py " + at("cells.vti") + " 2>&1"), '\n');
  ASSERT_EQ(out.size(), 4u) << out.front();
  EXPECT_EQ(out[0], "extent 0 4 0 4 0 0");
  EXPECT_EQ(out[1], "spacing 0.1 0.1 0.1");
  for (const auto& [line, want, name] : {std::tuple{out[2], a, "strain_re_m_per_m"}, std::tuple{out[3], b, "stress_Pa"}}) {
    const auto items = split(line, ' ');
    ASSERT_EQ(items.size(), want.size() + 1);
    EXPECT_EQ(items[0], name);
    for (std::size_t i = 0; i < want.size(); ++i)
      EXPECT_TRUE(std::isnan(want[i]) ? items[i + 1] == "nan" : std::strtod(items[i + 1].c_str(), nullptr) == want[i])
          << name << " cell " << i << ": " << items[i + 1];
  }
  EXPECT_NE(refusal([&] { tensor::write_vti(at("x.vti"), 2, 2, 1, {{"short", {1, 2, 3}}}); }).find("3 values for 4 cells"),
            std::string::npos);
}

TEST_F(Writers, ThePlotDrawsTheColumnsThatHoldNumbers) {
  tensor::write_tensor_csv(at("tensor.csv"), {row(1, 6e9), row(10, 6.1e9), row(100, 6.2e9)});
  tensor::write_spectrum_plot(dir);
  std::ifstream in(at("tensor.gp"));
  const std::string script((std::istreambuf_iterator<char>(in)), {});
  EXPECT_NE(script.find("using 1:($10/1e9)"), std::string::npos);  // Re C55
  EXPECT_EQ(script.find("using 1:($11"), std::string::npos);        // Im C55: NaN throughout
  EXPECT_NE(script.find("using 1:($28) with lines"), std::string::npos) << "vp_45, a further column";
  if (shell("command -v gnuplot").empty()) GTEST_SKIP() << "gnuplot is not installed; the plot is not drawn";
  ASSERT_TRUE(tensor::draw_spectrum_plot(dir));
  EXPECT_GT(std::filesystem::file_size(at("tensor.png")), 0u);
}

}  // namespace
