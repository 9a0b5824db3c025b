#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane {

// Text encodings by the platform's string-encoding numbers, so that values
// such as 5 (ISO Latin 1) and 4 (UTF-8) mean what callers expect.
using StringEncoding = std::uint32_t;

inline constexpr StringEncoding kASCIIStringEncoding = 1;
inline constexpr StringEncoding kJapaneseEUCStringEncoding = 3;
inline constexpr StringEncoding kUTF8StringEncoding = 4;
inline constexpr StringEncoding kISOLatin1StringEncoding = 5;
inline constexpr StringEncoding kShiftJISStringEncoding = 8;
inline constexpr StringEncoding kISOLatin2StringEncoding = 9;
inline constexpr StringEncoding kUnicodeStringEncoding = 10;  // UTF-16 with a byte order mark
inline constexpr StringEncoding kWindowsCP1251StringEncoding = 11;
inline constexpr StringEncoding kWindowsCP1252StringEncoding = 12;
inline constexpr StringEncoding kWindowsCP1253StringEncoding = 13;
inline constexpr StringEncoding kWindowsCP1254StringEncoding = 14;
inline constexpr StringEncoding kWindowsCP1250StringEncoding = 15;
inline constexpr StringEncoding kISO2022JPStringEncoding = 21;
inline constexpr StringEncoding kMacOSRomanStringEncoding = 30;
inline constexpr StringEncoding kUTF16BigEndianStringEncoding = 0x90000100;
inline constexpr StringEncoding kUTF16LittleEndianStringEncoding = 0x94000100;
inline constexpr StringEncoding kUTF32StringEncoding = 0x8c000100;
inline constexpr StringEncoding kUTF32BigEndianStringEncoding = 0x98000100;
inline constexpr StringEncoding kUTF32LittleEndianStringEncoding = 0x9c000100;
// Encodings that only the core string layer names carry its number with the
// top bit set, as the platform's conversion does.
inline constexpr StringEncoding kGB18030StringEncoding = 0x80000632;
inline constexpr StringEncoding kGBKStringEncoding = 0x80000631;
inline constexpr StringEncoding kGB2312StringEncoding = 0x80000930;  // EUC-CN
inline constexpr StringEncoding kBig5StringEncoding = 0x80000A03;
inline constexpr StringEncoding kEUCKRStringEncoding = 0x80000940;
inline constexpr StringEncoding kKOI8RStringEncoding = 0x80000A02;

// The encoding for an IANA charset name (case-insensitive), nothing when the
// name is unknown.
std::optional<StringEncoding> encodingForIANACharsetName(std::string_view name);

// Decodes bytes in the encoding into UTF-8; nothing when the bytes are not
// valid in it or the encoding is unknown.
std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding);

bool isValidUTF8(std::string_view text);

}  // namespace lorvane
