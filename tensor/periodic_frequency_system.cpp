#include "tensor/periodic_frequency_system.hpp"

#include <cmath>
#include <cstddef>

#include "tensor/cell_law.hpp"
#include "tensor/test_system.hpp"

namespace tensor {

PeriodicFrequencySystem periodic_frequency_system(const PeriodicGrid& g, const Sample& s, const CellLawTerms& terms) {
  PeriodicFrequencySystem p;
  FrequencySystem& f = p.system;
  const std::size_t n = static_cast<std::size_t>(g.n);
  f.pattern = &g.pattern;
  f.n = g.n;
  f.loads = kStrains;
  f.functionals = kStrains;
  PeriodicSystem sys;
  for (const TermCells& tc : term_cells(terms)) {
    assemble_periodic(g, tc.cells, tc.omega, sys);
    f.term_values.push_back(term_part(sys.values, tc.imaginary));
    f.term_rhs.push_back(term_part(sys.rhs, tc.imaginary));
    std::vector<std::vector<double>> loads;
    for (std::size_t t = 0; t < kStrains; ++t)
      loads.emplace_back(f.term_rhs.back().begin() + static_cast<std::ptrdiff_t>(t * n),
                         f.term_rhs.back().begin() + static_cast<std::ptrdiff_t>((t + 1) * n));
    f.term_functionals.push_back(std::move(loads));
    auto& d = p.term_affine.emplace_back();
    for (int a = 0; a < kStrains; ++a)
      for (int b = 0; b < kStrains; ++b) d[a][b] = tc.imaginary ? sys.affine[a][b].im : sys.affine[a][b].re;
  }
  f.coefficients = [&s, &terms](double omega) { return term_coefficients(s, terms, omega); };
  f.assemble = [&g, &s](double omega, std::vector<zcomplex>& v, std::vector<zcomplex>& b) {
    PeriodicSystem at;
    assemble_periodic(g, cell_coefficients(s, omega), omega, at);
    v = std::move(at.values), b = std::move(at.rhs);
  };
  f.free.assign(n, 1);
  for (const int64_t u : g.held) f.free[static_cast<std::size_t>(u)] = 0;
  f.prescribed.assign(n * kStrains, 0.0);
  return p;
}

AffineEnergy affine_energy(const PeriodicFrequencySystem& p, std::span<const zcomplex> theta) {
  AffineEnergy e;
  for (std::size_t q = 0; q < p.term_affine.size(); ++q)
    for (int a = 0; a < kStrains; ++a)
      for (int b = 0; b < kStrains; ++b) {
        e.value[a][b] += theta[q] * p.term_affine[q][a][b];
        // Each cell's a_s^T K_qe a_t is at most the geometric mean of its
        // diagonal terms (K_qe semidefinite), and so is the sum over the cells.
        e.magnitude[a][b] += core::cabs(theta[q]) * std::sqrt(std::abs(p.term_affine[q][a][a] * p.term_affine[q][b][b]));
      }
  return e;
}

}  // namespace tensor
