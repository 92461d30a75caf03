#include "tools/portal_dat/side_by_side.hpp"

#include <system_error>

namespace portal_dat {

void side_by_side(const std::function<void()>& beside, const std::function<void()>& here,
                  const ThreadStarter& start) {
  std::thread thread;
  try {
    thread = start ? start(beside) : std::thread(beside);
  } catch (const std::system_error&) {
    beside();
  }
  here();
  if (thread.joinable()) thread.join();
}

}  // namespace portal_dat
