#pragma once

// Internal to the codec: exact conversion of a decimal w * 10^q to the
// nearest double without division, for w below 2^64 and |q| up to 27.
//
// 10^q = 5^q * 2^q, and 5^q is kept as a 128-bit significand: exact for
// q >= 0, the truncated reciprocal for q < 0. The 192-bit product with the
// normalised w holds the 53 bits of the result, the rounding bit and,
// below them, at least 64 bits that the truncation cannot reach; only when
// those bits leave the rounding in doubt (a possible carry, or an exact
// tie) does the caller fall back to a full conversion.

#include <cstdint>
#include <cstring>

namespace lorvane::json_detail {

struct PowerOfFive {
  std::uint64_t high;
  std::uint64_t low;
  int exponent;  // 5^q = (high:low) * 2^exponent, approximately for q < 0
};

inline constexpr int kSmallestDecimalExponent = -27;
inline constexpr int kLargestDecimalExponent = 27;

constexpr int bitLength(std::uint64_t value) {
  int length = 0;
  while (value) {
    ++length;
    value >>= 1;
  }
  return length;
}

constexpr PowerOfFive powerOfFive(int q) {
  std::uint64_t five = 1;
  for (int i = 0; i < (q < 0 ? -q : q); ++i) five *= 5;
  const int length = bitLength(five);
  unsigned __int128 significand = 0;
  int exponent = 0;
  if (q >= 0) {
    significand = static_cast<unsigned __int128>(five) << (128 - length);
    exponent = length - 128;
  } else {
    // floor(2^(127 + length) / 5^-q), by long division one bit at a time;
    // it lies strictly between 2^127 and 2^128.
    unsigned __int128 remainder = 1;
    for (int bit = 0; bit < 127 + length; ++bit) {
      remainder <<= 1;
      significand <<= 1;
      if (remainder >= five) {
        remainder -= five;
        significand |= 1;
      }
    }
    exponent = -(127 + length);
  }
  return {static_cast<std::uint64_t>(significand >> 64), static_cast<std::uint64_t>(significand),
          exponent};
}

struct PowersOfFive {
  PowerOfFive entries[kLargestDecimalExponent - kSmallestDecimalExponent + 1];
};

constexpr PowersOfFive makePowersOfFive() {
  PowersOfFive table{};
  for (int q = kSmallestDecimalExponent; q <= kLargestDecimalExponent; ++q) {
    table.entries[q - kSmallestDecimalExponent] = powerOfFive(q);
  }
  return table;
}

inline constexpr PowersOfFive kPowersOfFive = makePowersOfFive();

// The double nearest to w * 10^q (w > 0, q within the table) in `result`;
// false when the rounding cannot be decided this way.
inline bool decimalToDouble(std::uint64_t w, int q, double& result) noexcept {
  const PowerOfFive& power = kPowersOfFive.entries[q - kSmallestDecimalExponent];
  const int leadingZeros = __builtin_clzll(w);
  const std::uint64_t normalized = w << leadingZeros;
  const unsigned __int128 upperProduct = static_cast<unsigned __int128>(normalized) * power.high;
  std::uint64_t top = static_cast<std::uint64_t>(upperProduct >> 64);
  // Keep 54 bits: the 53 of the result and the rounding bit.
  const int shift = (top >> 63) ? 10 : 9;
  const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
  std::uint64_t significand;
  bool roundUp;
  if ((top & mask) != 0 && (top & mask) != mask) {
    // The rest of the product (the low half of the power, and for q < 0
    // the truncation) adds less than one unit to the bits below `top`, so
    // it can neither carry into the kept bits nor make the rest zero:
    // below the rounding bit something is set.
    significand = top >> shift;
    roundUp = significand & 1;
  } else {
    const unsigned __int128 lowerProduct = static_cast<unsigned __int128>(normalized) * power.low;
    std::uint64_t middle = static_cast<std::uint64_t>(upperProduct);
    const std::uint64_t bottom = static_cast<std::uint64_t>(lowerProduct);
    const std::uint64_t carryIn = static_cast<std::uint64_t>(lowerProduct >> 64);
    middle += carryIn;
    if (middle < carryIn) ++top;
    if (((top >> 63) ? 10 : 9) != shift) return false;  // the carry reached the top bit
    significand = top >> shift;
    const std::uint64_t restOfTop = top & mask;
    const bool roundBit = significand & 1;
    const bool exact = q >= 0;
    if (!exact) {
      // The truncated power leaves the product short by less than 2^64, so
      // only `bottom` is uncertain: a run of ones above it could take a
      // carry, and all zeros with the rounding bit set could be a tie.
      const bool allOnes = restOfTop == mask && middle == ~std::uint64_t{0};
      const bool allZeros = restOfTop == 0 && middle == 0;
      if (allOnes || (allZeros && roundBit)) return false;
    }
    const bool sticky = restOfTop != 0 || middle != 0 || bottom != 0 || !exact;
    roundUp = roundBit && (sticky || ((significand >> 1) & 1));
  }
  significand = (significand >> 1) + (roundUp ? 1 : 0);
  // value = significand * 2^binaryExponent with 2^52 <= significand < 2^53.
  int binaryExponent = power.exponent + q - leadingZeros + 128 + shift + 1;
  if (significand == (std::uint64_t{1} << 53)) {
    significand >>= 1;
    ++binaryExponent;
  }
  const int biased = binaryExponent + 52 + 1023;
  if (biased <= 0 || biased >= 2047) return false;
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(biased) << 52) | (significand & ((std::uint64_t{1} << 52) - 1));
  std::memcpy(&result, &bits, sizeof result);
  return true;
}

}  // namespace lorvane::json_detail
