#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Clock;
class Files;

// The log file beside the settings file.
std::string LogPathFor(const std::string& settingsPath);

// What the program did unattended, one line per event with the local time.
// Lines are queued from any thread and written out by the log's own thread
// within kWriteDelay, or sooner by whoever flushes (the check's thread), so
// the user interface never waits on the disk. The file stays under
// kMaxBytes: when full it becomes the one older file.
class EventLog {
 public:
  static constexpr uint64_t kMaxBytes = 1024 * 1024;
  // A line is cut to this, its line end not counted: a server's reply can be long.
  static constexpr size_t kMaxLineBytes = 400;
  static constexpr std::chrono::milliseconds kWriteDelay{5000};

  EventLog(std::shared_ptr<Files> files, std::shared_ptr<Clock> clock, std::string path,
           std::chrono::milliseconds writeDelay = kWriteDelay);
  // The same log, each line naming what it belongs to first.
  EventLog(std::shared_ptr<EventLog> log, std::string prefix);
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Queues one line, safe to show and cut to kMaxLineBytes, so an event
  // stays one line.
  void Add(const std::string& text);
  // Writes out every line queued so far.
  void Flush();
  // Writes out what is queued and writes nothing after; returns once no
  // other thread is writing.
  void Close();

  // The older file a full log becomes.
  static std::string OlderPath(const std::string& path);

 private:
  // The log's own thread: writes what was queued, a while after its first
  // line, until the log closes.
  void WriteLater();

  // A log of one account writes into the program's.
  const std::shared_ptr<EventLog> m_pWhole;
  const std::string m_strPrefix;
  const std::shared_ptr<Files> m_pFiles;
  const std::shared_ptr<Clock> m_pClock;
  const std::string m_strPath;
  const std::chrono::milliseconds m_writeDelay{0};
  std::mutex m_queueMutex;
  std::string m_queued;
  // Guarded by m_queueMutex: wakes the log's thread for a line or the close.
  std::condition_variable m_wake;
  bool m_bStopping = false;
  // Held while the file is written; guards what follows.
  std::mutex m_fileMutex;
  bool m_bClosed = false;
  bool m_bSizeKnown = false;
  uint64_t m_nSize = 0;
  // Started last, once everything it uses exists; the program's log only.
  std::thread m_writer;
};
