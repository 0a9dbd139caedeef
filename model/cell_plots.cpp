#include <cassert>

#include "model/cell_loop.hpp"

namespace model {

CellPlots::CellPlots(bool enabled, std::initializer_list<const char*> names) {
  if (!enabled) return;
  for (const char* name : names) files_.push_back(std::make_unique<core::TextOut>(name));
}

void CellPlots::write(int j, int k, std::initializer_list<double> values) {
  if (files_.empty()) return;
  assert(values.size() == files_.size());
  auto file = files_.begin();
  for (double v : values) (*file++)->list(j, k, v);
}

void CellPlots::close() {
  for (auto& f : files_) f->close();
}

}  // namespace model
