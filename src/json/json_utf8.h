#pragma once

// Internal to the codec: the UTF-8 sequence check shared by the decoder
// (strings) and the encoder (\u escaping), and UTF-8 output of a code point.

#include <cstddef>
#include <cstdint>

namespace lorvane::json_detail {

inline constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

enum class UTF8Status { Valid, Truncated, Invalid };

struct UTF8Sequence {
  UTF8Status status;
  std::uint32_t codePoint;    // U+FFFD unless valid
  const unsigned char* next;  // where decoding goes on
};

// Code points the codec refuses even when well-formed: surrogates, the
// noncharacters U+FDD0..U+FDEF and those ending in FFFE or FFFF, and
// anything past U+10FFFF.
inline bool isForbiddenCodePoint(std::uint32_t c) noexcept {
  return (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xFDD0 && c <= 0xFDEF) || (c & 0xFFFEu) == 0xFFFEu ||
         c >= 0x110000;
}

inline bool isContinuation(unsigned char byte) noexcept {
  return (byte & 0xC0) == 0x80;
}

// Checks the sequence starting at `s` (whose first byte is 0x80 or more).
inline UTF8Sequence checkUTF8(const unsigned char* s, const unsigned char* end) noexcept {
  const unsigned char lead = s[0];
  unsigned leadingOnes = 0;
  while (leadingOnes < 8 && (lead & (0x80u >> leadingOnes))) ++leadingOnes;
  const unsigned announced = leadingOnes == 0 ? 0 : leadingOnes - 1;

  bool wellFormed = !(lead >= 0x80 && lead <= 0xC1) && lead < 0xF5 && announced <= 3;
  // Continuation bytes actually present, at most as many as announced.
  unsigned present = 0;
  while (present < announced && s + 1 + present < end && isContinuation(s[1 + present])) {
    ++present;
  }
  if (present < announced) {
    // Stopped early: at the end of the input, or at a byte that cannot
    // continue the sequence.
    if (s + 1 + present >= end && wellFormed) {
      return {UTF8Status::Truncated, kReplacementCharacter, end};
    }
    return {UTF8Status::Invalid, kReplacementCharacter, s + 1 + present};
  }
  const unsigned char* next = s + 1 + announced;
  if (!wellFormed) return {UTF8Status::Invalid, kReplacementCharacter, next};
  const unsigned char second = s[1];
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90)) {
    return {UTF8Status::Invalid, kReplacementCharacter, next};
  }
  std::uint32_t codePoint = lead & (0x7Fu >> leadingOnes);
  for (unsigned i = 1; i <= announced; ++i) codePoint = (codePoint << 6) | (s[i] & 0x3Fu);
  if (isForbiddenCodePoint(codePoint)) return {UTF8Status::Invalid, kReplacementCharacter, next};
  return {UTF8Status::Valid, codePoint, next};
}

// The end of the sequence at `s` when it is a valid one (the same answer as
// checkUTF8, quicker, for the common well-formed text), else nullptr.
inline const unsigned char* quickUTF8(const unsigned char* s, const unsigned char* end) noexcept {
  const unsigned c0 = s[0];
  if (c0 < 0xC2) return nullptr;
  if (c0 < 0xE0) return end - s >= 2 && isContinuation(s[1]) ? s + 2 : nullptr;
  if (c0 < 0xF0) {
    if (end - s < 3 || !isContinuation(s[1]) || !isContinuation(s[2])) return nullptr;
    const unsigned c1 = s[1];
    if ((c0 == 0xE0 && c1 < 0xA0) || (c0 == 0xED && c1 >= 0xA0)) return nullptr;
    // U+FDD0..U+FDEF and U+FFFE, U+FFFF.
    if (c0 == 0xEF &&
        ((c1 == 0xB7 && s[2] >= 0x90 && s[2] <= 0xAF) || (c1 == 0xBF && s[2] >= 0xBE))) {
      return nullptr;
    }
    return s + 3;
  }
  if (c0 < 0xF5) {
    if (end - s < 4 || !isContinuation(s[1]) || !isContinuation(s[2]) || !isContinuation(s[3])) {
      return nullptr;
    }
    const unsigned c1 = s[1];
    if ((c0 == 0xF0 && c1 < 0x90) || (c0 == 0xF4 && c1 >= 0x90)) return nullptr;
    // Code points ending in FFFE or FFFF.
    if ((c1 & 0x0F) == 0x0F && s[2] == 0xBF && s[3] >= 0xBE) return nullptr;
    return s + 4;
  }
  return nullptr;
}

// Writes the code point (below U+110000) as 1 to 4 bytes; returns the count.
inline unsigned encodeUTF8(std::uint32_t c, unsigned char* out) noexcept {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

// Well-formed UTF-8 in the sense of RFC 3629 (noncharacters allowed): what
// a string value may hold.
inline bool isWellFormedUTF8(const unsigned char* s, const unsigned char* end) noexcept {
  while (s < end) {
    unsigned char lead = *s;
    if (lead < 0x80) {
      ++s;
      continue;
    }
    unsigned length;
    std::uint32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - s) < length) return false;
    std::uint32_t c = lead & (0x7Fu >> length);
    for (unsigned i = 1; i < length; ++i) {
      if (!isContinuation(s[i])) return false;
      c = (c << 6) | (s[i] & 0x3Fu);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    s += length;
  }
  return true;
}

}  // namespace lorvane::json_detail
