#include "tensor/test_system.hpp"

#include <string>

#include "upscaling/cell_strains.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/stiffness_accuracy.hpp"

namespace tensor {

std::vector<TermCells> term_cells(const CellLawTerms& t) {
  std::vector<TermCells> out{{t.fixed, 0.0, false}, {t.friction, 1.0, true}};
  for (std::size_t g = 0; g < t.groups.size(); ++g) {
    std::vector<core::CellCoefficients> c(t.unit.size(), core::CellCoefficients{});
    for (std::size_t i = 0; i < c.size(); ++i)
      if (t.group_of_cell[i] == static_cast<int32_t>(g)) c[i] = t.unit[i];
    out.push_back({std::move(c), 0.0, false});
  }
  return out;
}

std::vector<double> term_part(const std::vector<zcomplex>& v, bool imaginary) {
  std::vector<double> out(v.size());
  for (std::size_t i = 0; i < v.size(); ++i) out[i] = imaginary ? v[i].im : v[i].re;
  return out;
}

std::vector<zcomplex> term_coefficients(const Sample& s, const CellLawTerms& terms, double omega) {
  std::vector<zcomplex> theta{{1.0, 0.0}, {0.0, omega}};
  for (double mu : group_muav(s, terms, omega)) theta.push_back({mu, 0.0});
  return theta;
}

FrequencySystem test_system(const GridSystem& g, const TestSetup& test, TestKindOf which, const Sample& s,
                            const CellLawTerms& terms) {
  FrequencySystem f;
  f.pattern = &g.pattern;
  f.n = g.n;
  f.loads = static_cast<int>(test.loads.size());
  f.functionals = 2;
  TestSetup unloaded = test;
  for (auto& l : unloaded.loads) l.force.clear();
  const std::vector<TermCells> tc = term_cells(terms);
  std::vector<zcomplex> values, rhs;
  for (std::size_t q = 0; q < tc.size(); ++q) {
    assemble(g, q == 0 ? test : unloaded, tc[q].cells, tc[q].omega, values, rhs);
    f.term_values.push_back(term_part(values, tc[q].imaginary));
    f.term_rhs.push_back(term_part(rhs, tc[q].imaginary));
    if (which == TestKindOf::biaxial) {
      const PlateFunctionals pf = plate_functionals(g, test, tc[q].cells, tc[q].omega);
      f.term_functionals.push_back({term_part(pf.right, tc[q].imaginary), term_part(pf.top, tc[q].imaginary)});
    } else if (q == 0 && g.first_row == 1) {
      f.term_functionals.push_back({term_part(mean_shear_functional(g, upscaling::kSolid1), false),
                                    term_part(mean_shear_functional(g, upscaling::kSolid3), false)});
    } else if (q == 0) {
      // The whole grid's mean strains, held once in a job: by the band of row 1.
      const std::vector<double> none(static_cast<std::size_t>(g.n), 0.0);
      f.term_functionals.push_back({none, none});
    } else {
      f.term_functionals.push_back({{}, {}});
    }
  }
  f.coefficients = [&s, &terms](double omega) { return term_coefficients(s, terms, omega); };
  f.assemble = [&g, &test, &s](double omega, std::vector<zcomplex>& v, std::vector<zcomplex>& b) {
    assemble(g, test, cell_coefficients(s, omega), omega, v, b);
  };
  f.free.resize(static_cast<std::size_t>(g.n));
  f.prescribed.assign(static_cast<std::size_t>(g.n) * test.loads.size(), 0.0);
  for (std::size_t i = 0; i < f.free.size(); ++i) {
    const int8_t c = test.constraint[i];
    f.free[i] = c == kFree;
    for (std::size_t l = 0; l < test.loads.size(); ++l)
      if (c > kHeld) f.prescribed[l * f.free.size() + i] = test.loads[l].plate[c];
  }
  return f;
}

std::string semidefinite_refusal(const Sample& s, const CellLawTerms& terms) {
  for (int64_t k = s.band_first(); k <= s.held_last(); ++k)
    for (int64_t j = 1; j <= s.nx; ++j) {
      const std::size_t c = s.cell_at(j, k);
      if (!energy_semidefinite(terms.fixed[c]) || !energy_semidefinite(terms.unit[c]) ||
          !energy_semidefinite(terms.friction[c]))
        return "cell j,k = " + std::to_string(j) + "," + std::to_string(k) +
               ": its energy or its friction is not positive semidefinite";
    }
  return "";
}

std::vector<std::vector<zcomplex>> functionals_at(const FrequencySystem& s, std::span<const zcomplex> theta) {
  std::vector<std::vector<zcomplex>> l(static_cast<std::size_t>(s.functionals),
                                       std::vector<zcomplex>(static_cast<std::size_t>(s.n), zcomplex{0, 0}));
  for (std::size_t q = 0; q < s.term_functionals.size(); ++q)
    for (std::size_t i = 0; i < l.size(); ++i)
      if (!s.term_functionals[q][i].empty())
        for (std::size_t u = 0; u < l[i].size(); ++u) l[i][u] += theta[q] * s.term_functionals[q][i][u];
  return l;
}

}  // namespace tensor
