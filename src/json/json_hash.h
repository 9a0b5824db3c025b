#pragma once

// Internal to the codec: the string hash of the decoder's value cache,
// hash = hash * 33 + byte over the decoded bytes, starting at kHashSeed.
//
// Hashing a byte at a time is a serial chain of multiplies, too slow for a
// decoder that hashes every string. Sixteen steps of the recurrence fold
// into h * 33^16 + sum(b[i] * 33^(15-i)), and the sum is two SSE2
// multiply-adds per half (the 32-bit powers are split into 16-bit halves),
// so a block costs a handful of instructions and gives the same value.
// A shorter block is masked, hashed as a full one and multiplied back by
// a power of the inverse of 33 (odd, so invertible modulo 2^32).

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

// The multiplicative inverse of an odd number modulo 2^32, by Newton's
// iteration (each step doubles the correct low bits).
constexpr std::uint32_t inverse(std::uint32_t odd) {
  std::uint32_t x = odd;
  for (int i = 0; i < 5; ++i) x *= 2u - odd * x;
  return x;
}

struct HashTables {
  std::uint32_t powers[17];
  // 33^-k: a block of n bytes hashed with the coefficients of a full block
  // comes out multiplied by 33^(16-n), which this undoes.
  std::uint32_t inversePowers[17];
  // Coefficients 33^(15-i) of a full block, split for the signed 16-bit
  // multiply: low half as int16, high half plus the borrow of the low half.
  alignas(16) std::int16_t low[16];
  alignas(16) std::int16_t high[16];
  // Masks that keep the first n bytes of a block.
  alignas(16) std::uint8_t prefix[17][16];
};

constexpr HashTables makeHashTables() {
  HashTables tables{};
  const std::uint32_t inverse33 = inverse(33u);
  std::uint32_t inversePower = 1;
  for (unsigned n = 0; n <= 16; ++n) {
    tables.powers[n] = power33(n);
    tables.inversePowers[n] = inversePower;
    inversePower *= inverse33;
    for (unsigned i = 0; i < 16; ++i) tables.prefix[n][i] = i < n ? 0xFF : 0x00;
  }
  for (unsigned i = 0; i < 16; ++i) {
    const std::uint32_t coefficient = power33(15 - i);
    const std::uint32_t low = coefficient & 0xFFFFu;
    std::uint32_t high = coefficient >> 16;
    if (low >= 0x8000u) high += 1;
    tables.low[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(low));
    tables.high[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(high & 0xFFFFu));
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
// sum(block[i] * 33^(15-i)) over the 16 bytes.
inline std::uint32_t hashFullBlock(__m128i block) noexcept {
  const __m128i zero = _mm_setzero_si128();
  const __m128i* low = reinterpret_cast<const __m128i*>(kHashTables.low);
  const __m128i* high = reinterpret_cast<const __m128i*>(kHashTables.high);
  const __m128i first = _mm_unpacklo_epi8(block, zero);
  const __m128i second = _mm_unpackhi_epi8(block, zero);
  const __m128i sumLow = _mm_add_epi32(_mm_madd_epi16(first, _mm_load_si128(low)),
                                       _mm_madd_epi16(second, _mm_load_si128(low + 1)));
  const __m128i sumHigh = _mm_add_epi32(_mm_madd_epi16(first, _mm_load_si128(high)),
                                        _mm_madd_epi16(second, _mm_load_si128(high + 1)));
  __m128i sum = _mm_add_epi32(sumLow, _mm_slli_epi32(sumHigh, 16));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum));
}

// The hash continued over the first n (0..16) of the 16 bytes loaded; the
// bytes past n may be anything.
inline std::uint32_t hashStep(std::uint32_t hash, __m128i block, unsigned n) noexcept {
  if (n == 16) return hash * kHashTables.powers[16] + hashFullBlock(block);
  const __m128i kept =
      _mm_and_si128(block, _mm_load_si128(reinterpret_cast<const __m128i*>(kHashTables.prefix[n])));
  return (hash * kHashTables.powers[16] + hashFullBlock(kept)) * kHashTables.inversePowers[16 - n];
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
// after the kind and, for integers, the low 32 bits were added to the seed,
// one step at a time; numberHash below gives the same value.
inline std::uint32_t numberHashScalar(std::uint32_t start, std::uint64_t bits) noexcept {
  // Constants spelled out: left to the optimiser, power33 was sometimes
  // evaluated loop by loop at run time.
  constexpr std::uint32_t p0 = power33(0), p1 = power33(1), p2 = power33(2), p3 = power33(3),
                          p4 = power33(4), p5 = power33(5), p6 = power33(6), p7 = power33(7),
                          p8 = power33(8);
  const auto byte = [bits](unsigned i) {
    return static_cast<std::uint32_t>(bits >> (8 * i)) & 0xFFu;
  };
  return start * p8 + byte(0) * p7 + byte(1) * p6 + byte(2) * p5 + byte(3) * p4 + byte(4) * p3 +
         byte(5) * p2 + byte(6) * p1 + byte(7) * p0;
}

// The same as numberHashScalar. The eight steps are the second half of a
// 16-byte block (coefficients 33^7 .. 33^0), so the bytes go straight from
// the register the number was converted in to one pair of multiply-adds,
// instead of being picked out one by one.
inline std::uint32_t numberHash(std::uint32_t start, std::uint64_t bits) noexcept {
#if LORVANE_JSON_SSE2
  const __m128i bytes =
      _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(bits)), _mm_setzero_si128());
  const __m128i* low = reinterpret_cast<const __m128i*>(kHashTables.low);
  const __m128i* high = reinterpret_cast<const __m128i*>(kHashTables.high);
  __m128i sum = _mm_add_epi32(_mm_madd_epi16(bytes, _mm_load_si128(low + 1)),
                              _mm_slli_epi32(_mm_madd_epi16(bytes, _mm_load_si128(high + 1)), 16));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(1, 0, 3, 2)));
  sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, _MM_SHUFFLE(2, 3, 0, 1)));
  constexpr std::uint32_t kEightSteps = power33(8);
  return start * kEightSteps + static_cast<std::uint32_t>(_mm_cvtsi128_si32(sum));
#else
  return numberHashScalar(start, bits);
#endif
}

}  // namespace lorvane::json_detail
