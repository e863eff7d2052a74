#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/transport.h"

// The server's side of POP3 sessions, played in memory without sockets or
// waiting, and a record of what the clients did. Every transport it hands out
// is one session that plays the same script from the start.
class MemoryServer {
 public:
  // What a session does once the script has run out.
  enum class End { kClose, kSilence, kError };

  // The bytes become readable once the client has sent afterCommands commands.
  MemoryServer& Reply(size_t afterCommands, const std::string& bytes);
  // Greeting, USER, PASS and STAT all answered positively, STAT with
  // statReply; UIDL and the TOP commands after it are refused.
  static MemoryServer Standard(const std::string& statReply);

  std::unique_ptr<Transport> NewSession();
  // Waits until every session handed out has been destroyed: a check given
  // up may still be ending on its own thread.
  void WaitUntilSessionsEnd();

  End end = End::kClose;
  // The step that fails: "startup", "socket", "resolve", "connect", "close" or "cleanup".
  std::string failingStep;
  // The number (from 1, counted per session) of the send that fails; 0 for none.
  int failingSend = 0;

  // How each handshake ends.
  SecureResult secureResult = SecureResult::kSecured;
  // The TCP keep-alive asked for last, "idle/interval" in seconds.
  std::string keepAlive;

  // Every command sent, without its CR LF, in order across sessions; each
  // handshake shows as "<TLS name>" at its place.
  std::vector<std::string> transcript;
  std::string host;
  uint16_t port = 0;
  int sessions = 0;
  int startups = 0;
  int cleanups = 0;
  int socketsOpened = 0;
  int socketsClosed = 0;

  struct Chunk {
    size_t afterCommands;
    std::string bytes;
  };
  std::vector<Chunk> chunks;

  // Shared with the sessions, which may end on another thread.
  struct Live {
    std::mutex mutex;
    std::condition_variable ended;
    int sessions = 0;
  };
  std::shared_ptr<Live> live = std::make_shared<Live>();
};
