// Sixteen bytes examined at once. GCC and Clang lower these vectors to the
// target's vector instructions (SSE2 on x86-64, NEON on ARM) or to plain words,
// so the scans stay portable and need no processor-specific code.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

using ByteBlock = unsigned char __attribute__((vector_size(16)));
constexpr size_t kByteBlockSize = sizeof(ByteBlock);

// The sixteen bytes at p, which need no alignment.
inline ByteBlock load_block(const char *p) {
  ByteBlock block;
  std::memcpy(&block, p, sizeof block);
  return block;
}

inline ByteBlock splat_block(char c) {
  ByteBlock block;
  std::memset(&block, c, sizeof block);
  return block;
}

// A comparison of blocks gives a mask: every byte all ones where it held.
template <typename Mask>
bool any_set(Mask mask) {
  static_assert(sizeof mask == kByteBlockSize);
  uint64_t halves[2];
  std::memcpy(halves, &mask, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

// Index of the first byte of a mask that is set, or 16 when none is.
template <typename Mask>
size_t first_set(Mask mask) {
  static_assert(sizeof mask == kByteBlockSize);
  uint64_t halves[2];
  std::memcpy(halves, &mask, sizeof halves);
  for (size_t half = 0; half < 2; ++half) {
    if (halves[half] == 0) continue;
    const int bits = std::endian::native == std::endian::little ? std::countr_zero(halves[half])
                                                                : std::countl_zero(halves[half]);
    return half * 8 + static_cast<size_t>(bits) / 8;
  }
  return kByteBlockSize;
}
