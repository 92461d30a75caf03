// Capturing what the calling thread prints through the runner's output facility.
#pragma once

#include <memory>
#include <string>

#include "runner/output.hpp"

namespace runner_cli_test {

class CaptureGuard {
 public:
  CaptureGuard() : buffer_(std::make_shared<runner::CaptureBuffer>()) {
    runner::set_current_capture(buffer_);
  }
  CaptureGuard(const CaptureGuard&) = delete;
  CaptureGuard& operator=(const CaptureGuard&) = delete;
  ~CaptureGuard() { runner::set_current_capture(nullptr); }

  std::string text() const { return buffer_->contents(); }

 private:
  std::shared_ptr<runner::CaptureBuffer> buffer_;
};

}  // namespace runner_cli_test
