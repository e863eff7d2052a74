#pragma once

#include "platform/files.h"
#include "tests/double/fake_world.h"

// Files as a map of paths to contents, with a full disk, a folder that takes
// no new file and a file that cannot be replaced as a test sets them up.
class FakeFiles : public Files {
 public:
  explicit FakeFiles(FakeWorld& world) : m_world(world) {}
  bool ReadStart(const std::string& path, size_t maxBytes, std::string& content) override;
  SaveResult SaveAtomically(const std::string& path, const std::string& content) override;
  bool RewriteInPlace(const std::string& path, const std::string& content) override;
  bool Append(const std::string& path, const std::string& text) override;
  uint64_t Size(const std::string& path) override;
  bool Exists(const std::string& path) override;
  bool Rename(const std::string& from, const std::string& to) override;
  void Remove(const std::string& path) override;

 private:
  void Note(const std::string& event, const std::string& path);

  FakeWorld& m_world;
};
