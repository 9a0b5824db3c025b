#pragma once

// Internal to the codec: number texts of the encoder.

#include <cstdint>

namespace lorvane::json_detail {

// Decimal text of an integer; `out` needs 20 bytes (21 with the sign).
char* formatUnsigned(std::uint64_t value, char* out) noexcept;
char* formatSigned(std::int64_t value, char* out) noexcept;

// A finite double exactly as printf("%.17g") writes it; `out` needs 32
// bytes. Seventeen significant digits always read back as the same double.
char* formatDouble(double value, char* out) noexcept;

}  // namespace lorvane::json_detail
