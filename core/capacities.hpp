// Fixed capacities of a run: every array is sized once for the largest grid.
#pragma once

#include <cstdint>

namespace core {

inline constexpr int kMaxCellsPerSide = 60;                 // nx <= 60, ny <= 60
inline constexpr int kMaxCells = kMaxCellsPerSide * kMaxCellsPerSide;
inline constexpr int kMaxLayers = 2;                        // layer materials
inline constexpr int kMaxUnknowns = 22204;                  // nodos of the 60 x 60 grid
inline constexpr int kEntriesPerUnknown = 50;               // Yale store per unknown
inline constexpr int kMaxEntries = kEntriesPerUnknown * kMaxUnknowns;  // 1110200
inline constexpr int kWorkPerUnknown = 500;                 // solver workspace per unknown
inline constexpr int32_t kNwork = kWorkPerUnknown * kMaxUnknowns;  // 11102000 complex words
inline constexpr int kPressureMapSide = 160;                // pressure maps are 160 x 160

// Number of unknowns of an nx x ny grid: four solid displacements per vertex
// and one fluid unknown per cell edge.
constexpr int32_t unknowns_of(int32_t nx, int32_t ny) { return ny * (6 * nx + 5) + 5 * nx + 4; }

}  // namespace core
