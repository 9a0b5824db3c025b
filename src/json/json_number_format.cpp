#include "json/json_number_format.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace lorvane::json_detail {

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

unsigned digitCount(std::uint64_t value) noexcept {
  unsigned count = 1;
  while (value >= 10000) {
    value /= 10000;
    count += 4;
  }
  if (value >= 1000) return count + 3;
  if (value >= 100) return count + 2;
  if (value >= 10) return count + 1;
  return count;
}

// Writes exactly `count` digits of value, lowest last.
void writeDigits(std::uint64_t value, char* out, unsigned count) noexcept {
  char* p = out + count;
  while (value >= 100) {
    const unsigned pair = static_cast<unsigned>(value % 100) * 2;
    value /= 100;
    p -= 2;
    p[0] = kDigitPairs[pair];
    p[1] = kDigitPairs[pair + 1];
  }
  if (value >= 10) {
    const unsigned pair = static_cast<unsigned>(value) * 2;
    p -= 2;
    p[0] = kDigitPairs[pair];
    p[1] = kDigitPairs[pair + 1];
  } else if (p > out) {
    *--p = static_cast<char>('0' + value);
  }
  // Leading zeros when value had fewer digits than asked for.
  while (p > out) *--p = '0';
}

char* fallbackFormat(double magnitude, char* out) noexcept {
  // The standard conversion with a precision is printf's %.17g, exactly.
  return std::to_chars(out, out + 31, magnitude, std::chars_format::general, 17).ptr;
}

#if LDBL_MANT_DIG == 64
// Powers of ten as extended doubles, correctly rounded by the compiler;
// exact up to 10^27.
constexpr long double kPowersOfTen[] = {
    1e0L,   1e1L,   1e2L,   1e3L,   1e4L,   1e5L,   1e6L,   1e7L,   1e8L,   1e9L,   1e10L,  1e11L,
    1e12L,  1e13L,  1e14L,  1e15L,  1e16L,  1e17L,  1e18L,  1e19L,  1e20L,  1e21L,  1e22L,  1e23L,
    1e24L,  1e25L,  1e26L,  1e27L,  1e28L,  1e29L,  1e30L,  1e31L,  1e32L,  1e33L,  1e34L,  1e35L,
    1e36L,  1e37L,  1e38L,  1e39L,  1e40L,  1e41L,  1e42L,  1e43L,  1e44L,  1e45L,  1e46L,  1e47L,
    1e48L,  1e49L,  1e50L,  1e51L,  1e52L,  1e53L,  1e54L,  1e55L,  1e56L,  1e57L,  1e58L,  1e59L,
    1e60L,  1e61L,  1e62L,  1e63L,  1e64L,  1e65L,  1e66L,  1e67L,  1e68L,  1e69L,  1e70L,  1e71L,
    1e72L,  1e73L,  1e74L,  1e75L,  1e76L,  1e77L,  1e78L,  1e79L,  1e80L,  1e81L,  1e82L,  1e83L,
    1e84L,  1e85L,  1e86L,  1e87L,  1e88L,  1e89L,  1e90L,  1e91L,  1e92L,  1e93L,  1e94L,  1e95L,
    1e96L,  1e97L,  1e98L,  1e99L,  1e100L, 1e101L, 1e102L, 1e103L, 1e104L, 1e105L, 1e106L, 1e107L,
    1e108L, 1e109L, 1e110L, 1e111L, 1e112L, 1e113L, 1e114L, 1e115L, 1e116L, 1e117L, 1e118L, 1e119L,
    1e120L, 1e121L, 1e122L, 1e123L, 1e124L, 1e125L, 1e126L, 1e127L, 1e128L, 1e129L, 1e130L, 1e131L,
    1e132L, 1e133L, 1e134L, 1e135L, 1e136L, 1e137L, 1e138L, 1e139L, 1e140L, 1e141L, 1e142L, 1e143L,
    1e144L, 1e145L, 1e146L, 1e147L, 1e148L, 1e149L, 1e150L, 1e151L, 1e152L, 1e153L, 1e154L, 1e155L,
    1e156L, 1e157L, 1e158L, 1e159L, 1e160L, 1e161L, 1e162L, 1e163L, 1e164L, 1e165L, 1e166L, 1e167L,
    1e168L, 1e169L, 1e170L, 1e171L, 1e172L, 1e173L, 1e174L, 1e175L, 1e176L, 1e177L, 1e178L, 1e179L,
    1e180L, 1e181L, 1e182L, 1e183L, 1e184L, 1e185L, 1e186L, 1e187L, 1e188L, 1e189L, 1e190L, 1e191L,
    1e192L, 1e193L, 1e194L, 1e195L, 1e196L, 1e197L, 1e198L, 1e199L, 1e200L, 1e201L, 1e202L, 1e203L,
    1e204L, 1e205L, 1e206L, 1e207L, 1e208L, 1e209L, 1e210L, 1e211L, 1e212L, 1e213L, 1e214L, 1e215L,
    1e216L, 1e217L, 1e218L, 1e219L, 1e220L, 1e221L, 1e222L, 1e223L, 1e224L, 1e225L, 1e226L, 1e227L,
    1e228L, 1e229L, 1e230L, 1e231L, 1e232L, 1e233L, 1e234L, 1e235L, 1e236L, 1e237L, 1e238L, 1e239L,
    1e240L, 1e241L, 1e242L, 1e243L, 1e244L, 1e245L, 1e246L, 1e247L, 1e248L, 1e249L, 1e250L, 1e251L,
    1e252L, 1e253L, 1e254L, 1e255L, 1e256L, 1e257L, 1e258L, 1e259L, 1e260L, 1e261L, 1e262L, 1e263L,
    1e264L, 1e265L, 1e266L, 1e267L, 1e268L, 1e269L, 1e270L, 1e271L, 1e272L, 1e273L, 1e274L, 1e275L,
    1e276L, 1e277L, 1e278L, 1e279L, 1e280L, 1e281L, 1e282L, 1e283L, 1e284L, 1e285L, 1e286L, 1e287L,
    1e288L, 1e289L, 1e290L, 1e291L, 1e292L, 1e293L, 1e294L, 1e295L, 1e296L, 1e297L, 1e298L, 1e299L,
    1e300L, 1e301L, 1e302L, 1e303L, 1e304L, 1e305L, 1e306L, 1e307L, 1e308L, 1e309L, 1e310L, 1e311L,
    1e312L, 1e313L, 1e314L, 1e315L, 1e316L, 1e317L, 1e318L, 1e319L, 1e320L, 1e321L, 1e322L, 1e323L,
    1e324L, 1e325L, 1e326L, 1e327L, 1e328L, 1e329L, 1e330L, 1e331L, 1e332L, 1e333L, 1e334L, 1e335L,
    1e336L, 1e337L, 1e338L, 1e339L, 1e340L,
};

