// Water proportions: from the layers, in halves for the shear tests, and
// from "porosity.frac".
#include <gtest/gtest.h>

#include <fstream>

#include "core/stop.hpp"
#include "model/porosity.hpp"
#include "support.hpp"

namespace {

using model_test::InTempDir;

using Porosity = InTempDir;

core::ByMaterial<double> two(double a, double b) {
  core::ByMaterial<double> v;
  v(1) = a;
  v(2) = b;
  return v;
}

TEST_F(Porosity, FromEachCellsLayerOrFromTheHalvesInTheShearTests) {
  core::IntField m{};
  core::RealField phiw{};
  for (int k = 1; k <= 3; ++k)
    for (int j = 1; j <= 2; ++j) m(j, k) = (j + k) % 2 + 1;  // a checkerboard
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 3, two(0.1, 0.3), 0, phiw, m, file);
  for (int k = 1; k <= 3; ++k)
    for (int j = 1; j <= 2; ++j) EXPECT_EQ(phiw(j, k), m(j, k) == 1 ? 0.1 : 0.3);
  // The shear tests' halves do not look at the map (rows 1-3 of 7 below).
  model::porosity(core::TestKind::shear, 3, 7, two(0.2, 0.28), 0, phiw, m, file);
  for (int k = 1; k <= 7; ++k)
    for (int j = 1; j <= 3; ++j) EXPECT_EQ(phiw(j, k), k <= 3 ? 0.2 : 0.28) << j << "," << k;
}

TEST_F(Porosity, FileGivesOneCellPerLineRowByRowAndStaysOpen) {
  // Lines (k-1) nx + j; columns beyond 12 are ignored; a CR line end is fine.
  std::ofstream("porosity.frac") << "0.1000E+00  cell 1,1\n0.2000E+00\r\n0.3\n0.2500E+00\n0.1500E+00\n0.3500E+00\n";
  core::IntField m{};
  core::RealField phiw{};
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, two(0, 0), 1, phiw, m, file);
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.1);
  EXPECT_DOUBLE_EQ(phiw(2, 1), 0.2);
  EXPECT_DOUBLE_EQ(phiw(1, 2), 0.3);
  EXPECT_DOUBLE_EQ(phiw(2, 2), 0.25);
  // A second call goes on where the first one stopped.
  model::porosity(core::TestKind::shear, 2, 1, two(0, 0), 1, phiw, m, file);
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.15);
  EXPECT_DOUBLE_EQ(phiw(2, 1), 0.35);
  EXPECT_EQ(file.line(), 6);
  // A field without a decimal point has four implied decimals.
  std::ofstream("porosity.frac") << "        3000\n";
  model::PorosityFile fresh;
  model::porosity(core::TestKind::compressional, 1, 1, two(0, 0), 1, phiw, m, fresh);
  EXPECT_DOUBLE_EQ(phiw(1, 1), 0.3);
}

// A bad "porosity.frac" ends the run with an input error naming the file and
// the line.
void read_two_by_two() {
  core::IntField m{};
  core::RealField phiw{};
  model::PorosityFile file;
  model::porosity(core::TestKind::compressional, 2, 2, two(0, 0), 1, phiw, m, file);
}

TEST_F(Porosity, MissingShortOrNonNumericFileIsAnInputError) {
  const auto code = ::testing::ExitedWithCode(core::kStopInputError);
  EXPECT_EXIT(read_two_by_two(), code, "\"porosity.frac\" cannot be opened");

  std::ofstream("porosity.frac") << "0.1\n0.2\n0.3\n";
  EXPECT_EXIT(read_two_by_two(), code, "\"porosity.frac\" ends before line 4.*cell j,k = 2,2");

  std::ofstream("porosity.frac") << "";
  EXPECT_EXIT(read_two_by_two(), code, "\"porosity.frac\" ends before line 1");

  std::ofstream("porosity.frac") << "0.1\n0.2\nwet\n0.3\n";
  EXPECT_EXIT(read_two_by_two(), code, "\"porosity.frac\" line 3");
}

}  // namespace
