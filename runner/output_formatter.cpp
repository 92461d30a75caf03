#include "runner/output_formatter.hpp"

namespace runner {

std::string timeout_warning_text(const TestDesc& desc) {
  std::string text = "test ";
  text += desc.name;
  text += " has been running for over ";
  text += std::to_string(TIMEOUT_WARNING.count());
  text += " seconds\n";
  return text;
}

}  // namespace runner
