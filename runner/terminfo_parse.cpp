#include "runner/terminfo_parse.hpp"

#include <array>
#include <cstdio>
#include <variant>

#include "base/little_endian.hpp"

namespace runner {
namespace {

// Bounds-checked little-endian reads over the whole file.
class Cursor {
 public:
  explicit Cursor(std::span<const std::uint8_t> data) : data_(data) {}

  std::optional<std::int16_t> i16() {
    if (remaining() < 2) return std::nullopt;
    const std::uint16_t v = quorvane_base::load_u16_le(data_.data() + pos_);
    pos_ += 2;
    return static_cast<std::int16_t>(v);
  }
  std::optional<std::int32_t> i32() {
    if (remaining() < 4) return std::nullopt;
    const std::uint32_t v = quorvane_base::load_u32_le(data_.data() + pos_);
    pos_ += 4;
    return static_cast<std::int32_t>(v);
  }
  std::optional<std::span<const std::uint8_t>> bytes(std::size_t n) {
    if (remaining() < n) return std::nullopt;
    auto out = data_.subspan(pos_, n);
    pos_ += n;
    return out;
  }
  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return data_.size() - pos_; }

 private:
  std::span<const std::uint8_t> data_;
  std::size_t pos_ = 0;
};

std::vector<std::string> split_names(std::span<const std::uint8_t> field) {
  std::string all;
  for (std::uint8_t b : field) {
    if (b == 0) break;
    all.push_back(static_cast<char>(b));
  }
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start <= all.size()) {
    const std::size_t bar = all.find('|', start);
    const std::size_t end = bar == std::string::npos ? all.size() : bar;
    if (end > start) names.push_back(all.substr(start, end - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return names;
}

// ---- parameter expansion ----

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

}  // namespace

std::optional<TermInfo> parse_terminfo(std::span<const std::uint8_t> data) {
  Cursor cur(data);
  const auto magic = cur.i16();
  if (!magic) return std::nullopt;
  const auto umagic = static_cast<std::uint16_t>(*magic);
  if (umagic != TERMINFO_MAGIC_16 && umagic != TERMINFO_MAGIC_32) return std::nullopt;
  const std::size_t number_width = umagic == TERMINFO_MAGIC_32 ? 4 : 2;

  std::array<std::size_t, 5> sizes{};
  for (std::size_t& size : sizes) {
    const auto v = cur.i16();
    if (!v || *v < 0) return std::nullopt;
    size = static_cast<std::size_t>(*v);
  }
  const auto [names_size, bool_count, num_count, str_count, table_size] = sizes;

  const auto names = cur.bytes(names_size);
  if (!names) return std::nullopt;
  const auto bools = cur.bytes(bool_count);
  if (!bools) return std::nullopt;
  // Numbers start on an even offset.
  if (cur.position() % 2 != 0 && !cur.bytes(1)) return std::nullopt;

  TermInfo info;
  info.names = split_names(*names);
  info.booleans.reserve(bool_count);
  for (std::uint8_t b : *bools) info.booleans.push_back(b == 1);

  info.numbers.reserve(num_count);
  for (std::size_t i = 0; i < num_count; ++i) {
    std::optional<std::int32_t> v;
    if (number_width == 4) {
      v = cur.i32();
    } else if (const auto s = cur.i16()) {
      v = *s;
    }
    if (!v) return std::nullopt;
    info.numbers.push_back(*v >= 0 ? std::optional<std::int32_t>(*v) : std::nullopt);
  }

  std::vector<std::int16_t> offsets;
  offsets.reserve(str_count);
  for (std::size_t i = 0; i < str_count; ++i) {
    const auto off = cur.i16();
    if (!off) return std::nullopt;
    offsets.push_back(*off);
  }
  const auto table = cur.bytes(table_size);
  if (!table) return std::nullopt;

  info.strings.reserve(str_count);
  for (const std::int16_t off : offsets) {
    if (off == -1 || off == -2) {  // absent or cancelled
      info.strings.emplace_back();
      continue;
    }
    if (off < 0 || static_cast<std::size_t>(off) >= table_size) return std::nullopt;
    std::string value;
    std::size_t i = static_cast<std::size_t>(off);
    while (i < table_size && (*table)[i] != 0) value.push_back(static_cast<char>((*table)[i++]));
    if (i == table_size) return std::nullopt;  // no terminating NUL
    info.strings.emplace_back(std::move(value));
  }
  return info;
}

std::optional<std::string> expand_capability(std::string_view cap, std::span<const int> params) {
  std::array<Value, 9> p{};
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = i < params.size() ? params[i] : 0;
  std::array<Value, 26> dynamic_vars{};
  std::array<Value, 26> static_vars{};
  for (auto& v : dynamic_vars) v = 0;
  for (auto& v : static_vars) v = 0;

  std::vector<Value> stack;
  const auto pop = [&]() -> std::optional<Value> {
    if (stack.empty()) return std::nullopt;
    Value v = std::move(stack.back());
    stack.pop_back();
    return v;
  };
  const auto pop_int = [&]() -> std::optional<int> {
    auto v = pop();
    if (!v || !std::holds_alternative<int>(*v)) return std::nullopt;
    return std::get<int>(*v);
  };

  std::string out;
  std::size_t pos = 0;
  while (pos < cap.size()) {
    const char c = cap[pos++];
    if (c != '%') {
      out.push_back(c);
      continue;
    }
    if (pos >= cap.size()) return std::nullopt;
    const char op = cap[pos++];
    switch (op) {
      case '%': out.push_back('%'); break;
      case 'c': {
        const auto v = pop_int();
        if (!v) return std::nullopt;
        out.push_back(static_cast<char>(*v));
        break;
      }
      case 'p': {
        if (pos >= cap.size() || cap[pos] < '1' || cap[pos] > '9') return std::nullopt;
        stack.push_back(p[static_cast<std::size_t>(cap[pos++] - '1')]);
        break;
      }
      case 'P':
      case 'g': {
        if (pos >= cap.size()) return std::nullopt;
        const char name = cap[pos++];
        std::array<Value, 26>* vars = nullptr;
        if (name >= 'a' && name <= 'z') {
          vars = &dynamic_vars;
        } else if (name >= 'A' && name <= 'Z') {
          vars = &static_vars;
        } else {
          return std::nullopt;
        }
        const auto index = static_cast<std::size_t>(name - (name >= 'a' ? 'a' : 'A'));
        if (op == 'P') {
          auto v = pop();
          if (!v) return std::nullopt;
          (*vars)[index] = std::move(*v);
        } else {
          stack.push_back((*vars)[index]);
        }
        break;
      }
      case '\'': {
        if (pos + 1 >= cap.size() || cap[pos + 1] != '\'') return std::nullopt;
        stack.emplace_back(static_cast<int>(static_cast<unsigned char>(cap[pos])));
        pos += 2;
        break;
      }
      case '{': {
        const std::size_t close = cap.find('}', pos);
        if (close == std::string_view::npos || close == pos) return std::nullopt;
        long long value = 0;
        for (std::size_t i = pos; i < close; ++i) {
          if (cap[i] < '0' || cap[i] > '9') return std::nullopt;
          value = value * 10 + (cap[i] - '0');
          if (value > INT32_MAX) return std::nullopt;
        }
        stack.emplace_back(static_cast<int>(value));
        pos = close + 1;
        break;
      }
      case 'l': {
        auto v = pop();
        if (!v || !std::holds_alternative<std::string>(*v)) return std::nullopt;
        stack.emplace_back(static_cast<int>(std::get<std::string>(*v).size()));
        break;
      }
      case '!':
      case '~': {
        const auto v = pop_int();
        if (!v) return std::nullopt;
        stack.emplace_back(op == '!' ? (*v == 0 ? 1 : 0) : ~*v);
        break;
      }
      case 'i':
        for (std::size_t i = 0; i < 2; ++i) {
          // Wraps like the other arithmetic operators instead of overflowing.
          if (std::holds_alternative<int>(p[i])) {
            p[i] = static_cast<int>(static_cast<unsigned>(std::get<int>(p[i])) + 1U);
          }
        }
        break;
      case '?':
      case ';':
        break;
      case 't': {
        const auto v = pop_int();
        if (!v) return std::nullopt;
        if (*v == 0) {
          const auto resume = skip_branch(cap, pos, true);
          if (!resume) return std::nullopt;
          pos = *resume;
        }
        break;
      }
      case 'e': {
        const auto resume = skip_branch(cap, pos, false);
        if (!resume) return std::nullopt;
        pos = *resume;
        break;
      }
      default: {
        if (is_binary(op)) {
          const auto b = pop_int();
          const auto a = pop_int();
          if (!a || !b) return std::nullopt;
          stack.emplace_back(*binary(op, *a, *b));
          break;
        }
        // A formatted output: %[[:]flags][width[.precision]]conversion.
        FormatSpec conv;
        std::size_t i = pos - 1;
        if (cap[i] == ':') ++i;
        while (i < cap.size() && (cap[i] == '-' || cap[i] == '+' || cap[i] == '#' || cap[i] == ' ')) {
          conv.flags.push_back(cap[i++]);
        }
        while (i < cap.size() && cap[i] >= '0' && cap[i] <= '9') conv.width.push_back(cap[i++]);
        if (i < cap.size() && cap[i] == '.') {
          conv.has_precision = true;
          ++i;
          while (i < cap.size() && cap[i] >= '0' && cap[i] <= '9') conv.precision.push_back(cap[i++]);
        }
        if (i >= cap.size() || !is_conversion(cap[i])) return std::nullopt;
        if (conv.width.size() > 3 || conv.precision.size() > 3) return std::nullopt;
        conv.conversion = cap[i++];
        auto v = pop();
        if (!v) return std::nullopt;
        const auto text = format_value(conv, *v);
        if (!text) return std::nullopt;
        out += *text;
        pos = i;
        break;
      }
    }
  }
  return strip_padding(out);
}

TerminalColors colors_from_terminfo(const TermInfo& info) {
  TerminalColors colors;
  const std::string* reset = nullptr;
  for (std::size_t cap : {terminfo_cap::EXIT_ATTRIBUTE_MODE, terminfo_cap::SET_ATTRIBUTES,
                          terminfo_cap::ORIG_PAIR}) {
    reset = info.string(cap);
    if (reset != nullptr) break;
  }
  if (reset == nullptr) return colors;
  const auto reset_text = expand_capability(*reset, {});
  if (!reset_text) return colors;
  colors.reset = *reset_text;

  const std::string* setaf = info.string(terminfo_cap::SET_A_FOREGROUND);
  const std::string* setab = info.string(terminfo_cap::SET_A_BACKGROUND);
  const auto count = info.number(terminfo_cap::MAX_COLORS);
  if (setaf == nullptr || setab == nullptr || !count) return colors;
  const auto set = [&](std::optional<std::string>& slot, Color color) {
    const int n = static_cast<int>(color);
    if (*count <= n) return;
    const int params[] = {n};
    slot = expand_capability(*setaf, params);
  };
  set(colors.red, Color::Red);
  set(colors.green, Color::Green);
  set(colors.yellow, Color::Yellow);
  return colors;
}

}  // namespace runner
