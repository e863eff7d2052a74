#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// How an atomic save ended.
enum class SaveResult {
  kSaved,
  kNoNewFiles,  // the folder takes no new file; nothing was changed
  kFailed,      // nothing was changed
};

// Files by their full path, however long. May be used from any thread.
class Files {
 public:
  virtual ~Files() = default;
  // The file, or its first maxBytes bytes; false when it cannot be read.
  virtual bool ReadStart(const std::string& path, size_t maxBytes, std::string& content) = 0;
  // Writes content through to disk beside path, then puts it in path's
  // place in one step, so that a failure leaves the old file as it was.
  virtual SaveResult SaveAtomically(const std::string& path, const std::string& content) = 0;
  // Overwrites an existing file with content, without creating it: for a
  // folder where no new file may be created.
  virtual bool RewriteInPlace(const std::string& path, const std::string& content) = 0;
  // Adds text at the end of the file, creating it when there is none.
  virtual bool Append(const std::string& path, const std::string& text) = 0;
  // The size in bytes, 0 when there is no file.
  virtual uint64_t Size(const std::string& path) = 0;
  virtual bool Exists(const std::string& path) = 0;
  // Puts from in to's place, replacing it; false when nothing moved.
  virtual bool Rename(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
};
