// Debug renderings of values shown in equality-assertion reports:
// integers in decimal, texts quoted with escapes, optionals as Some(..)/None,
// sets as {1, 2, 3}, enumerations through an ADL-found `debug_name(value)`.
#pragma once

#include <concepts>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <type_traits>

#include "quorvane_base/debug_quote.hpp"

namespace runner {

// Text between double quotes; quote and backslash escaped, \t \r \n, other
// control characters as \u{XX}, bytes that are not valid UTF-8 as \xNN.
using quorvane_base::debug_quote;

template <class T>
concept HasDebugName = requires(const T& v) {
  { debug_name(v) } -> std::convertible_to<std::string_view>;
};

template <class T>
std::string debug_repr(const T& value);

namespace detail {
template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};
template <class T>
struct IsSet : std::false_type {};
template <class T, class C, class A>
struct IsSet<std::set<T, C, A>> : std::true_type {};
}  // namespace detail

template <class T>
std::string debug_repr(const T& value) {
  if constexpr (std::is_same_v<T, bool>) {
    return value ? "true" : "false";
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(value);
  } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
    return debug_quote(std::string_view(value));
  } else if constexpr (detail::IsOptional<T>::value) {
    if (!value) return "None";
    return "Some(" + debug_repr(*value) + ")";
  } else if constexpr (detail::IsSet<T>::value) {
    std::string out = "{";
    bool first = true;
    for (const auto& item : value) {
      if (!first) out += ", ";
      first = false;
      out += debug_repr(item);
    }
    out += "}";
    return out;
  } else if constexpr (HasDebugName<T>) {
    return std::string(debug_name(value));
  } else {
    static_assert(sizeof(T) == 0, "no debug rendering for this type");
  }
}

}  // namespace runner
