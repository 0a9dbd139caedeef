// The grid's pattern built straight in the engine's layout against the
// coordinate pattern (the sorted list of every element block's pairs): the
// same tensor and bounds to the last bit, which no missing or extra entry
// leaves unchanged.
#include <gtest/gtest.h>

#include <cstring>

#include "support.hpp"
#include "tensor/grid_system.hpp"

namespace {

using tensor_test::zcomplex;

bool same_bits(zcomplex a, zcomplex b) { return std::memcmp(&a, &b, sizeof a) == 0; }

tensor::Sample layered(int64_t nx, int64_t ny) {
  const tensor::Sample m = tensor_test::ice_materials();
  return tensor_test::with_map(m, nx, ny, m.h, [](int64_t j, int64_t k) { return (k + j / 3) % 2 == 0 ? 1 : 2; });
}

tensor::Stiffness stiffness_of(const tensor::Sample& s, bool lean, const std::string& out_of_core, double f) {
  engine::Options o;
  o.threads = 1;
  o.out_of_core_dir = out_of_core;
  tensor::TestChoice choice{true, true, tensor::Boundary::sealed};
  choice.lean = lean;
  tensor::StiffnessComputation comp(s, engine::make_solver(engine::Backend::own), o, choice);
  EXPECT_EQ(comp.grid().lower != nullptr, lean);
  return comp.at(f);
}

// Each sealed modulus and its bound to the last bit (the assembled values
// and loads must then be the same bits too: any change of an entry moves them).
void expect_same(const tensor::Stiffness& a, const tensor::Stiffness& b) {
  for (const tensor_test::Component& m : tensor_test::components(tensor::Boundary::sealed)) {
    EXPECT_TRUE(same_bits(a.*m.value, b.*m.value)) << m.name;
    EXPECT_EQ(a.bounds.*m.bound, b.bounds.*m.bound) << m.name;
  }
  EXPECT_TRUE(same_bits(a.c31, b.c31));
  EXPECT_EQ(a.backward_error, b.backward_error);
  EXPECT_EQ(a.bounds.condition, b.bounds.condition);
}

// The engine sums nothing on the lean route, orders the same lower
// triangle and refines against the same values; the bounds' residuals
// visit each row's entries in the same order of columns. So the tensor and
// its bounds are those of the coordinate route to the last bit, in core
// and out of core.
TEST(LeanAssembly, TensorAndBoundsEqualTheCoordinateRouteInAndOutOfCore) {
  const tensor::Sample s = layered(9, 8);
  const tensor::Stiffness coord = stiffness_of(s, false, "", 30.0);
  expect_same(coord, stiffness_of(s, true, "", 30.0));
  const std::string dir = testing::TempDir() + "/lean_out_of_core";
  std::filesystem::create_directories(dir);
  expect_same(coord, stiffness_of(s, true, dir, 30.0));
  EXPECT_TRUE(std::filesystem::is_empty(dir));  // the factor file is gone with the solver
  std::filesystem::remove_all(dir);
}

}  // namespace
