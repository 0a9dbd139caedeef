#include "model/material_map.hpp"

#include <string>

#include "core/stop_codes.hpp"
#include "core/stop_error.hpp"

namespace model {

void makematnum(int nx, int ny, const core::ByMaterial<int32_t>& nl, core::ByMaterial<double>& layer_size,
                double h, core::IntField& matnum, core::TextOut& out) {
  out.list("nl(1), nl(2)  ", nl(1), nl(2));

  // Whole periods only; an empty period (nl(1) + nl(2) <= 0) gives none.
  const int64_t period = int64_t{nl(1)} + nl(2);
  const int nper = period > 0 ? static_cast<int>(ny / period) : 0;

  layer_size(1) = nl(1) * h;
  layer_size(2) = nl(2) * h;

  auto item = [&out](const char* label, auto value) {
    out.list(label, value);
    out.blank();
  };
  item(" domain size (m) ", ny * h);
  item(" ny = number of subintervals in y-direction ", ny);
  item(" hy = subinterval size (m) ", h);
  item(" nper = number of periods ", nper);
  item(" size of layer 1 in subintervals ", nl(1));
  item(" size of layer 1 (m) ", layer_size(1));
  item(" size of layer 2 in subintervals ", nl(2));
  item(" size of layer 2 (m) ", layer_size(2));

  // Rows that no whole period reaches keep 0, which the map check rejects.
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) matnum(j, k) = 0;

  int row = 0;
  for (int p = 1; p <= nper; ++p)
    for (int c = 1; c <= period; ++c) {
      ++row;
      const int32_t material = c <= nl(1) ? 1 : 2;
      for (int j = 1; j <= nx; ++j) matnum(j, row) = material;
    }
}

void set_single_material(int nx, int ny, core::IntField& matnum) {
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) matnum(j, k) = 1;
}

namespace {

// Why cell (j,k) with material number n has no layer material of the deck.
std::string no_material(int j, int k, int32_t n, int nlayers) {
  const std::string cell = "cell j,k = " + std::to_string(j) + "," + std::to_string(k) + " has material number " +
                           std::to_string(n) + ", expected 1.." + std::to_string(nlayers) + ": ";
  if (n == 0)
    return cell + "row " + std::to_string(k) + " lies above the last whole period of layers nl(1) + nl(2); ny must "
           "be a positive whole number of periods (and the period at least one cell)";
  return cell + "the layered map uses layer material " + std::to_string(n) + " but the deck gives nlayers = " +
         std::to_string(nlayers);
}

}  // namespace

void write_and_check_matnum(core::TextOut& map, core::TextOut& map_gnu, int nx, int ny, int nlayers,
                            const core::IntField& matnum, core::TextOut& out) {
  for (int k = 1; k <= ny; ++k)
    for (int j = 1; j <= nx; ++j) {
      const int32_t n = matnum(j, k);
      map.list(n);
      map_gnu.list(j, k, n);
      if (n < 1 || n > nlayers) {
        out.list("j,k, matnum(j,k) ", j, k, n);
        core::raise_stop(core::kStopMaterialMap, {}, no_material(j, k, n, nlayers));
      }
    }
  map.close();
  map_gnu.close();
}

}  // namespace model
