// How well the grid resolves the sample's geometry, and the error of 1000/Q
// to expect from the two resolutions a run measures: that of the geometry
// (cells per feature) and that of the diffusion of the fluid pressure
// (cells per diffusion length). The law is that of the refinement studies
// in doc/accuracy.md.
//
// Cells per feature: for each cell law present (material and water
// proportion) and each axis, the mean intercept length 2 N / I in cells,
// N the cells of that law and I the faces across that axis between them and
// cells of another law; the smallest over the laws and both axes. A line
// through the sample crosses a region of that law in runs of this mean
// length; a region touching the base or a side counts its one interface,
// as its mirror image beyond the sealed side completes it. Infinite where
// no two laws meet along an axis.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tensor/sample.hpp"
#include "tensor/tensor_row.hpp"

namespace tensor {

struct GeometryResolution {
  double cells_per_feature_x = 0, cells_per_feature_z = 0;  // smallest mean intercept along each axis
  double cells_per_feature = 0;                             // the smaller of the two
  // Both axes cross interfaces: an image rather than layers.
  bool image() const;
};

GeometryResolution geometry_resolution(const Sample& s);

// The counts behind it, per cell law (material, water proportion): its
// cells and the faces across x and across z between them and another law.
// Of a band of rows, the band's cells and the faces of their right and top
// edges (the row above the band is held): the tallies of the bands add up
// to the whole sample's.
using LawKey = std::pair<int32_t, double>;
struct LawCounts {
  double cells = 0, faces_x = 0, faces_z = 0;
};
using LawTally = std::map<LawKey, LawCounts>;
LawTally law_tally(const Sample& s);
GeometryResolution resolution_of(const LawTally& laws);

// The relative error of 1000/Q to expect on a grid with these resolutions
// (infinite cells: resolved). A sample of one cell law has none.
double expected_q1000_error(const GeometryResolution& g, double cells_per_diffusion_length);

// The resolution of one frequency of a run.
struct FrequencyResolution {
  double freq_hz = 0;
  double cells_per_diffusion_length = 0;
  double expected_error = 0;  // relative, of 1000/Q
};

// The one warning of a run (empty when every frequency is resolved): the
// unresolved frequency range and the largest expected error.
std::string resolution_summary(const GeometryResolution& g, const std::vector<FrequencyResolution>& freqs);

}  // namespace tensor
