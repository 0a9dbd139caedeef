// The two sealed tests factorised side by side on two threads: the same
// tensor as one thread within the bounds both runs report, in any order of
// the frequencies, directly and by the reduced sweep; the pair only where
// the memory holds two factorisations; failures of either side reported.
#include <gtest/gtest.h>

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

std::unique_ptr<tensor::StiffnessComputation> computation(int threads, std::int64_t memory_limit = 0) {
  engine::Options o;
  o.threads = threads;
  o.memory_limit = memory_limit;
  return std::make_unique<tensor::StiffnessComputation>(sample(), engine::make_solver(engine::Backend::own), o,
                                                        tensor::TestChoice{});
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

}  // namespace
