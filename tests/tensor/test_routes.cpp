// The tensor by other routes of the computation. The two sealed tests
// factorised side by side on two threads: the same tensor as one thread
// within the bounds both runs report, in any order of the frequencies,
// directly and by the reduced sweep; the pair only where the memory holds
// two factorisations; failures of either side reported. The grid's pattern
// built straight in the engine's layout, in core and out of core: the
// tensor of the coordinate pattern to the last bit.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "support.hpp"
#include "tensor/reduced_stiffness.hpp"
#include "tensor/side_by_side.hpp"

namespace {

using namespace tensor_test;
using tensor::Stiffness;

const tensor::Sample& sample() {
  static const tensor::Sample s =
      with_map(ice_materials(), 9, 7, 0.01, [](int64_t j, int64_t k) { return (2 * j + k) % 5 < 2 ? 1 : 2; });
  return s;
}

std::unique_ptr<tensor::StiffnessComputation> computation(int threads, std::int64_t memory_limit = 0, bool lean = false,
                                                          const std::string& out_of_core = "") {
  engine::Options o;
  o.threads = threads;
  o.memory_limit = memory_limit;
  o.out_of_core_dir = out_of_core;
  tensor::TestChoice choice;
  choice.lean = lean;
  auto c = std::make_unique<tensor::StiffnessComputation>(sample(), engine::make_solver(engine::Backend::own), o, choice);
  EXPECT_EQ(c->grid().lower != nullptr, lean);
  return c;
}

TEST(TestsSideBySide, TwoThreadsGiveTheTensorOfOneInAnyOrderDirectlyAndReducedWhereTheMemoryHoldsTwo) {
  const auto one = computation(1), two = computation(2);
  ASSERT_EQ(one->test_solver(0), nullptr);
  ASSERT_NE(two->test_solver(0), nullptr);
  const std::vector<double> f = {1e-2, 3.0, 700.0, 4e4};
  std::vector<Stiffness> backwards(f.size());
  for (std::size_t k = f.size(); k-- > 0;) backwards[k] = two->at(f[k]);
  for (std::size_t k = 0; k < f.size(); ++k) {
    const Stiffness a = one->at(f[k]);
    expect_same(a, two->at(f[k]), "in order");
    expect_same(a, backwards[k], "backwards");
  }
  EXPECT_GT(two->statistics().factorise_seconds, 0.0);
  // A memory limit that holds one factorisation but not two: one solver.
  const std::int64_t need = two->test_solver(0)->memory_needed();
  const auto tight = computation(2, need + need / 2);
  EXPECT_EQ(tight->test_solver(0), nullptr);
  expect_same(tight->at(10.0), one->at(10.0), "tight");
  // The reduced sweep with each test on its own thread and solver.
  tensor::SweepOptions so;
  const tensor::CellLawTerms terms = tensor::cell_law_terms(sample());
  const tensor::ReducedStiffness a = tensor::reduced_stiffness(sample(), terms, one->grid(), one->biaxial(),
                                                               one->shear(), {}, one->solver(), f, so);
  const tensor::ReducedStiffness b =
      tensor::reduced_stiffness(sample(), terms, two->grid(), two->biaxial(), two->shear(), {}, *two->test_solver(0), f,
                                so, two->test_solver(1));
  EXPECT_EQ(a.factorisations, b.factorisations);
  for (std::size_t k = 0; k < f.size(); ++k) expect_same(a.rows[k], b.rows[k], "reduced");
}

TEST(TestsSideBySide, EitherSidesFailureIsReportedAfterBothEnd) {
  bool other_done = false;
  EXPECT_THROW(tensor::side_by_side([] { throw std::runtime_error("first"); }, [&] { other_done = true; }),
               std::runtime_error);
  EXPECT_TRUE(other_done);
  try {
    tensor::side_by_side([] {}, [] { throw std::invalid_argument("second"); });
    ADD_FAILURE() << "no failure reported";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "second");
  }
}

bool same_bits(zcomplex a, zcomplex b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The engine sums nothing on the lean route, orders the same lower
// triangle and refines against the same values; the bounds' residuals
// visit each row's entries in the same order of columns. So each sealed
// modulus, its bound and the backward error are those of the coordinate
// route to the last bit, in core and out of core (and the assembled values
// must then be the same bits too: any change of an entry moves them).
TEST(LeanAssembly, TensorAndBoundsEqualTheCoordinateRouteInAndOutOfCore) {
  const std::string dir = testing::TempDir() + "/lean_out_of_core";
  std::filesystem::create_directories(dir);
  const Stiffness a = computation(1)->at(30.0);
  for (const Stiffness& b : {computation(1, 0, true)->at(30.0), computation(1, 0, true, dir)->at(30.0)}) {
    for (const Component& m : components(tensor::Boundary::sealed)) {
      EXPECT_TRUE(same_bits(a.*m.value, b.*m.value)) << m.name;
      EXPECT_EQ(a.bounds.*m.bound, b.bounds.*m.bound) << m.name;
    }
    EXPECT_TRUE(same_bits(a.c31, b.c31));
    EXPECT_EQ(a.backward_error, b.backward_error);
    EXPECT_EQ(a.bounds.condition, b.bounds.condition);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir));  // the factor file is gone with the solver
  std::filesystem::remove_all(dir);
}

}  // namespace
