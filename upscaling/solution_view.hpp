// Reading the solved system back cell by cell: u(c) is the value of the
// solution at the global unknown that the numbering table gives for local
// unknown c (1..20) of a cell.
#pragma once

#include "core/complex.hpp"
#include "fem/numbering.hpp"

namespace upscaling {

using core::zcomplex;

// The twenty local values of one cell, u(1)..u(20).
struct CellSolution {
  zcomplex v[20];
  zcomplex operator()(int c) const { return v[c - 1]; }
};

class SolutionView {
 public:
  // z holds the solution in the global numbering, z(1) at z[0].
  SolutionView(const zcomplex* z, const fem::XnodTable& xnod, int nx) : z_(z), xnod_(xnod), nx_(nx) {}
  CellSolution cell(int j, int k) const {
    CellSolution s;
    const int64_t serial = fem::cell_serial(j, k, nx_);
    for (int c = 1; c <= 20; ++c) s.v[c - 1] = z_[xnod_(serial, c) - 1];
    return s;
  }

 private:
  const zcomplex* z_;
  const fem::XnodTable& xnod_;
  int nx_;
};

}  // namespace upscaling
