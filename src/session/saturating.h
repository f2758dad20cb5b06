// Sums that stop at the type's limits instead of overflowing: timestamps with
// huge years can make single spans enormous.
#pragma once

#include <limits>

template <typename T>
T add_saturating(T a, T b) {
  T sum;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? std::numeric_limits<T>::max() : std::numeric_limits<T>::min();
}
