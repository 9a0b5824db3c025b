#pragma once

#include <string>
#include <string_view>

namespace lorvane {

// Writes `bytes` to `path` so that a crash or a power cut leaves either the
// old file or the whole new one: a temporary file beside it is written and
// flushed to the disk, renamed over the target, and the folder is flushed
// too. On failure the old file is untouched and `error` (when given) says
// why, in the system's words.
bool writeFileDurably(const std::string& path, std::string_view bytes,
                      std::string* error = nullptr);

// Flushes a folder's entries (a rename into it) to the disk.
bool syncDirectory(const std::string& folder);

}  // namespace lorvane
