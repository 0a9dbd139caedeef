#include "model/average_density.hpp"

#include "core/report_labels.hpp"
#include "model/fractions.hpp"

namespace model {

double cell_density(const core::Deck& deck, int n, double phi) {
  const CellFractions f = split_fractions_checked(deck, n, phi);
  return phi * deck.ro2(n) + f.phi1 * deck.ro1(n) + f.phi3 * deck.ro3(n);
}

double average_density(const core::Deck& deck, const core::IntField& matnum, const core::RealField& phiw,
                       core::TextOut& out) {
  out.list("  computes average density, ");
  const double rob_med = mean_over_cells(deck.nx, deck.ny, [&](int64_t j, int64_t k) {
    return cell_density(deck, matnum(j, k), phiw(j, k));
  });
  out.list(core::labels::kAverageDensity, rob_med);
  return rob_med;
}

}  // namespace model
