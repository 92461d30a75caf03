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

namespace detail {

/// What both kinds of Result share: the held value (or nothing) or error, and
/// access to the error.
template <class V, class E>
class ResultBase {
 public:
  [[nodiscard]] bool has_value() const noexcept { return repr_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  E& error() & { return *held_error(); }
  const E& error() const& { return *held_error(); }
  E&& error() && { return std::move(*held_error()); }

 protected:
  ResultBase() = default;
  template <class... A>
  explicit ResultBase(std::in_place_index_t<0> at, A&&... value)
      : repr_(at, std::forward<A>(value)...) {}
  template <class F>
  explicit ResultBase(Err<F> err) : repr_(std::in_place_index<1>, E(std::move(err.error))) {}

  V* held_value() noexcept {
    assert(has_value() && "value() of a Result that holds an error");
    return std::get_if<0>(&repr_);
  }
  const V* held_value() const noexcept {
    assert(has_value() && "value() of a Result that holds an error");
    return std::get_if<0>(&repr_);
  }

 private:
  E* held_error() noexcept {
    assert(!has_value() && "error() of a Result that holds no error");
    return std::get_if<1>(&repr_);
  }
  const E* held_error() const noexcept {
    assert(!has_value() && "error() of a Result that holds no error");
    return std::get_if<1>(&repr_);
  }

  std::variant<V, E> repr_;
};

}  // namespace detail

template <class T, class E>
class [[nodiscard]] Result : public detail::ResultBase<T, E> {
  using Base = detail::ResultBase<T, E>;

 public:
  Result(T value) : Base(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
  Result(Err<F> err) : Base(std::move(err)) {}  // NOLINT

  T& value() & { return *this->held_value(); }
  const T& value() const& { return *this->held_value(); }
  T&& value() && { return std::move(*this->held_value()); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
};

/// Success without a value.
template <class E>
class [[nodiscard]] Result<void, E> : public detail::ResultBase<std::monostate, E> {
  using Base = detail::ResultBase<std::monostate, E>;

 public:
  Result() = default;
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
  Result(Err<F> err) : Base(std::move(err)) {}  // NOLINT
};

}  // namespace quorvane_dat