long double scaled(double magnitude, int power) noexcept {
  return power >= 0 ? static_cast<long double>(magnitude) * kPowersOfTen[power]
                    : static_cast<long double>(magnitude) / kPowersOfTen[-power];
}
#endif

// %g layout of 17 digits with decimal exponent `exponent` (of the first
// digit): fixed notation for exponents -4 to 16, else scientific, and
// trailing zeros dropped.
char* layOut(const char* digits, int exponent, char* out) noexcept {
  int last = 16;
  while (last > 0 && digits[last] == '0') --last;
  if (exponent >= -4 && exponent < 17) {
    if (exponent >= 0) {
      const int integerDigits = exponent + 1;
      std::memcpy(out, digits, static_cast<std::size_t>(integerDigits));
      out += integerDigits;
      if (last >= integerDigits) {
        *out++ = '.';
        std::memcpy(out, digits + integerDigits,
                    static_cast<std::size_t>(last + 1 - integerDigits));
        out += last + 1 - integerDigits;
      }
    } else {
      *out++ = '0';
      *out++ = '.';
      for (int i = -1; i > exponent; --i) *out++ = '0';
      std::memcpy(out, digits, static_cast<std::size_t>(last + 1));
      out += last + 1;
    }
    return out;
  }
  *out++ = digits[0];
  if (last >= 1) {
    *out++ = '.';
    std::memcpy(out, digits + 1, static_cast<std::size_t>(last));
    out += last;
  }
  *out++ = 'e';
  *out++ = exponent < 0 ? '-' : '+';
  const unsigned magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  const unsigned count = magnitude < 10 ? 2 : digitCount(magnitude);
  writeDigits(magnitude, out, count);
  return out + count;
}

}  // namespace

char* formatUnsigned(std::uint64_t value, char* out) noexcept {
  if (value < 10) {
    *out = static_cast<char>('0' + value);
    return out + 1;
  }
  const unsigned count = digitCount(value);
  writeDigits(value, out, count);
  return out + count;
}

char* formatSigned(std::int64_t value, char* out) noexcept {
  if (value < 0) {
    *out++ = '-';
    // The magnitude as unsigned, which also covers the smallest value.
    return formatUnsigned(~static_cast<std::uint64_t>(value) + 1, out);
  }
  return formatUnsigned(static_cast<std::uint64_t>(value), out);
}

char* formatDouble(double value, char* out) noexcept {
  if (std::signbit(value)) *out++ = '-';
  const double magnitude = std::fabs(value);
  if (magnitude == 0.0) {
    *out = '0';
    return out + 1;
  }
#if LDBL_MANT_DIG == 64
  // Scale into [1e16, 1e17) in extended precision: the 11 spare bits bound
  // the error well below 1/32, so rounding to an integer gives the
  // correctly rounded 17 digits unless the fraction is close to one half
  // (ties included), which the exact conversion below handles.
  std::uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biasedExponent = static_cast<int>(bits >> 52);
  if (biasedExponent != 0) {
    // floor(e * log10(2)), at most one below the decimal exponent.
    int exponent = ((biasedExponent - 1023) * 78913) >> 18;
    long double y = scaled(magnitude, 16 - exponent);
    if (y >= 1e17L) {
      ++exponent;
      y = scaled(magnitude, 16 - exponent);
    }
    // Adding 2^63 leaves a unit of 1, so the sum is y rounded to an
    // integer, read straight from the significand; no slow x87 truncation.
    constexpr long double kShift = 9223372036854775808.0L;
    const long double shifted = y + kShift;
    const long double fraction = y - (shifted - kShift);
    constexpr long double kMargin = 0.5L - 1.0L / 32;
    if (fraction < kMargin && fraction > -kMargin) {
      std::uint64_t significand;
      std::memcpy(&significand, &shifted, sizeof significand);
      std::uint64_t digits = significand - (std::uint64_t{1} << 63);
      if (digits == 100000000000000000ull) {
        digits = 10000000000000000ull;
        ++exponent;
      }
      if (digits >= 10000000000000000ull && digits < 100000000000000000ull) {
        char text[17];
        writeDigits(digits, text, 17);
        return layOut(text, exponent, out);
      }
    }
  }
#endif
  return fallbackFormat(magnitude, out);
}

}  // namespace lorvane::json_detail
