// Geometric nested dissection of a structured cell grid. Unknowns sit at
// half-cell points: vertices at even, edge midpoints at odd coordinates, and
// two unknowns are coupled when a cell holds both. A grid line x = s (s even)
// therefore separates the unknowns left of it from those right of it; its
// separator is every unknown on the line, the vertices and the edges along
// it. The longer side of a box is cut near its middle, both halves are
// ordered first and the separator last; small boxes keep their own order.
#include <stdexcept>
#include <string>

#include "engine/analysis.hpp"

namespace engine::detail {

namespace {

struct Box {
  Index x0, x1, y0, y1;  // half-cell coordinates, inclusive
};

class Dissection {
 public:
  Dissection(const GridPlaces& g, Index n) : w_(2 * g.nx + 1), h_(2 * g.ny + 1), start_(static_cast<std::size_t>(w_ * h_) + 1, 0) {
    for (Index i = 0; i < n; ++i) ++start_[point(g.x2[i], g.y2[i]) + 1];
    for (std::size_t p = 1; p < start_.size(); ++p) start_[p] += start_[p - 1];
    at_.resize(static_cast<std::size_t>(n));
    std::vector<Index> fill(start_.begin(), start_.end() - 1);
    for (Index i = 0; i < n; ++i) at_[fill[point(g.x2[i], g.y2[i])]++] = i;
    order_.reserve(static_cast<std::size_t>(n));
  }

  std::vector<Index> run() {
    dissect({0, w_ - 1, 0, h_ - 1});
    return std::move(order_);
  }

 private:
  Index point(Index x, Index y) const { return x + y * w_; }

  void take(Index x0, Index x1, Index y0, Index y1) {
    for (Index y = y0; y <= y1; ++y)
      for (Index x = x0; x <= x1; ++x)
        for (Index p = start_[point(x, y)]; p < start_[point(x, y) + 1]; ++p) order_.push_back(at_[p]);
  }

  // An even cut strictly inside [lo, hi] near its middle, or -1.
  static Index cut(Index lo, Index hi) {
    Index s = lo + (hi - lo) / 2;
    if (s % 2) ++s;
    if (s >= hi) s -= 2;
    return s > lo ? s : -1;
  }

  void dissect(const Box& b) {
    const Index wx = b.x1 - b.x0, wy = b.y1 - b.y0;
    if (wx < 6 && wy < 6) return take(b.x0, b.x1, b.y0, b.y1);
    const Index sx = cut(b.x0, b.x1), sy = cut(b.y0, b.y1);
    if (sx != -1 && (wx >= wy || sy == -1)) {
      dissect({b.x0, sx - 1, b.y0, b.y1});
      dissect({sx + 1, b.x1, b.y0, b.y1});
      return take(sx, sx, b.y0, b.y1);
    }
    if (sy == -1) return take(b.x0, b.x1, b.y0, b.y1);
    dissect({b.x0, b.x1, b.y0, sy - 1});
    dissect({b.x0, b.x1, sy + 1, b.y1});
    take(b.x0, b.x1, sy, sy);
  }

  Index w_, h_;
  std::vector<Index> start_, at_, order_;
};

}  // namespace

std::vector<Index> grid_order(const GridPlaces& g, Index n) {
  if (g.nx < 1 || g.ny < 1 || static_cast<Index>(g.x2.size()) != n || static_cast<Index>(g.y2.size()) != n)
    throw std::invalid_argument("sparse engine: grid places for " + std::to_string(g.x2.size()) + " and " +
                                std::to_string(g.y2.size()) + " unknowns on " + std::to_string(g.nx) + " x " +
                                std::to_string(g.ny) + " cells, expected " + std::to_string(n) +
                                " each on at least one cell");
  for (Index i = 0; i < n; ++i)
    if (g.x2[i] < 0 || g.x2[i] > 2 * g.nx || g.y2[i] < 0 || g.y2[i] > 2 * g.ny)
      throw std::invalid_argument("sparse engine: unknown " + std::to_string(i) + " at half-cell point (" +
                                  std::to_string(g.x2[i]) + ", " + std::to_string(g.y2[i]) + "), expected within 0.." +
                                  std::to_string(2 * g.nx) + " x 0.." + std::to_string(2 * g.ny));
  return Dissection(g, n).run();
}

}  // namespace engine::detail
