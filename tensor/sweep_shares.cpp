#include "tensor/sweep_shares.hpp"

#include <cstddef>
#include <map>
#include <span>
#include <utility>
#include <vector>

#include "tensor/mpi_run.hpp"

namespace tensor {

void adopt_job_groups(CellLawTerms& t, const std::vector<double>& listed) {
  std::map<std::pair<int32_t, double>, int32_t> index;
  std::vector<CellLawTerms::Group> groups;
  for (std::size_t i = 0; i + 2 <= listed.size(); i += 2) {
    const std::pair<int32_t, double> key{static_cast<int32_t>(listed[i]), listed[i + 1]};
    if (index.emplace(key, static_cast<int32_t>(groups.size())).second) groups.push_back({key.first, key.second});
  }
  for (int32_t& g : t.group_of_cell) {
    if (g < 0) continue;
    const CellLawTerms::Group& own = t.groups[static_cast<std::size_t>(g)];
    g = index.at({own.material, own.water});
  }
  t.groups = std::move(groups);
}

std::vector<double> listed_groups(const CellLawTerms& t) {
  std::vector<double> out;
  for (const CellLawTerms::Group& g : t.groups) out.insert(out.end(), {static_cast<double>(g.material), g.water});
  return out;
}

CellLawTerms job_cell_law_terms(const Sample& s) {
  CellLawTerms t;
  all_ranks_pass([&] { t = cell_law_terms(s); });  // no rank waits for one that failed
  if (job_ranks().size > 1) adopt_job_groups(t, gather_on_all(listed_groups(t)));
  return t;
}

void gather_shares(FrequencySystem& f) {
  if (job_ranks().size == 1) return;
  for (std::vector<double>& b : f.term_rhs) {
    sum_on_leader(b);
    if (!leads_output()) std::vector<double>().swap(b);
  }
  for (std::vector<std::vector<double>>& term : f.term_functionals)
    for (std::vector<double>& l : term) {
      if (l.empty()) continue;  // the same on every rank: this term has no share of the functional
      sum_on_leader(l);
      if (!leads_output()) std::vector<double>().swap(l);
    }
}

void gather_shares(PeriodicFrequencySystem& p) {
  gather_shares(p.system);
  if (job_ranks().size == 1) return;
  for (auto& d : p.term_affine) {
    const std::span<double> all(&d[0][0], static_cast<std::size_t>(kStrains * kStrains));
    sum_on_leader(all);
    broadcast_from_leader(all);  // every rank makes the rows, the same rows
  }
}

}  // namespace tensor
