#include "log/event_log.h"

#include <utility>

#include "platform/platform.h"

std::string LogPathFor(const std::string& settingsPath) {
  const size_t slash = settingsPath.find_last_of("\\/");
  return settingsPath.substr(0, slash == std::string::npos ? 0 : slash + 1) + "tarvik.log";
}

std::string EventLog::OlderPath(const std::string& path) {
  return path.substr(0, path.size() - 4) + ".old.log";
}

EventLog::EventLog(Platform& platform, std::string path, std::chrono::milliseconds writeDelay)
    : m_platform(platform),
      m_strPath(std::move(path)),
      m_writeDelay(writeDelay),
      m_writer([this] { WriteLater(); }) {}

EventLog::~EventLog() { Close(); }

void EventLog::Add(const std::string& text) {
  std::string line = m_platform.LocalTimeText() + " " + text;
  for (char& c : line)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
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
  const std::lock_guard<std::mutex> writing(m_fileMutex);
  if (m_bClosed) return;
  std::string lines;
  {
    const std::lock_guard<std::mutex> lock(m_queueMutex);
    lines.swap(m_queued);
  }
  if (lines.empty()) return;
  if (!m_bSizeKnown) m_nSize = m_platform.FileSize(m_strPath);
  m_bSizeKnown = true;
  if (m_nSize > 0 && m_nSize + lines.size() > kMaxBytes) {
    // A log that cannot become the older file (another program holds it
    // open, say) is cut instead, so that it never grows past its bound.
    if (!m_platform.MoveFileReplacing(m_strPath, OlderPath(m_strPath)))
      m_platform.RewriteFile(m_strPath, std::string());
    m_nSize = m_platform.FileSize(m_strPath);
  }
  if (m_platform.AppendToFile(m_strPath, lines)) m_nSize += lines.size();
}

void EventLog::Close() {
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
