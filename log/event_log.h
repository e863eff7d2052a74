#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class Clock;
class Files;

// The log file beside the settings file.
std::string LogPathFor(const std::string& settingsPath);

// What the program did unattended, one line per event with the local time.
// Lines are queued from any thread and written out by whoever flushes (the
// check's thread), so the user interface never waits on the disk. The file
// stays under kMaxBytes: when full it becomes the one older file.
class EventLog {
 public:
  static constexpr uint64_t kMaxBytes = 1024 * 1024;
  // A line is cut to this, its line end not counted: a server's reply can be long.
  static constexpr size_t kMaxLineBytes = 400;

  EventLog(std::shared_ptr<Files> files, std::shared_ptr<Clock> clock, std::string path);
  // The same log, each line naming what it belongs to first.
  EventLog(std::shared_ptr<EventLog> log, std::string prefix);

  // Queues one line of safe text (see SafeText), so an event stays one line
  // and no text the server sent can disguise it.
  void Add(const std::string& text);
  // Writes out every line queued so far.
  void Flush();
  // Writes out what is queued and writes nothing after; returns once no
  // other thread is writing.
  void Close();

  // The older file a full log becomes.
  static std::string OlderPath(const std::string& path);

 private:
  // A log of one account writes into the program's.
  const std::shared_ptr<EventLog> m_pWhole;
  const std::string m_strPrefix;
  const std::shared_ptr<Files> m_pFiles;
  const std::shared_ptr<Clock> m_pClock;
  const std::string m_strPath;
  std::mutex m_queueMutex;
  std::string m_queued;
  // Held while the file is written; guards what follows.
  std::mutex m_fileMutex;
  bool m_bClosed = false;
  bool m_bSizeKnown = false;
  uint64_t m_nSize = 0;
};
