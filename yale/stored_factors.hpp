// Where the factors lie in the workspace: the views of L, D and U in the
// value regions of a partition, for the factorisation that writes them and
// for the solves that read them afterwards.
#pragma once

#include <algorithm>
#include <cstdint>

#include "yale/factors.hpp"
#include "yale/partition.hpp"
#include "yale/workspace.hpp"

namespace yale {

// The factors in the value regions of vp; `fresh` when they are about to be
// computed, else those an earlier factorisation left.
template <class V>
Factors<V> factors_in(BasicWorkspace<V>& ws, int32_t n, const ValuePartition& vp, int32_t lcount, int32_t ucount,
                      bool fresh) {
  auto values = [&](int32_t first, int32_t count) {
    return fresh ? ws.fresh_values(first, count) : ws.values(first, count);
  };
  return Factors<V>{n,
                    ws.ints(1, n + 1),
                    ws.ints(2 * n + 3, lcount),
                    values(vp.lv, lcount),
                    values(vp.dv, n),
                    ws.ints(n + 2, n + 1),
                    ws.ints(vp.ju, ucount),
                    values(vp.uv, fresh ? std::min(vp.umax, ucount) : ucount)};
}

}  // namespace yale
