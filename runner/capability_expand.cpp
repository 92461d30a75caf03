#include "runner/capability_expand.hpp"

#include <array>
#include <cstdint>
#include <cstdio>
#include <variant>
#include <vector>

namespace runner {
namespace {

using Value = std::variant<int, std::string>;

struct FormatSpec {
  std::string flags;
  std::string width;
  std::string precision;
  bool has_precision = false;
  char conversion = 'd';
};

bool is_conversion(char c) { return c == 'd' || c == 'o' || c == 'x' || c == 'X' || c == 's'; }

std::optional<std::string> format_value(const FormatSpec& conv, const Value& value) {
  std::string fmt = "%" + conv.flags + conv.width;
  if (conv.has_precision) fmt += "." + conv.precision;
  char buf[256];
  int n = 0;
  if (conv.conversion == 's') {
    if (!std::holds_alternative<std::string>(value)) return std::nullopt;
    fmt += 's';
    n = std::snprintf(buf, sizeof buf, fmt.c_str(), std::get<std::string>(value).c_str());
  } else {
    if (!std::holds_alternative<int>(value)) return std::nullopt;
    fmt += conv.conversion;
    const int v = std::get<int>(value);
    if (conv.conversion == 'd') {
      n = std::snprintf(buf, sizeof buf, fmt.c_str(), v);
    } else {
      n = std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<unsigned>(v));
    }
  }
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) return std::nullopt;
  return std::string(buf, static_cast<std::size_t>(n));
}

// Skips from `pos` (just after a "%t" whose condition was false, or after a
// "%e" reached from a taken branch) to the place where execution resumes:
// after the matching "%e" (only when `stop_at_else`) or the matching "%;".
std::optional<std::size_t> skip_branch(std::string_view cap, std::size_t pos, bool stop_at_else) {
  int depth = 0;
  while (pos < cap.size()) {
    if (cap[pos] != '%') {
      ++pos;
      continue;
    }
    if (pos + 1 >= cap.size()) return std::nullopt;
    const char op = cap[pos + 1];
    pos += 2;
    if (op == '\'') {
      pos += 2;  // the constant and its closing quote
    } else if (op == '?') {
      ++depth;
    } else if (op == ';') {
      if (depth == 0) return pos;
      --depth;
    } else if (op == 'e' && depth == 0 && stop_at_else) {
      return pos;
    }
  }
  return std::nullopt;
}

std::optional<int> binary(char op, int a, int b) {
  const auto ua = static_cast<unsigned>(a);
  const auto ub = static_cast<unsigned>(b);
  switch (op) {
    case '+': return static_cast<int>(ua + ub);
    case '-': return static_cast<int>(ua - ub);
    case '*': return static_cast<int>(ua * ub);
    case '/': return (b == 0 || (a == INT32_MIN && b == -1)) ? 0 : a / b;
    case 'm': return (b == 0 || (a == INT32_MIN && b == -1)) ? 0 : a % b;
    case '&': return a & b;
    case '|': return a | b;
    case '^': return a ^ b;
    case '=': return a == b ? 1 : 0;
    case '<': return a < b ? 1 : 0;
    case '>': return a > b ? 1 : 0;
    case 'A': return (a != 0 && b != 0) ? 1 : 0;
    case 'O': return (a != 0 || b != 0) ? 1 : 0;
    default: return std::nullopt;
  }
}

bool is_binary(char op) {
  static constexpr std::string_view OPS = "+-*/m&|^=<>AO";
  return OPS.find(op) != std::string_view::npos;
}

std::string strip_padding(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    if (text[pos] == '$' && pos + 1 < text.size() && text[pos + 1] == '<') {
      std::size_t end = pos + 2;
      bool digit = false;
      while (end < text.size() && (text[end] == '.' || text[end] == '*' || text[end] == '/' ||
                                   (text[end] >= '0' && text[end] <= '9'))) {
        digit = digit || (text[end] >= '0' && text[end] <= '9');
        ++end;
      }
      if (digit && end < text.size() && text[end] == '>') {
        pos = end + 1;
        continue;
      }
    }
    out.push_back(text[pos]);
    ++pos;
  }
  return out;
}

// One expansion: the parameters, the two variable banks, the value stack and
// the output, with one method per group of operators. Every method returns
// false when the capability is malformed there.
class Expansion {
 public:
  Expansion(std::string_view cap, std::span<const int> params) : cap_(cap) {
    for (std::size_t i = 0; i < params_.size(); ++i) params_[i] = i < params.size() ? params[i] : 0;
    dynamic_vars_.fill(0);
    static_vars_.fill(0);
  }

  std::optional<std::string> run() {
    while (pos_ < cap_.size()) {
      const char c = cap_[pos_++];
      if (c != '%') {
        out_.push_back(c);
        continue;
      }
      if (pos_ >= cap_.size() || !step(cap_[pos_++])) return std::nullopt;
    }
    return strip_padding(out_);
  }

 private:
  // Carries out the operator `op`, which followed a '%'.
  bool step(char op) {
    switch (op) {
      case '%': out_.push_back('%'); return true;
      case 'c': return put_char();
      case 'p': return push_param();
      case 'P':
      case 'g': return variable(op);
      case '\'': return char_constant();
      case '{': return int_constant();
      case 'l': return string_length();
      case '!':
      case '~': return unary(op);
      case 'i': increment_first_two(); return true;
      case '?':
      case ';': return true;
      case 't': return then_branch();
      case 'e': return else_branch();
      default: return is_binary(op) ? binary_op(op) : formatted_output();
    }
  }

