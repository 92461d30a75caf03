// Capture buffers: where a check's printed text is collected while capture
// is on, one buffer per check, installed per thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace runner {

// One check's captured output, shared with the threads the check starts.
class CaptureBuffer {
 public:
  void append(std::string_view text) {
    std::lock_guard lock(mutex_);
    data_.append(text);
  }
  std::string contents() const {
    std::lock_guard lock(mutex_);
    return data_;
  }

 private:
  mutable std::mutex mutex_;
  std::string data_;
};

// The calling thread's capture buffer (null when not capturing).
std::shared_ptr<CaptureBuffer> current_capture() noexcept;
// Installs (or with null removes) the calling thread's capture buffer.
void set_current_capture(std::shared_ptr<CaptureBuffer> buffer) noexcept;

}  // namespace runner
