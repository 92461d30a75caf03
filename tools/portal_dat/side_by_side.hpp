// Two pieces of work run at once: one on a thread of its own, one on the
// calling thread.
#pragma once

#include <functional>
#include <thread>

namespace portal_dat {

// Starts a thread running the work given; std::thread's constructor by
// default, a seam for tests of a thread that cannot start.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

// Runs `beside` on a thread of its own while `here` runs on the calling
// thread, and returns when both are done. When no thread can be started,
// runs `beside` and then `here` on the calling thread.
void side_by_side(const std::function<void()>& beside, const std::function<void()>& here,
                  const ThreadStarter& start = {});

}  // namespace portal_dat
