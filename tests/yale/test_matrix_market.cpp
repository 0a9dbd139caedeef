// The benchmark's Matrix Market reader: the four symmetry kinds, pattern
// completion, and clear refusals of bad files.
#include <gtest/gtest.h>

#include <sstream>

#include "sparse_io/matrix_market.hpp"

namespace {

mm::Matrix read(const std::string& text) {
  std::istringstream in(text);
  return mm::read_matrix(in, "m.mtx");
}

// The stored value at (i, j), or nothing.
const core::zcomplex* at(const mm::Matrix& m, int32_t i, int32_t j) {
  for (int32_t e = m.ia[i - 1]; e < m.ia[i]; ++e)
    if (m.ja[e - 1] == j) return &m.a[e - 1];
  return nullptr;
}

TEST(MatrixMarket, SymmetryKindsFillTheOtherTriangle) {
  const mm::Matrix s = read("%%MatrixMarket matrix coordinate real symmetric\n% c\n3 3 3\n1 1 4\n3 1 2.5\n2 2 -1\n");
  ASSERT_EQ(s.n, 3);
  EXPECT_EQ(s.ia, (std::vector<int32_t>{1, 3, 4, 5}));
  EXPECT_EQ(s.ja, (std::vector<int32_t>{1, 3, 2, 1}));
  EXPECT_EQ(at(s, 1, 3)->re, 2.5);
  EXPECT_EQ(at(s, 3, 1)->re, 2.5);
  EXPECT_EQ(s.zeros_added, 0);

  const mm::Matrix k = read("%%MatrixMarket matrix coordinate real skew-symmetric\n2 2 1\n2 1 3\n");
  EXPECT_EQ(at(k, 2, 1)->re, 3);
  EXPECT_EQ(at(k, 1, 2)->re, -3);

  const mm::Matrix h = read("%%MatrixMarket matrix coordinate complex hermitian\n2 2 2\n1 1 1 0\n2 1 1 2\n");
  EXPECT_EQ(at(h, 2, 1)->im, 2);
  EXPECT_EQ(at(h, 1, 2)->im, -2);
}

TEST(MatrixMarket, GeneralPatternCompletedWithZerosAndRepeatsSummed) {
  const mm::Matrix g =
      read("%%MatrixMarket matrix coordinate integer general\n3 3 5\n1 1 1\n2 2 2\n3 3 3\n1 3 7\n1 3 1\n");
  ASSERT_NE(at(g, 3, 1), nullptr);
  EXPECT_EQ(at(g, 3, 1)->re, 0);
  EXPECT_EQ(at(g, 1, 3)->re, 8);
  EXPECT_EQ(g.zeros_added, 1);
  // An entry whose transpose is in the file is not counted as added.
  const mm::Matrix both = read("%%MatrixMarket matrix coordinate real general\n2 2 2\n1 2 1\n2 1 0\n");
  EXPECT_EQ(both.zeros_added, 0);
}

TEST(MatrixMarket, BadFilesNameTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"", "m.mtx:0: empty file"},
      {"hello\n", "m.mtx:1:"},
      {"%%MatrixMarket matrix coordinate pattern general\n", "m.mtx:1:"},
      {"%%MatrixMarket matrix array real general\n2 2\n", "m.mtx:1:"},
      {"%%MatrixMarket matrix coordinate real general\n2 3 1\n1 1 1\n", "m.mtx:2: the matrix is not square"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 2\n1 1 1\n", "m.mtx:3: the file ends"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 1\n1 1 1\n2 2 2\n", "m.mtx:4: more entries"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 1\n\n1 3 1\n", "m.mtx:4: entry (1, 3) outside"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 1\n1 1 x\n", "m.mtx:3: bad value \"x\""},
      {"%%MatrixMarket matrix coordinate real general\n2 2 1\n1 1 1e999\n", "m.mtx:3: bad value"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 1\n1 1 nan\n", "m.mtx:3: bad value"},
      {"%%MatrixMarket matrix coordinate complex general\n2 2 1\n1 1 1\n", "m.mtx:3: expected 4 numbers"},
      {"%%MatrixMarket matrix coordinate real symmetric\n2 2 1\n1 2 1\n", "m.mtx:3: a symmetric file stores the lower"},
      {"%%MatrixMarket matrix coordinate real skew-symmetric\n2 2 1\n1 1 1\n", "m.mtx:3: a skew-symmetric matrix has no diagonal"},
      {"%%MatrixMarket matrix coordinate real general\n99999999999999999999 2 1\n", "m.mtx:2: bad row count"},
      {"%%MatrixMarket matrix coordinate real general\n900000000 900000000 1\n", "m.mtx:2: order"},
      {"%%MatrixMarket matrix coordinate real general\n2 2 -1\n", "m.mtx:2: entry count"},
  };
  for (auto [text, message] : cases) {
    try {
      read(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const mm::ReadError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
    }
  }
}

}  // namespace
