// A value-or-error result, the return type of every fallible operation of the
// archive library. No exception crosses the library boundary.
//
// Test a result (has_value(), or in a condition) before taking its value or
// its error: taking the one it does not hold is a programming error, caught
// by an assertion in debug builds and undefined behaviour otherwise.
#pragma once

#include <cassert>
#include <type_traits>
#include <utility>
#include <variant>

#include "quorvane_dat/export.hpp"

namespace quorvane_dat {

/// Wraps an error so that Result's constructors can tell it apart from a value.
template <class E>
struct Err {
  E error;
};
template <class E>
Err(E) -> Err<E>;

template <class T, class E>
class [[nodiscard]] Result {
 public:
  Result(T value) : repr_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
  Result(Err<F> err) : repr_(std::in_place_index<1>, E(std::move(err.error))) {}  // NOLINT

  [[nodiscard]] bool has_value() const noexcept { return repr_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  T& value() & { return *held_value(); }
  const T& value() const& { return *held_value(); }
  T&& value() && { return std::move(*held_value()); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return *held_error(); }
  const E& error() const& { return *held_error(); }
  E&& error() && { return std::move(*held_error()); }

 private:
  T* held_value() noexcept {
    assert(has_value() && "value() of a Result that holds an error");
    return std::get_if<0>(&repr_);
  }
  const T* held_value() const noexcept {
    assert(has_value() && "value() of a Result that holds an error");
    return std::get_if<0>(&repr_);
  }
  E* held_error() noexcept {
    assert(!has_value() && "error() of a Result that holds a value");
    return std::get_if<1>(&repr_);
  }
  const E* held_error() const noexcept {
    assert(!has_value() && "error() of a Result that holds a value");
    return std::get_if<1>(&repr_);
  }

  std::variant<T, E> repr_;
};

/// Success without a value.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
  Result(Err<F> err) : repr_(std::in_place_index<1>, E(std::move(err.error))) {}  // NOLINT

  [[nodiscard]] bool has_value() const noexcept { return repr_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  E& error() & { return *held_error(); }
  const E& error() const& { return *held_error(); }
  E&& error() && { return std::move(*held_error()); }

 private:
  E* held_error() noexcept {
    assert(!has_value() && "error() of a Result that holds no error");
    return std::get_if<1>(&repr_);
  }
  const E* held_error() const noexcept {
    assert(!has_value() && "error() of a Result that holds no error");
    return std::get_if<1>(&repr_);
  }

  std::variant<std::monostate, E> repr_;
};

}  // namespace quorvane_dat
