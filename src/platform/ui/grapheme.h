#pragma once

#include <cstddef>
#include <string_view>

namespace lorvane {

// Boundaries of user-perceived characters (grapheme clusters) in UTF-8
// text, as byte offsets: an accented letter, a flag or a family emoji is
// one character to the caret and to backspace. Offsets past the end are
// taken as the end.

// The first boundary after `offset`; the text's size at the end.
std::size_t nextCharacterBoundary(std::string_view text, std::size_t offset);
// The last boundary before `offset`; 0 at the start.
std::size_t previousCharacterBoundary(std::string_view text, std::size_t offset);
// `offset` itself when it is a boundary, else the boundary before it.
std::size_t characterBoundaryAtOrBefore(std::string_view text, std::size_t offset);
// Where the code point that holds `offset` starts (never inside a
// multi-byte sequence).
std::size_t codePointStart(std::string_view text, std::size_t offset);

}  // namespace lorvane
