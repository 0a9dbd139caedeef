#include "model/fraction_report.hpp"

#include <string>

#include "core/fortran_edit.hpp"

namespace model {

void print_stars(core::TextOut& out) {
  out.list("************************** ");
  out.list("************************** ");
}

void print_fraction_lines(core::TextOut& out, double phi, const CellFractions& f, FractionLabels labels) {
  out.line("porosity (water proportion)  =" + core::edit_g(phi, 10, 5));
  out.blank();
  out.line(labels.phi1 + core::edit_g(f.phi1, 10, 5));
  out.line("bulk solid 3 fraction phi3   =" + core::edit_g(f.phi3, 10, 5));
  out.line(labels.s1 + core::edit_g(f.s1, 10, 5));
  out.line("solid 3 matrix fraction s3   =" + core::edit_g(f.s3, 10, 5));
  out.blank();
}

}  // namespace model
