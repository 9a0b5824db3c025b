#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/foundation/file_manager.h"

namespace lorvane::testing {

// A documents folder of the test's own, given back when the test ends.
class ScopedDocumentsFolder {
 public:
  ScopedDocumentsFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "lorvane-documents-XXXXXX").string();
    root_ = mkdtemp(pattern.data()) ? pattern : std::string();
    previous_ = FileManager::defaultManager().rootDirectory();
    FileManager::defaultManager().setRootDirectory(root_);
  }
  ~ScopedDocumentsFolder() {
    FileManager::defaultManager().setRootDirectory(previous_);
    std::error_code ignored;
    if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
  }
  ScopedDocumentsFolder(const ScopedDocumentsFolder&) = delete;
  ScopedDocumentsFolder& operator=(const ScopedDocumentsFolder&) = delete;

  bool ok() const { return !root_.empty(); }
  const std::string& root() const { return root_; }
  std::string documents() const { return FileManager::defaultManager().documentsDirectory(); }

 private:
  std::string root_;
  std::string previous_;
};

}  // namespace lorvane::testing
