// A value-or-error result, the return type of every fallible operation of the
// archive library. No exception crosses the library boundary.
#pragma once

#include <type_traits>
#include <utility>
#include <variant>

namespace quorvane_dat {

// Wraps an error so that Result's constructors can tell it apart from a value.
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

  T& value() & { return std::get<0>(repr_); }
  const T& value() const& { return std::get<0>(repr_); }
  T&& value() && { return std::get<0>(std::move(repr_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  E& error() & { return std::get<1>(repr_); }
  const E& error() const& { return std::get<1>(repr_); }
  E&& error() && { return std::get<1>(std::move(repr_)); }

 private:
  std::variant<T, E> repr_;
};

// Success without a value.
template <class E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  template <class F, class = std::enable_if_t<std::is_constructible_v<E, F&&>>>
  Result(Err<F> err) : repr_(std::in_place_index<1>, E(std::move(err.error))) {}  // NOLINT

  [[nodiscard]] bool has_value() const noexcept { return repr_.index() == 0; }
  explicit operator bool() const noexcept { return has_value(); }

  E& error() & { return std::get<1>(repr_); }
  const E& error() const& { return std::get<1>(repr_); }
  E&& error() && { return std::get<1>(std::move(repr_)); }

 private:
  std::variant<std::monostate, E> repr_;
};

}  // namespace quorvane_dat
