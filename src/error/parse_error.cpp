#include "quorvane_dat/error/parse_error.hpp"

namespace quorvane_dat {

namespace {

constexpr std::string_view BOLD = "\x1b[1m";
constexpr std::string_view NORMAL = "\x1b[22m";
constexpr std::string_view RULE_LEFT = "\u257A";
constexpr std::string_view RULE_HEAVY = "\u2501";
constexpr std::string_view RULE_DASHED = "\u2505";
constexpr std::string_view RULE_RIGHT = "\u2578";

void append_repeated(std::string& out, std::string_view piece, int count) {
  for (int i = 0; i < count; ++i) out.append(piece);
}

void append_location(std::string& out, const ContextFrame& frame) {
  out.append("     at ");
  out.append(frame.file);
  out.push_back(':');
  out.append(std::to_string(frame.line));
  out.push_back('\n');
}

}  // namespace

ParseError&& ParseError::with_field(const FieldSite& site) && {
  std::string message = "While parsing field '";
  message.append(site.field);
  message.append("' in ");
  message.append(site.record);
  return std::move(*this).with_frame(ContextFrame{std::move(message), site.file, site.line});
}

ParseError&& ParseError::with_frame(ContextFrame frame) && {
  frames_.push_back(std::move(frame));
  return std::move(*this);
}

std::string ParseError::plain() const {
  std::string out = first_.display();
  for (std::size_t index = 0; index < frames_.size(); ++index) {
    out.append(index == 0 ? " (" : "; ");
    std::string message = frames_[index].message;
    if (message.starts_with("While ")) message[0] = 'w';
    out.append(message);
  }
  if (!frames_.empty()) out.push_back(')');
  return out;
}

std::string ParseError::report() const {
  if (frames_.empty()) return first_.display();

  std::string out;
  out.append("\n ");
  out.append(RULE_LEFT);
  append_repeated(out, RULE_HEAVY, 20);
  out.append(RULE_DASHED);
  out.append(" Backtrace ");
  out.append(RULE_DASHED);
  append_repeated(out, RULE_HEAVY, 20);
  out.append(RULE_RIGHT);
  out.append("\n\n");

  for (std::size_t index = 0; index < frames_.size(); ++index) {
    const ContextFrame& frame = frames_[index];
    out.push_back(' ');
    out.append(std::to_string(index));
    out.append(": ");
    out.append(BOLD);
    if (index == 0) {
      // The first frame carries the underlying error above its own message.
      out.append(BOLD);
      out.append("Error: ");
      out.append(first_.display());
      out.append(NORMAL);
      out.push_back('\n');
      out.append(11, ' ');
      out.append(BOLD);
      out.append(frame.message);
      out.append(NORMAL);
    } else {
      out.append(frame.message);
    }
    out.append(NORMAL);
    out.push_back('\n');
    append_location(out, frame);
  }

  out.append("\n ");
  out.append(RULE_LEFT);
  append_repeated(out, RULE_HEAVY, 53);
  out.append(RULE_RIGHT);
  out.append("\n\n");
  return out;
}

}  // namespace quorvane_dat
