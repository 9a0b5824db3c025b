// json-check [options] [FILE | -]
//
// Decodes the file (standard input when there is none, or "-") and prints
// it re-encoded on one line (indented with --pretty). A document that does
// not decode prints "error: MESSAGE (index N, line L)" and exits 1.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "json/json.h"

namespace {

using namespace lorvane;

constexpr const char* kUsage =
    "usage: json-check [options] [FILE | -]\n"
    "Decodes FILE (standard input when absent or \"-\") and prints it re-encoded.\n"
    "\n"
    "decoding:\n"
    "  --allow-comments           skip /* */ and // comments\n"
    "  --unicode-line-breaks      treat U+0085, U+2028, U+2029 as line breaks\n"
    "  --replace-invalid-unicode  turn invalid UTF-8 and \\u escapes into U+FFFD\n"
    "  --allow-trailing-text      ignore anything after the top-level value\n"
    "encoding:\n"
    "  --pretty                   indent, with sorted keys\n"
    "  --escape-unicode           write non-ASCII characters as \\u escapes\n"
    "  --escape-slashes           write \"/\" as \"\\/\"\n"
    "\n"
    "Exit status: 0 decoded, 1 not a valid document, 2 bad usage or unreadable input.\n";

struct Flag {
  const char* name;
  bool forDecoding;
  std::uint32_t bit;
};

constexpr Flag kFlags[] = {
    {"--allow-comments", true, JSONParseAllowComments},
    {"--unicode-line-breaks", true, JSONParseUnicodeLineBreaks},
    {"--replace-invalid-unicode", true, JSONParseReplaceInvalidUnicode},
    {"--allow-trailing-text", true, JSONParseAllowTrailingText},
    {"--pretty", false, JSONWritePretty},
    {"--escape-unicode", false, JSONWriteEscapeUnicode},
    {"--escape-slashes", false, JSONWriteEscapeSlashes},
};

int usage(const char* problem) {
  if (problem) std::fprintf(stderr, "json-check: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

std::optional<std::vector<std::uint8_t>> readAll(std::FILE* file) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t chunk[65536];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.insert(bytes.end(), chunk, chunk + count);
  }
  if (std::ferror(file)) return std::nullopt;
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  JSONParseOptionFlags parseOptions = JSONParseStrict;
  JSONSerializeOptionFlags writeOptions = JSONSerializeOptionNone;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "-h" || argument == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument.size() > 1 && argument[0] == '-') {
      const Flag* match = nullptr;
      for (const Flag& flag : kFlags) {
        if (argument == flag.name) match = &flag;
      }
      if (!match) return usage(("unknown option " + std::string(argument)).c_str());
      (match->forDecoding ? parseOptions : writeOptions) |= match->bit;
      continue;
    }
    if (path) return usage("only one input file can be given");
    path = argv[i];
  }

  const bool fromStandardInput = !path || std::string_view(path) == "-";
  std::FILE* file = fromStandardInput ? stdin : std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "json-check: cannot open %s: %s\n", path, std::strerror(errno));
    return 2;
  }
  const std::optional<std::vector<std::uint8_t>> bytes = readAll(file);
  if (!fromStandardInput) std::fclose(file);
  if (!bytes) {
    std::fprintf(stderr, "json-check: cannot read %s\n",
                 fromStandardInput ? "standard input" : path);
    return 2;
  }

  JSONError error;
  const JSONValueRef document = objectFromJSONDataWithParseOptions(*bytes, parseOptions, &error);
  if (!document) {
    std::printf("error: %s (index %zu, line %zu)\n", error.description.c_str(),
                error.index.value_or(0), error.line.value_or(0));
    return 1;
  }
  const std::optional<std::string> text = JSONStringWithOptions(*document, writeOptions, &error);
  if (!text) {
    std::printf("error: %s\n", error.description.c_str());
    return 1;
  }
  std::fwrite(text->data(), 1, text->size(), stdout);
  std::fputc('\n', stdout);
  return std::fflush(stdout) == 0 ? 0 : 2;
}
