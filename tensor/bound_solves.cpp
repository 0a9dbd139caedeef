#include "tensor/bound_solves.hpp"

#include <algorithm>
#include <cstddef>

#include "tensor/stiffness_accuracy.hpp"
#include "upscaling/cell_strains.hpp"

namespace tensor {

namespace bounds = upscaling::bounds;

bounds::StartSolves TestFunctionals::starts() const {
  bounds::StartSolves s;
  if (!start.empty()) s.uniform = start[0];
  if (start.size() > 1) s.alternating = start[1];
  return s;
}

TestFunctionals test_functionals(const GridSystem& g, const TestSetup& test,
                                 std::span<const core::CellCoefficients> cells, double omega, bool biaxial) {
  TestFunctionals f;
  if (biaxial) {
    PlateFunctionals p = plate_functionals(g, test, cells, omega);
    f.l[0] = std::move(p.right), f.l[1] = std::move(p.top);
  } else {
    f.l[0] = mean_shear_functional(g, upscaling::kSolid1);
    f.l[1] = mean_shear_functional(g, upscaling::kSolid3);
  }
  return f;
}

std::vector<zcomplex> free_part(std::vector<zcomplex> l, const TestSetup& test) {
  for (std::size_t i = 0; i < l.size(); ++i)
    if (test.constraint[i] != kFree) l[i] = {0, 0};
  return l;
}

double solve_with_bounds(engine::SparseSolver& solver, const TestSetup& test, std::span<const zcomplex> loads,
                         std::vector<zcomplex>& x, TestFunctionals& f) {
  const std::size_t n = f.l[0].size(), count = loads.size() / std::max<std::size_t>(n, 1);
  std::vector<std::vector<zcomplex>> starts = bounds::estimator_start(static_cast<bounds::Index>(n));
  const std::size_t columns = count + 2 + starts.size();
  std::vector<zcomplex> block(n * columns);
  std::copy(loads.begin(), loads.end(), block.begin());
  for (int k = 0; k < 2; ++k) {
    const std::vector<zcomplex> l = free_part(f.l[k], test);
    std::copy(l.begin(), l.end(), block.begin() + static_cast<std::ptrdiff_t>((count + k) * n));
  }
  for (std::size_t k = 0; k < starts.size(); ++k)
    std::copy(starts[k].begin(), starts[k].end(), block.begin() + static_cast<std::ptrdiff_t>((count + 2 + k) * n));
  solver.solve_partly_refined(block, static_cast<engine::Index>(columns), static_cast<engine::Index>(count + 2));
  const auto column = [&](std::size_t c) { return block.begin() + static_cast<std::ptrdiff_t>(c * n); };
  x.assign(column(0), column(count));
  for (int k = 0; k < 2; ++k) f.y[k].assign(column(count + k), column(count + k + 1));
  f.start.clear();
  for (std::size_t k = 0; k < starts.size(); ++k) f.start.emplace_back(column(count + 2 + k), column(count + 3 + k));
  const std::vector<double> omega = solver.backward_errors();
  double worst = 0;
  for (std::size_t c = 0; c < count && c < omega.size(); ++c) worst = std::max(worst, omega[c]);
  return worst;
}

}  // namespace tensor
