#pragma once

// Internal to the codec: the string hash of the decoder's value cache,
// hash = hash * 33 + byte over the decoded bytes, starting at kHashSeed.
//
// Hashing a byte at a time is a serial chain of multiplies, too slow for a
// decoder that hashes every string. Sixteen steps of the recurrence fold
// into h * 33^16 + sum(b[i] * 33^(15-i)), and the sum is two SSE2
// multiply-adds per half (the 32-bit powers are split into 16-bit halves),
// so a block costs a handful of instructions and gives the same value.

#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#define LORVANE_JSON_SSE2 1
#endif

namespace lorvane::json_detail {

inline constexpr std::uint32_t kHashSeed = 1402737925u;

constexpr std::uint32_t power33(unsigned exponent) {
  std::uint32_t value = 1;
  for (unsigned i = 0; i < exponent; ++i) value *= 33u;
  return value;
}

struct HashTables {
  std::uint32_t powers[17];
  // Window coefficients: lane i of a block of n bytes starts at index
  // 31 - n, where the entries count down from 33^30 and end in zeros, so the
  // lanes past n contribute nothing. Split for the signed 16-bit multiply:
  // low half as int16, high half plus the borrow of the low half.
  alignas(16) std::int16_t low[48];
  alignas(16) std::int16_t high[48];
};

constexpr HashTables makeHashTables() {
  HashTables tables{};
  for (unsigned n = 0; n <= 16; ++n) tables.powers[n] = power33(n);
  for (unsigned j = 0; j < 48; ++j) {
    std::uint32_t coefficient = j <= 30 ? power33(30 - j) : 0;
    std::uint32_t low = coefficient & 0xFFFFu;
    std::uint32_t high = coefficient >> 16;
    if (low >= 0x8000u) high += 1;
    tables.low[j] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low));
    tables.high[j] = static_cast<std::int16_t>(static_cast<std::uint16_t>(high & 0xFFFFu));
  }
  return tables;
}

inline constexpr HashTables kHashTables = makeHashTables();

inline std::uint32_t hashBytesScalar(std::uint32_t hash, const unsigned char* bytes,
                                     std::size_t length) noexcept {
  for (std::size_t i = 0; i < length; ++i) hash = hash * 33u + bytes[i];
  return hash;
}

#if LORVANE_JSON_SSE2
// Sum of block[i] * 33^(n-1-i) over the first n (0..16) of the 16 bytes
// loaded; the bytes past n may be anything.
inline std::uint32_t hashWindow(__m128i block, unsigned n) noexcept {
  const __m128i zero = _mm_setzero_si128();
  const std::int16_t* low = kHashTables.low + (31 - n);
  const std::int16_t* high = kHashTables.high + (31 - n);
  __m128i first = _mm_unpacklo_epi8(block, zero);
  __m128i second = _mm_unpackhi_epi8(block, zero);
  __m128i sumLow = _mm_add_epi32(
      _mm_madd_epi16(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(low))),
      _mm_madd_epi16(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + 8))));
  __m128i sumHigh = _mm_add_epi32(
      _mm_madd_epi16(first, _mm_loadu_si128(reinterpret_cast<const __m128i*>(high))),
      _mm_madd_epi16(second, _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + 8))));
  __m128i sum = _mm_add_epi32(sumLow, _mm_slli_epi32(sumHigh, 16));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum));
}

inline std::uint32_t hashStep(std::uint32_t hash, __m128i block, unsigned n) noexcept {
  return hash * kHashTables.powers[n] + hashWindow(block, n);
}
#endif

// hash continued over `length` bytes.
inline std::uint32_t hashBytes(std::uint32_t hash, const unsigned char* bytes,
                               std::size_t length) noexcept {
#if LORVANE_JSON_SSE2
  while (length >= 16) {
    hash = hashStep(hash, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), 16);
    bytes += 16;
    length -= 16;
  }
  if (length > 0) {
    unsigned char tail[16] = {};
    std::memcpy(tail, bytes, length);
    hash = hashStep(hash, _mm_loadu_si128(reinterpret_cast<const __m128i*>(tail)),
                    static_cast<unsigned>(length));
  }
  return hash;
#else
  return hashBytesScalar(hash, bytes, length);
#endif
}

inline std::uint32_t stringHash(const char* bytes, std::size_t length) noexcept {
  return hashBytes(kHashSeed, reinterpret_cast<const unsigned char*>(bytes), length);
}

// Hash of a number's 8 value bytes as they lie in memory (little-endian),
// after the kind and, for integers, the low 32 bits were added to the seed.
inline std::uint32_t numberHash(std::uint32_t start, std::uint64_t bits) noexcept {
  // Constants spelled out: left to the optimiser, power33 was sometimes
  // evaluated loop by loop at run time.
  constexpr std::uint32_t p0 = power33(0), p1 = power33(1), p2 = power33(2), p3 = power33(3),
                          p4 = power33(4), p5 = power33(5), p6 = power33(6), p7 = power33(7),
                          p8 = power33(8);
  const auto byte = [bits](unsigned i) { return static_cast<std::uint32_t>(bits >> (8 * i)) & 0xFFu; };
  return start * p8 + byte(0) * p7 + byte(1) * p6 + byte(2) * p5 + byte(3) * p4 + byte(4) * p3 +
         byte(5) * p2 + byte(6) * p1 + byte(7) * p0;
}

}  // namespace lorvane::json_detail
