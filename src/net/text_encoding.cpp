#include "net/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "net/net_types.h"

namespace lorvane {

namespace {

struct EncodingName {
  const char* ianaName;  // lower case
  StringEncoding encoding;
};

// IANA names and common aliases; the iconv name is looked up separately
// because several names share one encoding.
constexpr EncodingName kNames[] = {
    {"utf-8", kUTF8StringEncoding},
    {"utf8", kUTF8StringEncoding},
    {"us-ascii", kASCIIStringEncoding},
    {"ascii", kASCIIStringEncoding},
    {"iso-8859-1", kISOLatin1StringEncoding},
    {"iso_8859-1", kISOLatin1StringEncoding},
    {"latin1", kISOLatin1StringEncoding},
    {"l1", kISOLatin1StringEncoding},
    {"iso-8859-2", kISOLatin2StringEncoding},
    {"latin2", kISOLatin2StringEncoding},
    {"windows-1250", kWindowsCP1250StringEncoding},
    {"windows-1251", kWindowsCP1251StringEncoding},
    {"windows-1252", kWindowsCP1252StringEncoding},
    {"windows-1253", kWindowsCP1253StringEncoding},
    {"windows-1254", kWindowsCP1254StringEncoding},
    {"shift_jis", kShiftJISStringEncoding},
    {"shift-jis", kShiftJISStringEncoding},
    {"sjis", kShiftJISStringEncoding},
    {"euc-jp", kJapaneseEUCStringEncoding},
    {"iso-2022-jp", kISO2022JPStringEncoding},
    {"macintosh", kMacOSRomanStringEncoding},
    {"utf-16", kUnicodeStringEncoding},
    {"utf-16be", kUTF16BigEndianStringEncoding},
    {"utf-16le", kUTF16LittleEndianStringEncoding},
    {"utf-32", kUTF32StringEncoding},
    {"utf-32be", kUTF32BigEndianStringEncoding},
    {"utf-32le", kUTF32LittleEndianStringEncoding},
    {"gb18030", kGB18030StringEncoding},
    {"gbk", kGBKStringEncoding},
    {"cp936", kGBKStringEncoding},
    {"gb2312", kGB2312StringEncoding},
    {"euc-cn", kGB2312StringEncoding},
    {"big5", kBig5StringEncoding},
    {"euc-kr", kEUCKRStringEncoding},
    {"koi8-r", kKOI8RStringEncoding},
};

const char* iconvName(StringEncoding encoding) {
  switch (encoding) {
    case kASCIIStringEncoding:
      return "US-ASCII";
    case kJapaneseEUCStringEncoding:
      return "EUC-JP";
    case kUTF8StringEncoding:
      return "UTF-8";
    case kISOLatin1StringEncoding:
      return "ISO-8859-1";
    case kShiftJISStringEncoding:
      return "SHIFT_JIS";
    case kISOLatin2StringEncoding:
      return "ISO-8859-2";
    case kUnicodeStringEncoding:
      return "UTF-16";
    case kWindowsCP1251StringEncoding:
      return "CP1251";
    case kWindowsCP1252StringEncoding:
      return "CP1252";
    case kWindowsCP1253StringEncoding:
      return "CP1253";
    case kWindowsCP1254StringEncoding:
      return "CP1254";
    case kWindowsCP1250StringEncoding:
      return "CP1250";
    case kISO2022JPStringEncoding:
      return "ISO-2022-JP";
    case kMacOSRomanStringEncoding:
      return "MACINTOSH";
    case kUTF16BigEndianStringEncoding:
      return "UTF-16BE";
    case kUTF16LittleEndianStringEncoding:
      return "UTF-16LE";
    case kUTF32StringEncoding:
      return "UTF-32";
    case kUTF32BigEndianStringEncoding:
      return "UTF-32BE";
    case kUTF32LittleEndianStringEncoding:
      return "UTF-32LE";
    case kGB18030StringEncoding:
      return "GB18030";
    case kGBKStringEncoding:
      return "GBK";
    case kGB2312StringEncoding:
      return "EUC-CN";
    case kBig5StringEncoding:
      return "BIG5";
    case kEUCKRStringEncoding:
      return "EUC-KR";
    case kKOI8RStringEncoding:
      return "KOI8-R";
    default:
      return nullptr;
  }
}

std::string latin1ToUTF8(const std::uint8_t* bytes, std::size_t length) {
  std::string out;
  out.reserve(length + length / 8);
  for (std::size_t i = 0; i < length; ++i) {
    std::uint8_t b = bytes[i];
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
    } else {
      out.push_back(static_cast<char>(0xC0 | (b >> 6)));
      out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  return out;
}

}  // namespace

std::optional<StringEncoding> encodingForIANACharsetName(std::string_view name) {
  std::string lower = toLower(name);
  for (const auto& entry : kNames) {
    if (lower == entry.ianaName) return entry.encoding;
  }
  return std::nullopt;
}

bool isValidUTF8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t extra;
    std::uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
      cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      cp = c & 0x07;
    } else {
      return false;
    }
    if (n - i <= extra) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      unsigned char cc = s[i + k];
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

std::optional<std::string> decodeString(const std::uint8_t* bytes, std::size_t length,
                                        StringEncoding encoding) {
  // The two encodings the client meets most need no converter.
  if (encoding == kUTF8StringEncoding) {
    std::string text(reinterpret_cast<const char*>(bytes), length);
    if (!isValidUTF8(text)) return std::nullopt;
    return text;
  }
  if (encoding == kISOLatin1StringEncoding) return latin1ToUTF8(bytes, length);

  const char* from = iconvName(encoding);
  if (!from) return std::nullopt;
  iconv_t converter = iconv_open("UTF-8", from);
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out;
  std::vector<char> buffer(length * 4 + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes));
  std::size_t inLeft = length;
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (result == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      ok = false;  // EILSEQ or EINVAL: not valid text in this encoding
      break;
    }
  }
  if (ok) {
    char* outPtr = buffer.data();
    std::size_t outLeft = buffer.size();
    if (iconv(converter, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      ok = false;
    }
    out.append(buffer.data(), buffer.size() - outLeft);
  }
  iconv_close(converter);
  if (!ok) return std::nullopt;
  return out;
}

}  // namespace lorvane