  std::optional<Value> pop() {
    if (stack_.empty()) return std::nullopt;
    Value v = std::move(stack_.back());
    stack_.pop_back();
    return v;
  }
  std::optional<int> pop_int() {
    auto v = pop();
    if (!v || !std::holds_alternative<int>(*v)) return std::nullopt;
    return std::get<int>(*v);
  }

  bool put_char() {
    const auto v = pop_int();
    if (!v) return false;
    out_.push_back(static_cast<char>(*v));
    return true;
  }

  // %p1 to %p9.
  bool push_param() {
    if (pos_ >= cap_.size() || cap_[pos_] < '1' || cap_[pos_] > '9') return false;
    stack_.push_back(params_[static_cast<std::size_t>(cap_[pos_++] - '1')]);
    return true;
  }

  // %P stores into and %g fetches from a variable: a-z dynamic, A-Z static.
  bool variable(char op) {
    if (pos_ >= cap_.size()) return false;
    const char name = cap_[pos_++];
    std::array<Value, 26>* vars = nullptr;
    if (name >= 'a' && name <= 'z') {
      vars = &dynamic_vars_;
    } else if (name >= 'A' && name <= 'Z') {
      vars = &static_vars_;
    } else {
      return false;
    }
    const auto index = static_cast<std::size_t>(name - (name >= 'a' ? 'a' : 'A'));
    if (op == 'g') {
      stack_.push_back((*vars)[index]);
      return true;
    }
    auto v = pop();
    if (!v) return false;
    (*vars)[index] = std::move(*v);
    return true;
  }

  // %'c': the character's code.
  bool char_constant() {
    if (pos_ + 1 >= cap_.size() || cap_[pos_ + 1] != '\'') return false;
    stack_.emplace_back(static_cast<int>(static_cast<unsigned char>(cap_[pos_])));
    pos_ += 2;
    return true;
  }

  // %{nn}: a decimal constant that fits in 32 bits.
  bool int_constant() {
    const std::size_t close = cap_.find('}', pos_);
    if (close == std::string_view::npos || close == pos_) return false;
    long long value = 0;
    for (std::size_t i = pos_; i < close; ++i) {
      if (cap_[i] < '0' || cap_[i] > '9') return false;
      value = value * 10 + (cap_[i] - '0');
      if (value > INT32_MAX) return false;
    }
    stack_.emplace_back(static_cast<int>(value));
    pos_ = close + 1;
    return true;
  }

  bool string_length() {
    auto v = pop();
    if (!v || !std::holds_alternative<std::string>(*v)) return false;
    stack_.emplace_back(static_cast<int>(std::get<std::string>(*v).size()));
    return true;
  }

  bool unary(char op) {
    const auto v = pop_int();
    if (!v) return false;
    stack_.emplace_back(op == '!' ? (*v == 0 ? 1 : 0) : ~*v);
    return true;
  }

  // %i: the first two parameters count from one.
  void increment_first_two() {
    for (std::size_t i = 0; i < 2; ++i) {
      // Wraps like the other arithmetic operators instead of overflowing.
      if (std::holds_alternative<int>(params_[i])) {
        params_[i] = static_cast<int>(static_cast<unsigned>(std::get<int>(params_[i])) + 1U);
      }
    }
  }

  // %t: a false condition skips to after the matching %e or %;.
  bool then_branch() {
    const auto v = pop_int();
    if (!v) return false;
    if (*v != 0) return true;
    const auto resume = skip_branch(cap_, pos_, true);
    if (!resume) return false;
    pos_ = *resume;
    return true;
  }

  // %e reached from a taken branch: skip to after the matching %;.
  bool else_branch() {
    const auto resume = skip_branch(cap_, pos_, false);
    if (!resume) return false;
    pos_ = *resume;
    return true;
  }

  bool binary_op(char op) {
    const auto b = pop_int();
    const auto a = pop_int();
    if (!a || !b) return false;
    stack_.emplace_back(*binary(op, *a, *b));
    return true;
  }

  // %[[:]flags][width[.precision]]conversion, starting at the character
  // after the '%'.
  bool formatted_output() {
    FormatSpec conv;
    std::size_t i = pos_ - 1;
    if (cap_[i] == ':') ++i;
    while (i < cap_.size() && (cap_[i] == '-' || cap_[i] == '+' || cap_[i] == '#' || cap_[i] == ' ')) {
      conv.flags.push_back(cap_[i++]);
    }
    while (i < cap_.size() && cap_[i] >= '0' && cap_[i] <= '9') conv.width.push_back(cap_[i++]);
    if (i < cap_.size() && cap_[i] == '.') {
      conv.has_precision = true;
      ++i;
      while (i < cap_.size() && cap_[i] >= '0' && cap_[i] <= '9') {
        conv.precision.push_back(cap_[i++]);
      }
    }
    if (i >= cap_.size() || !is_conversion(cap_[i])) return false;
    if (conv.width.size() > 3 || conv.precision.size() > 3) return false;
    conv.conversion = cap_[i++];
    auto v = pop();
    if (!v) return false;
    const auto text = format_value(conv, *v);
    if (!text) return false;
    out_ += *text;
    pos_ = i;
    return true;
  }

  std::string_view cap_;
  std::size_t pos_ = 0;
  std::array<Value, 9> params_{};
  std::array<Value, 26> dynamic_vars_{};
  std::array<Value, 26> static_vars_{};
  std::vector<Value> stack_;
  std::string out_;
};

}  // namespace

std::optional<std::string> expand_capability(std::string_view cap, std::span<const int> params) {
  return Expansion(cap, params).run();
}

}  // namespace runner
