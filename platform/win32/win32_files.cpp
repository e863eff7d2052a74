// Files by their full path: every call takes the long form, so no path
// length or script stops it.
#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_services.h"

#include <algorithm>

#include "platform/win32/long_path.h"

namespace {

ScopedFile OpenFile(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return ScopedFile(CreateFileW(LongPathForm(path).c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool WriteAll(const ScopedFile& file, const std::string& content) {
  DWORD written = 0;
  return WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &written,
                   nullptr) != FALSE &&
         written == content.size();
}

class Win32Files : public Files {
 public:
  bool ReadStart(const std::string& path, size_t maxBytes, std::string& content) override {
    const ScopedFile file = OpenFile(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    if (!file.Valid()) return false;
    content.clear();
    char chunk[65536];
    while (content.size() < maxBytes) {
      const DWORD wanted = static_cast<DWORD>(std::min(sizeof chunk, maxBytes - content.size()));
      DWORD count = 0;
      if (!ReadFile(file.Get(), chunk, wanted, &count, nullptr)) return false;
      if (count == 0) break;
      content.append(chunk, count);
    }
    return true;
  }

  // A temporary file that was created but not filled means a full disk,
  // where a rewrite in place would cut the file short; one that could not be
  // created means a folder the user may not write to, whose files the user
  // may still be allowed to rewrite.
  SaveResult SaveAtomically(const std::string& path, const std::string& content) override {
    const std::string temporary = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    bool created = false;
    bool written = false;
    {
      const ScopedFile file = OpenFile(temporary, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
      created = file.Valid();
      written = created && WriteAll(file, content) && FlushFileBuffers(file.Get()) != FALSE;
    }
    if (written && Rename(temporary, path)) return SaveResult::kSaved;
    if (created) Remove(temporary);
    return created ? SaveResult::kFailed : SaveResult::kNoNewFiles;
  }

  // Written over from its start and cut at the new end, so that a shorter
  // content leaves nothing of the old one behind.
  bool RewriteInPlace(const std::string& path, const std::string& content) override {
    const ScopedFile file = OpenFile(path, GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
    return file.Valid() && WriteAll(file, content) && SetEndOfFile(file.Get()) != FALSE &&
           FlushFileBuffers(file.Get()) != FALSE;
  }

  // Opened for appending only, so that each write lands at the end even when
  // the user has the file open in an editor meanwhile.
  bool Append(const std::string& path, const std::string& text) override {
    const ScopedFile file =
        OpenFile(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
    return file.Valid() && WriteAll(file, text);
  }

  uint64_t Size(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongPathForm(path).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  bool Exists(const std::string& path) override {
    return OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING).Valid();
  }

  bool Rename(const std::string& from, const std::string& to) override {
    return MoveFileExW(LongPathForm(from).c_str(), LongPathForm(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  }

  void Remove(const std::string& path) override { DeleteFileW(LongPathForm(path).c_str()); }
};

}  // namespace

std::shared_ptr<Files> CreateWin32Files() { return std::make_shared<Win32Files>(); }
