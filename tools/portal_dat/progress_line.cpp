// Drawing the progress line on a terminal.
#include "tools/portal_dat/progress_line.hpp"

#include <unistd.h>

#include <cstdio>

namespace portal_dat {

namespace {

constexpr auto REDRAW_INTERVAL = std::chrono::milliseconds(100);

std::string mebibytes(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

ProgressLine::ProgressLine(std::uint64_t total_files, std::uint64_t total_bytes, bool quiet)
    : enabled_(!quiet && isatty(STDERR_FILENO) == 1),
      total_files_(total_files),
      total_bytes_(total_bytes),
      start_(Clock::now()),
      last_draw_(start_) {}

void ProgressLine::advance(std::uint64_t bytes) {
  ++files_;
  bytes_ += bytes;
  if (!enabled_) return;
  const Clock::time_point now = Clock::now();
  if (now - last_draw_ >= REDRAW_INTERVAL) draw(now);
}

void ProgressLine::draw(Clock::time_point now) {
  last_draw_ = now;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  // Built by appending: g++ 12 at -O3 misreports "\r" + string as overlapping.
  std::string line = "\r";
  line += render(files_, total_files_, bytes_, total_bytes_, elapsed);
  line += "\x1b[K";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressLine::clear() {
  if (!drawn_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  drawn_ = false;
}

std::string ProgressLine::render(std::uint64_t files, std::uint64_t total_files, std::uint64_t bytes,
                                 std::uint64_t total_bytes, double elapsed_seconds) {
  const double rate = elapsed_seconds > 0 ? static_cast<double>(bytes) / elapsed_seconds : 0;
  std::string left = "--:--";
  if (rate > 0 && total_bytes >= bytes) {
    const auto seconds = static_cast<std::uint64_t>(static_cast<double>(total_bytes - bytes) / rate);
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                  static_cast<unsigned long long>(seconds % 60));
    left = text;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%llu/%llu files, %s of %s, %s/s, %s left",
                static_cast<unsigned long long>(files), static_cast<unsigned long long>(total_files),
                mebibytes(bytes).c_str(), mebibytes(total_bytes).c_str(),
                mebibytes(static_cast<std::uint64_t>(rate)).c_str(), left.c_str());
  return text;
}

}  // namespace portal_dat
