#include "tests/double/fake_services.h"

#include "platform/utf8_text.h"
#include "platform/win_constants.h"
#include "res/resource.h"
#include "tests/double/fake_autorun.h"
#include "tests/double/fake_boxes.h"
#include "tests/double/fake_credentials.h"
#include "tests/double/fake_files.h"
#include "tests/double/fake_menu.h"
#include "tests/double/fake_shell.h"
#include "tests/double/fake_sound.h"
#include "tests/double/fake_tray.h"

namespace {

// As much of a tooltip as the shell shows.
constexpr size_t kShownTipUnits = 127;

// Transports as the test makes them, and a sockets layer it may refuse.
class FakeNetwork : public Network {
 public:
  explicit FakeNetwork(FakeWorld& world) : m_world(world) {}
  bool Start() override { return m_world.socketsStart; }
  std::unique_ptr<Transport> NewTransport() override {
    return m_world.transports ? m_world.transports() : nullptr;
  }

 private:
  FakeWorld& m_world;
};

// The seen-mail file is written after every count; tests look at its
// content, and the events stay those of the settings file.
bool IsSeenMailFile(const std::string& path) { return path.find(".seen") != std::string::npos; }

}  // namespace

std::vector<std::string> FakeWorld::EventsStartingWith(const std::string& prefix) const {
  std::vector<std::string> matching;
  for (const std::string& event : events)
    if (event.compare(0, prefix.size(), prefix) == 0) matching.push_back(event);
  return matching;
}

void FakeTray::Record(const char* action, const TrayRecord& record) {
  m_world.events.push_back(std::string("tray ") + action + " " + std::to_string(record.pictureId) +
                           " " + CutToUtf16Units(record.tip, kShownTipUnits));
  m_world.trayRecords.push_back(record);
}

bool FakeTray::Add(const TrayRecord& record) {
  Record("add", record);
  if (m_world.trayIconShown || !m_world.trayAvailable) return false;
  if (m_world.trayAddFailures > 0) {
    --m_world.trayAddFailures;
    return false;
  }
  m_world.trayIconShown = true;
  return true;
}

bool FakeTray::Modify(const TrayRecord& record) {
  Record("modify", record);
  return m_world.trayIconShown;
}

void FakeTray::Remove(const TrayRecord& record) {
  Record("delete", record);
  m_world.trayIconShown = false;
}

bool FakeTray::ShowBalloon(const TrayRecord&, const Balloon& balloon) {
  m_world.balloons.push_back(
      {balloon.title, balloon.text, balloon.pictureId, balloon.silent, balloon.news});
  return true;
}

std::optional<TrayEvent> FakeTray::Received(unsigned message, uintptr_t, intptr_t lParam) {
  if (message == kTaskbarCreated) return TrayEvent::kShellRestarted;
  if (message != WM_TRAY_NOTIFY) return std::nullopt;
  switch (static_cast<unsigned>(lParam)) {
    case win::kWmLButtonDblClk:
      return TrayEvent::kDoubleClick;
    case win::kWmRButtonDown:
      return TrayEvent::kRightClick;
    case win::kNinBalloonUserClick:
      return TrayEvent::kBalloonClick;
    default:
      return std::nullopt;
  }
}

void FakeFiles::Note(const std::string& event, const std::string& path) {
  if (!IsSeenMailFile(path)) m_world.events.push_back(event + " " + path);
}

bool FakeFiles::ReadStart(const std::string& path, size_t maxBytes, std::string& content) {
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  const auto found = m_world.files.find(path);
  if (found == m_world.files.end()) return false;
  content = found->second.substr(0, maxBytes);
  return true;
}

SaveResult FakeFiles::SaveAtomically(const std::string& path, const std::string& content) {
  Note("save", path);
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  if (m_world.folderReadOnly) return SaveResult::kNoNewFiles;
  if (m_world.fullDiskPaths.count(path) || m_world.replaceFails) return SaveResult::kFailed;
  m_world.files[path] = content;
  return SaveResult::kSaved;
}

bool FakeFiles::RewriteInPlace(const std::string& path, const std::string& content) {
  Note("rewrite", path);
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  if ((m_world.folderReadOnly && !m_world.filesWritable) || !m_world.files.count(path))
    return false;
  m_world.files[path] = content;
  return true;
}

// Not an event: the check's thread appends while the test reads the events.
bool FakeFiles::Append(const std::string& path, const std::string& text) {
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  m_world.files[path] += text;
  return true;
}

uint64_t FakeFiles::Size(const std::string& path) {
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  const auto found = m_world.files.find(path);
  return found == m_world.files.end() ? 0 : found->second.size();
}

bool FakeFiles::Exists(const std::string& path) {
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  return m_world.files.count(path) > 0;
}

bool FakeFiles::Rename(const std::string& from, const std::string& to) {
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  const auto found = m_world.files.find(from);
  if (m_world.replaceFails || found == m_world.files.end()) return false;
  m_world.files[to] = found->second;
  m_world.files.erase(from);
  return true;
}

void FakeFiles::Remove(const std::string& path) {
  Note("remove", path);
  const std::lock_guard<std::mutex> lock(m_world.filesMutex);
  m_world.files.erase(path);
}

Services FakeServices(FakeWorld& world) {
  Services services;
  services.tray = std::make_shared<FakeTray>(world);
  services.menu = std::make_shared<FakeMenu>(world);
  services.boxes = std::make_shared<FakeBoxes>(world);
  services.sound = std::make_shared<FakeSound>(world);
  services.files = std::make_shared<FakeFiles>(world);
  services.autorun = std::make_shared<FakeAutorun>(world);
  services.credentials = std::make_shared<FakeCredentials>(world);
  services.shell = std::make_shared<FakeShell>(world);
  services.clock = std::make_shared<FakeClock>();
  services.codec = std::make_shared<Latin1Codec>();
  services.charsets = std::make_shared<NoSystemCharsets>();
  services.network = std::make_shared<FakeNetwork>(world);
  return services;
}

// Each byte is the character of the same number, as in cp1252 outside 0x80 to 0x9F.
std::string Latin1Codec::FromAnsi(const std::string& ansi) const {
  std::string utf8;
  for (const char c : ansi) {
    const auto code = static_cast<unsigned char>(c);
    if (code >= 0x80) utf8 += static_cast<char>(0xC0 | (code >> 6));
    utf8 += static_cast<char>(code >= 0x80 ? 0x80 | (code & 0x3F) : code);
  }
  return utf8;
}

bool Latin1Codec::ToAnsi(const std::string& utf8, std::string& ansi) const {
  ansi.clear();
  for (size_t at = 0; at < utf8.size(); ++at) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      ansi += utf8[at];
    } else if ((lead == 0xC2 || lead == 0xC3) && at + 1 < utf8.size()) {
      ansi += static_cast<char>(((lead & 0x03) << 6) | (utf8[++at] & 0x3F));
    } else {
      return false;
    }
  }
  return true;
}
