// The program's output facility. Checks print through it; while capture is on
// the printing thread's capture buffer receives the text, otherwise it goes
// straight to standard output or standard error.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "runner/capture.hpp"

namespace runner {

// Write to the program's standard output / standard error through capture.
// A write error on a real stream raises "failed printing to stdout: ...".
void print(std::string_view text);
void eprint(std::string_view text);
inline void println(std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  print(line);
}
inline void eprintln(std::string_view text) {
  std::string line(text);
  line.push_back('\n');
  eprint(line);
}

// Installs a terminate handler for failures that cannot be caught: before the
// process aborts, the calling thread's captured output is written to standard
// output, and both standard streams stay locked from then on so that nothing
// else interleaves with the abort message. Installing twice is harmless.
void install_capture_terminate_handler();

// Starts a thread that inherits the calling thread's capture buffer, so that
// everything it prints lands in the same check's output. A check failure
// raised in `body` ends only that thread (its report is already written).
std::thread spawn_inheriting_capture(std::function<void()> body);

}  // namespace runner
