// The walk over the cells shared by the coefficient routines, and the
// plotting files they write along it.
#pragma once

#include <initializer_list>
#include <memory>
#include <vector>

#include "core/cell_array.hpp"
#include "core/deck.hpp"
#include "core/text_out.hpp"

namespace model {

// One cell of the walk: its place, its layer material and its water proportion.
struct CellSite {
  int j = 0, k = 0;
  int material = 0;
  double phi = 0;
  // Cell (1,1), the reference cell whose coefficients the report details.
  bool reference() const { return j == 1 && k == 1; }
};

// Visits j = 1..nx (outer), k = 1..ny (inner): the order in which the
// coefficient routines report, stop and write their plotting files.
template <class Visit>
void for_each_cell(const core::Deck& deck, const core::IntField& matnum, const core::RealField& phiw, Visit&& visit) {
  for (int j = 1; j <= deck.nx; ++j)
    for (int k = 1; k <= deck.ny; ++k) visit(CellSite{j, k, matnum(j, k), phiw(j, k)});
}

// Sets field(j, k) = value for each pair.
struct FieldValue {
  core::RealField& field;
  double value;
};
inline void store(const CellSite& site, std::initializer_list<FieldValue> values) {
  for (const FieldValue& v : values) v.field(site.j, site.k) = v.value;
}

// Plotting files of cell fields: each file gets one line "j k value" per
// cell. Disabled, it creates no file and writes nothing.
class CellPlots {
 public:
  CellPlots(bool enabled, std::initializer_list<const char*> names);
  // One value per file, in the order of the names.
  void write(int j, int k, std::initializer_list<double> values);
  void close();

 private:
  std::vector<std::unique_ptr<core::TextOut>> files_;
};

}  // namespace model
