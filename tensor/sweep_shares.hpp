// The reduced sweep in a job of several ranks, where each rank holds its
// band of cell rows alone: the cells' law terms with the job's list of
// viscous groups (the same terms, in the same order, on every rank and as
// one rank reading the whole sample makes them), and a test's system whose
// right-hand sides, functionals and affine energies, assembled by each rank
// as its band's share, are summed so that rank 0 holds the whole of them.
// The parts' matrices stay shares: every product with them is a sum over
// the ranks (tensor/reduced_basis.hpp, tensor/sweep_residuals.hpp).
#pragma once

#include <vector>

#include "tensor/cell_law_terms.hpp"
#include "tensor/frequency_system.hpp"
#include "tensor/periodic_frequency_system.hpp"
#include "tensor/sample.hpp"

namespace tensor {

// The terms of the cells this rank holds, their groups numbered as in the
// whole sample (in the order their first cells come from the base row up).
// Collective in a job of several ranks; cell_law_terms(s) outside one.
CellLawTerms job_cell_law_terms(const Sample& s);

// The groups of t as a list (material, water proportion per group).
std::vector<double> listed_groups(const CellLawTerms& t);
// The groups of every rank's list one after the other, each kept once,
// become t's (its cells renumbered): the bands hold the rows from the base
// up in rank order, so this is the order a reader of the whole sample
// meets them in. Every group of t must be listed.
void adopt_job_groups(CellLawTerms& t, const std::vector<double>& listed);

// Collective: the right-hand sides and functionals of every term summed on
// rank 0 (the other ranks drop theirs: only rank 0 projects them). Nothing
// outside a job.
void gather_shares(FrequencySystem& f);
// The same, and the affine energies of the terms summed on every rank.
void gather_shares(PeriodicFrequencySystem& p);

}  // namespace tensor
