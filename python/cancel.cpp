#include "python/cancel.hpp"

#include <utility>

namespace upscale_py {

Poll::Poll(std::function<bool()> check, std::chrono::milliseconds interval)
    : check_(std::move(check)), interval_(interval) {}

void Poll::operator()() {
  if (asked_ && std::chrono::steady_clock::now() - last_ < interval_) return;
  now();
}

void Poll::now() {
  asked_ = true;
  last_ = std::chrono::steady_clock::now();
  if (check_ && check_()) throw Cancelled();
}

}  // namespace upscale_py
