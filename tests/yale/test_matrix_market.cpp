// The Matrix Market reader: symmetric kinds fill the other triangle, a
// general pattern is completed with zeros, bad files are refused by line.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/refusal.hpp"
#include "sparse_io/matrix_market.hpp"

namespace {

mm::Matrix read(const std::string& text) {
  std::istringstream in(text);
  return mm::read_matrix(in, "m.mtx");
}

// The stored value at (i, j) as re + 10 im, or -1 when there is none.
double at(const mm::Matrix& m, int32_t i, int32_t j) {
  for (int32_t e = m.ia[i - 1]; e < m.ia[i]; ++e)
    if (m.ja[e - 1] == j) return m.a[e - 1].re + 10 * m.a[e - 1].im;
  return -1;
}

TEST(MatrixMarket, KindsPatternCompletionAndRefusals) {
  const std::string head = "%%MatrixMarket matrix coordinate ";
  EXPECT_EQ(at(read(head + "real symmetric\n% c\n3 3 3\n1 1 4\n3 1 2.5\n2 2 -1\n"), 1, 3), 2.5);
  EXPECT_EQ(at(read(head + "real skew-symmetric\n2 2 1\n2 1 3\n"), 1, 2), -3);
  EXPECT_EQ(at(read(head + "complex hermitian\n2 2 2\n1 1 1 0\n2 1 1 2\n"), 1, 2), 1 - 20);
  const mm::Matrix g = read(head + "integer general\n3 3 5\n1 1 1\n2 2 2\n3 3 3\n1 3 7\n1 3 1\n");
  // (3, 1) added for a symmetric pattern, repeats summed.
  EXPECT_TRUE(at(g, 3, 1) == 0 && at(g, 1, 3) == 8 && g.zeros_added == 1);
  for (auto [text, message] : std::vector<std::pair<std::string, std::string>>{
           {"", "m.mtx:0: empty file"},
           {"%%MatrixMarket matrix array real general\n2 2\n", "m.mtx:1:"},
           {head + "real general\n2 3 1\n1 1 1\n", "m.mtx:2: the matrix is not square"},
           {head + "real general\n2 2 2\n1 1 1\n", "m.mtx:3: the file ends"},
           {head + "real general\n2 2 1\n\n1 3 1\n", "m.mtx:4: entry (1, 3) outside"},
           {head + "real general\n2 2 1\n1 1 nan\n", "m.mtx:3: bad value"},
           {head + "real symmetric\n2 2 1\n1 2 1\n", "m.mtx:3: a symmetric file stores the lower"},
           {head + "real general\n900000000 900000000 1\n", "m.mtx:2: order"}}) {
    const std::string what = support::refusal([&] { read(text); });
    EXPECT_EQ(what.rfind(message, 0), 0u) << what;
  }
}

}  // namespace
