// The progress line of extract and verify: files, bytes, rate and time left,
// redrawn in place on standard error at most ten times a second. It is drawn
// only when standard error is a terminal and the user did not ask for quiet.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace portal_dat {

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;

  ProgressLine(std::uint64_t total_files, std::uint64_t total_bytes, bool quiet);
  ~ProgressLine() { clear(); }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  // Records one more file of `bytes` bytes and redraws when the last redraw
  // lies at least a tenth of a second back.
  void advance(std::uint64_t bytes);
  // Removes the line, so that the next output starts on a clean line.
  void clear();

  // The text of the line (without the carriage return), for the given state.
  static std::string render(std::uint64_t files, std::uint64_t total_files, std::uint64_t bytes,
                            std::uint64_t total_bytes, double elapsed_seconds);

 private:
  void draw(Clock::time_point now);

  bool enabled_ = false;
  bool drawn_ = false;
  std::uint64_t total_files_ = 0;
  std::uint64_t total_bytes_ = 0;
  std::uint64_t files_ = 0;
  std::uint64_t bytes_ = 0;
  Clock::time_point start_;
  Clock::time_point last_draw_;
};

}  // namespace portal_dat
