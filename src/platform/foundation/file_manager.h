#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/error.h"

namespace lorvane {

using Data = std::vector<std::uint8_t>;

struct FileAttributes {
  std::uint64_t size = 0;
  double modificationDate = 0;  // seconds since 1970
  bool isDirectory = false;
};

// Files and folders. The application's documents and caches folders live
// under a root folder that tests and the command line can move.
class FileManager {
 public:
  static FileManager& defaultManager();

  // The home of the documents and caches folders. Defaults to
  // $LORVANE_HOME, else $XDG_DATA_HOME/lorvane, else ~/.local/share/lorvane.
  void setRootDirectory(std::string root);
  std::string rootDirectory() const;
  std::string documentsDirectory() const;
  std::string cachesDirectory() const;
  std::string temporaryDirectory() const;

  bool fileExists(const std::string& path, bool* isDirectory = nullptr) const;
  bool createDirectory(const std::string& path, bool withIntermediateDirectories,
                       ErrorPtr* error = nullptr) const;
  // Writes to a temporary file beside the target and renames it into place,
  // so readers never see half a file.
  bool writeAtomically(const std::string& path, std::string_view bytes,
                       ErrorPtr* error = nullptr) const;
  bool writeAtomically(const std::string& path, const Data& bytes, ErrorPtr* error = nullptr) const;
  std::optional<Data> contentsAtPath(const std::string& path) const;
  std::optional<std::string> stringContentsAtPath(const std::string& path) const;
  bool removeItem(const std::string& path, ErrorPtr* error = nullptr) const;
  bool moveItem(const std::string& from, const std::string& to, ErrorPtr* error = nullptr) const;
  bool copyItem(const std::string& from, const std::string& to, ErrorPtr* error = nullptr) const;
  // Names of the entries of a folder, sorted; empty when it cannot be read.
  std::vector<std::string> contentsOfDirectory(const std::string& path) const;
  std::optional<FileAttributes> attributesOfItem(const std::string& path) const;
  bool setModificationDate(const std::string& path, double secondsSince1970) const;

 private:
  FileManager() = default;
  mutable std::string root_;
};

// Path helpers with the platform's string rules.
std::string appendingPathComponent(std::string_view path, std::string_view component);
// "/a/b/" -> "b", "/" -> "/", "" -> "".
std::string lastPathComponent(std::string_view path);
std::string deletingLastPathComponent(std::string_view path);
// The part after the last '.' of the last component, without the dot.
std::string pathExtension(std::string_view path);
std::string deletingPathExtension(std::string_view path);

inline constexpr const char* kCocoaErrorDomain = "NSCocoaErrorDomain";

}  // namespace lorvane
