// Items of work shared out from one counter to a few threads, the calling
// thread among them. Each item is done once, by whichever thread takes it;
// a thread the system cannot start leaves its share to the others, so the
// results never depend on how many threads ran. The first failure stops
// the handing out and is rethrown once every thread has ended.
#pragma once

#include <cstddef>
#include <functional>

namespace core {

// work(item, worker) for items 0 .. count-1; workers 0 .. threads-1, the
// caller being worker 0.
void share_out(int threads, std::size_t count, const std::function<void(std::size_t, std::size_t)>& work);

}  // namespace core
