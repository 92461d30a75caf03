// The library's public operations run their bodies through at_boundary, which
// turns the standard library's allocation failures into a DatError: no
// exception leaves the library. Internal to the archive library.
#pragma once

#include <new>
#include <stdexcept>
#include <type_traits>

#include "quorvane_dat/error/dat_error.hpp"
#include "quorvane_dat/error/io_error.hpp"

namespace quorvane_dat::detail {

// The error of an allocation that failed (its text fits in place, so making
// it allocates nothing).
inline DatError out_of_memory() {
  return DatError(IoError::simple(IoErrorKind::OutOfMemory, "out of memory"));
}

// Calls `body`; when memory runs out inside it (an allocation fails, or a
// container is asked for more than it can hold), returns `on_exhaustion()`
// instead. The one place where the library catches those exceptions.
template <class Body, class OnExhaustion>
auto on_exhaustion(Body&& body, OnExhaustion&& fallback) noexcept -> std::invoke_result_t<Body&&> {
  try {
    return static_cast<Body&&>(body)();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return static_cast<OnExhaustion&&>(fallback)();
}

// Calls `body`, which returns a DatResult; an allocation failure inside it
// becomes that result's error.
template <class Body>
auto at_boundary(Body&& body) noexcept -> std::invoke_result_t<Body&&> {
  return on_exhaustion(static_cast<Body&&>(body),
                       []() -> std::invoke_result_t<Body&&> { return Err{out_of_memory()}; });
}

}  // namespace quorvane_dat::detail
