#include "runner/terminfo_parse.hpp"

#include <array>

#include "quorvane_base/little_endian.hpp"

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

TerminalColors colors_from_terminfo(const TermInfo& info) {
  TerminalColors colors;
  const std::string* reset = nullptr;
  for (std::size_t cap :
       {terminfo_cap::EXIT_ATTRIBUTE_MODE, terminfo_cap::SET_ATTRIBUTES, terminfo_cap::ORIG_PAIR}) {
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
