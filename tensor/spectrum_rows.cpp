#include "tensor/spectrum_rows.hpp"

#include <iterator>
#include <utility>

#include "tensor/band_sums.hpp"
#include "tensor/cell_law.hpp"
#include "tensor/cell_law_terms.hpp"
#include "tensor/geometry_resolution.hpp"
#include "tensor/mpi_run.hpp"
#include "tensor/reduced_periodic.hpp"
#include "tensor/reduced_stiffness.hpp"
#include "tensor/richardson.hpp"
#include "tensor/run.hpp"
#include "tensor/stiffness_accuracy.hpp"
#include "tensor/sweep_shares.hpp"
#include "tensor/velocities.hpp"

namespace tensor {

namespace {

// The reduced sweep's stiffness at every frequency, or none when each
// frequency is solved directly (the method asked, too few frequencies for
// the sweep to pay, or a sample or a job it cannot serve: then a notice).
std::vector<Stiffness> reduced_stiffness_rows(const Sample& s, const TestChoice& choice, StiffnessComputation& comp,
                                              const RowsRequest& r, const RowsHooks& hooks, FrequencyPlan& plan) {
  const int per_frequency = choice.boundary == Boundary::periodic ? 1 : (choice.biaxial ? 1 : 0) + (choice.shear ? 1 : 0);
  plan.full_factorisations = static_cast<long long>(s.frequencies.size()) * per_frequency;
  if (hooks.planned) hooks.planned(plan);
  if (r.method == FrequencyMethod::direct) return {};
  if (r.method == FrequencyMethod::automatic && s.frequencies.size() < kReducedFromFrequencies) return {};
  // In a job each rank splits its band's cells; every rank takes the same route.
  const CellLawTerms terms = job_cell_law_terms(s);
  if (const std::string why = first_text_over_ranks(reduced_refusal(s, terms)); !why.empty()) {
    if (r.method == FrequencyMethod::reduced && hooks.notice && leads_output()) hooks.notice(why);
    return {};
  }
  SweepOptions so;
  so.tolerance = r.reduced_tolerance;
  so.progress = [&hooks](const std::string& what) {
    if (hooks.say) hooks.say("reduced sweep: " + what);
  };
  ReducedStiffness red =
      comp.periodic_grid()
          ? reduced_periodic_stiffness(s, terms, *comp.periodic_grid(), comp.solver(), s.frequencies, so)
          : reduced_stiffness(s, terms, comp.grid(), comp.biaxial(), comp.shear(), choice,
                              comp.test_solver(0) ? *comp.test_solver(0) : comp.solver(), s.frequencies, so,
                              comp.test_solver(1));
  plan.method = "reduced";
  plan.full_factorisations = red.factorisations;
  plan.factorisation_frequencies = red.full_solves_hz;
  if (hooks.planned) hooks.planned(plan);
  return std::move(red.rows);
}

// The rows of the frequency on the three grids (that of the sample's grid given).
void add_grid_rows(ErrorGrids& g, double f, const TensorRow& row, const RowsRequest& r, const RowsHooks& hooks,
                   std::vector<TensorRow> grid_rows[3]) {
  for (int i = 0; i < 3; ++i) {
    if (i == g.target) {
      grid_rows[i].push_back(row);
      continue;
    }
    const Sample& grid = *g.samples[i];
    if (hooks.factorise_grid)
      g.other[i]->on_factorise = [&hooks, &grid, f](const char* test) { hooks.factorise_grid(grid, f, test); };
    grid_rows[i].push_back(tensor_row(f, g.other[i]->at(f), mean_density(grid), r.angles));
    g.other[i]->on_factorise = nullptr;
  }
}

// cells_per_feature and expected_error_q1000 after the accuracy columns.
void add_resolution_columns(TensorRow& row, const GeometryResolution& g, double expected) {
  const Column mine[2] = {{"cells_per_feature", "1", g.cells_per_feature}, {"expected_error_q1000", "1", expected}};
  row.extra.insert(row.extra.begin() + 3, std::begin(mine), std::end(mine));
}

}  // namespace

RowsEnd spectrum_rows(const Sample& s, const TestChoice& choice, StiffnessComputation& comp, ErrorGrids& grids,
                      const RowsRequest& r, const RowsHooks& hooks, std::vector<TensorRow>& rows) {
  FrequencyPlan plan;
  const std::vector<Stiffness> reduced = reduced_stiffness_rows(s, choice, comp, r, hooks, plan);
  const GeometryResolution geometry = job_geometry_resolution(s);
  const double rho = job_mean_density(s);
  std::vector<TensorRow> grid_rows[3];
  std::vector<FrequencyResolution> resolution;
  RowsEnd end;
  rows.clear();
  for (std::size_t i = 0; i < s.frequencies.size(); ++i) {
    const double f = s.frequencies[i];
    if (hooks.factorise) comp.on_factorise = [&hooks, i, f](const char* test) { hooks.factorise(i, f, test); };
    const Stiffness c = reduced.empty() ? comp.at(f) : reduced[i];
    TensorRow row = tensor_row(f, c, rho, r.angles);
    if (r.estimate_error) add_grid_rows(grids, f, row, r, hooks, grid_rows);
    add_accuracy_columns(row, c.bounds);
    resolution.push_back({f, c.bounds.cells_per_diffusion_length,
                          expected_q1000_error(geometry, c.bounds.cells_per_diffusion_length)});
    add_resolution_columns(row, geometry, resolution.back().expected_error);
    rows.push_back(std::move(row));
    if (hooks.solved) hooks.solved(c);
    // A job of several ranks computes no bound by direct solves (see
    // StiffnessComputation::at); its reduced sweep gives every rank the bounds.
    if (job_ranks().size == 1 || !reduced.empty()) end.no_certain_digit = no_certain_digit(c.bounds, f);
    if (!end.no_certain_digit.empty()) break;
  }
  comp.on_factorise = nullptr;
  if (r.estimate_error) end.outside_asymptotic = add_error_columns(rows, grid_rows, grids.target);
  end.unresolved = resolution_summary(geometry, resolution);
  return end;
}

}  // namespace tensor
