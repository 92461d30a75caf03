#include "runner/capture.hpp"

namespace runner {
namespace {

thread_local std::shared_ptr<CaptureBuffer> t_capture;

}  // namespace

std::shared_ptr<CaptureBuffer> current_capture() noexcept { return t_capture; }

void set_current_capture(std::shared_ptr<CaptureBuffer> buffer) noexcept {
  t_capture = std::move(buffer);
}

}  // namespace runner
