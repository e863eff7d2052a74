#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/boxes.h"
#include "platform/menu.h"
#include "platform/transport.h"
#include "platform/tray.h"

struct MessageBoxCall {
  std::string text;
  std::string caption;
  BoxKind kind;
};

struct BalloonCall {
  std::string title;
  std::string text;
  int picture;
  bool silent;
  bool news;
};

// What the system around the program holds and does, as a test sets it up,
// and what the program asked of it: shared by the fakes of the services.
struct FakeWorld {
  // What the program asked for, in order, as short lines such as
  // "tray modify 134 No messages waiting", "sound C:\\a.wav", "foreground",
  // "box DOV3 Ozez Ezevada|You have 3 messages waiting".
  std::vector<std::string> events;
  std::vector<std::string> EventsStartingWith(const std::string& prefix) const;

  // Boxes and the tray.
  std::vector<MessageBoxCall> boxes;
  // Runs while a message box is open, as the nested message loop would.
  std::function<void(const MessageBoxCall&)> whileMessageBox;
  // What the user answers a question.
  bool answerYes = false;
  std::vector<TrayRecord> trayRecords;
  std::vector<BalloonCall> balloons;
  int trayAddFailures = 0;
  bool trayAvailable = true;
  bool trayIconShown = false;
  // The last menu shown, and where.
  std::vector<MenuItem> menuShown;
  int menusShown = 0;

  // Files: their contents by path, guarded for the checks' threads.
  std::mutex filesMutex;
  std::map<std::string, std::string> files;
  // Saving these files runs out of disk space half-way.
  std::set<std::string> fullDiskPaths;
  // No file can be created in the settings folder.
  bool folderReadOnly = false;
  // Nor can the files in it be written, unless this says they can.
  bool filesWritable = false;
  bool replaceFails = false;

  // A Run key: whether this user may change it, and the value it holds.
  struct RunKey {
    bool writable = true;
    std::optional<std::string> value;
  };
  RunKey machineRun;
  RunKey userRun;
  // Changes to a Run key the user may change fail all the same.
  bool registryWritesFail = false;

  // The user's password store, by target; writes to it are refused when
  // credentialWritesFail. Guarded for the checks' threads, which keep tokens.
  std::mutex credentialsMutex;
  std::map<std::string, std::string> credentials;
  bool credentialWritesFail = false;

  // Connections: each new transport comes from transports.
  bool socketsStart = true;
  std::function<std::unique_ptr<Transport>()> transports;

  // The registered mail program, and what was opened or run: "open TARGET",
  // "run LINE".
  std::string registeredMail;
  std::vector<std::string> started;
  // Opens web addresses, when set.
  std::function<bool(const std::string&)> browser;
};
