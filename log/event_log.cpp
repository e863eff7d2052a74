#include "log/event_log.h"

#include <utility>

#include "mail/safe_text.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

// The line cut to at most bytes, between two characters.
std::string CutUtf8(std::string line, size_t bytes) {
  if (line.size() <= bytes) return line;
  size_t end = bytes;
  while (end > 0 && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80) --end;
  line.resize(end);
  return line;
}

}  // namespace

std::string LogPathFor(const std::string& settingsPath) {
  const size_t slash = settingsPath.find_last_of("\\/");
  return settingsPath.substr(0, slash == std::string::npos ? 0 : slash + 1) + "tarvik.log";
}

std::string EventLog::OlderPath(const std::string& path) {
  return path.substr(0, path.size() - 4) + ".old.log";
}

EventLog::EventLog(std::shared_ptr<Files> files, std::shared_ptr<Clock> clock, std::string path,
                   std::chrono::milliseconds writeDelay)
    : m_pFiles(std::move(files)),
      m_pClock(std::move(clock)),
      m_strPath(std::move(path)),
      m_writeDelay(writeDelay),
      m_writer([this] { WriteLater(); }) {}

EventLog::EventLog(std::shared_ptr<EventLog> log, std::string prefix)
    : m_pWhole(std::move(log)), m_strPrefix(std::move(prefix)) {}

EventLog::~EventLog() {
  if (!m_pWhole) Close();
}

void EventLog::Add(const std::string& text) {
  if (m_pWhole) return m_pWhole->Add(m_strPrefix + text);
  const std::string line =
      CutUtf8(SafeText(m_pClock->LocalTimeText() + " " + text), kMaxLineBytes);
  const std::lock_guard<std::mutex> lock(m_queueMutex);
  m_queued += line + "\r\n";
  m_wake.notify_one();
}

// Lines that come close together are written together.
void EventLog::WriteLater() {
  std::unique_lock<std::mutex> lock(m_queueMutex);
  for (;;) {
    m_wake.wait(lock, [this] { return m_bStopping || !m_queued.empty(); });
    if (m_wake.wait_for(lock, m_writeDelay, [this] { return m_bStopping; })) return;
    lock.unlock();
    Flush();
    lock.lock();
  }
}

void EventLog::Flush() {
  if (m_pWhole) return m_pWhole->Flush();
  const std::lock_guard<std::mutex> writing(m_fileMutex);
  if (m_bClosed) return;
  std::string lines;
  {
    const std::lock_guard<std::mutex> lock(m_queueMutex);
    lines.swap(m_queued);
  }
  if (lines.empty()) return;
  if (!m_bSizeKnown) m_nSize = m_pFiles->Size(m_strPath);
  m_bSizeKnown = true;
  if (m_nSize > 0 && m_nSize + lines.size() > kMaxBytes) {
    // A log that cannot become the older file (another program holds it
    // open, say) is cut instead, so that it never grows past its bound.
    if (!m_pFiles->Rename(m_strPath, OlderPath(m_strPath)))
      m_pFiles->RewriteInPlace(m_strPath, std::string());
    m_nSize = m_pFiles->Size(m_strPath);
  }
  if (m_pFiles->Append(m_strPath, lines)) m_nSize += lines.size();
}

void EventLog::Close() {
  if (m_pWhole) return;
  {
    const std::lock_guard<std::mutex> lock(m_queueMutex);
    m_bStopping = true;
    m_wake.notify_one();
  }
  if (m_writer.joinable()) m_writer.join();
  Flush();
  const std::lock_guard<std::mutex> writing(m_fileMutex);
  m_bClosed = true;
}
