#include "core/shared_work.hpp"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace core {

void share_out(int threads, std::size_t count, const std::function<void(std::size_t, std::size_t)>& work) {
  std::atomic<std::size_t> next{0};
  std::mutex lock;
  std::exception_ptr failure;
  auto worker = [&](std::size_t k) {
    try {
      for (std::size_t i = next++; i < count; i = next++) work(i, k);
    } catch (...) {
      const std::lock_guard<std::mutex> hold(lock);
      if (!failure) failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> pool;
  try {
    for (int k = 1; k < threads && static_cast<std::size_t>(k) < count; ++k)
      pool.emplace_back(worker, static_cast<std::size_t>(k));
  } catch (const std::system_error&) {  // fewer threads: the same items, done by those that started
  }
  worker(0);
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace core
