// Scripted fake POP3 server for tests: plays a fixed list of steps to every
// accepted loopback connection, one connection at a time, and records the
// lines the client sent.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ScriptStep {
  enum class Kind { Send, SendSplit, Expect, Delay, Close, Reset, Stall };

  static constexpr int kDefaultExpectTimeoutMs = 10000;

  Kind kind = Kind::Close;
  std::string bytes;  // Send, SendSplit
  int ms = 0;         // SendSplit: gap between bytes; Delay: length; Expect: timeout

  static ScriptStep Send(std::string bytes);
  static ScriptStep SendSplit(std::string bytes, int gapMs);
  // Waits for one LF-terminated line; if the client closes or the timeout
  // passes first, nothing is recorded and the connection's script ends.
  static ScriptStep Expect(int timeoutMs = kDefaultExpectTimeoutMs);
  static ScriptStep Delay(int ms);
  static ScriptStep Close();  // FIN
  static ScriptStep Reset();  // RST
  // Sends nothing until the client closes or the server is stopped.
  static ScriptStep Stall();
};

// Greeting, USER, PASS, STAT (answered with statReply), QUIT, close.
// With replyDelayMs > 0 each reply, the greeting included, goes out that long
// after the line it answers (or the accept) was received.
std::vector<ScriptStep> StandardSession(const std::string& statReply, int replyDelayMs = 0);

// Decodes \r \n \t \\ and \xHH (two hex digits); anything else after a
// backslash is an error.
bool UnescapeText(const std::string& text, std::string& out, std::string& error);

// One step per line: "send TEXT", "sendsplit MS TEXT", "expect [TIMEOUT_MS]",
// "delay MS", "close", "reset", "stall". TEXT is everything after the single
// space that follows the word (or MS), decoded with UnescapeText. Blank lines
// and lines starting with '#' are ignored. On error, out is left untouched and
// error names the line.
bool ParseScript(const std::string& text, std::vector<ScriptStep>& out, std::string& error);

class ScriptServer {
 public:
  ScriptServer() = default;
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  // Runs on the server thread after each connection is closed, including
  // the one cut short by Stop(). Set it before Start().
  void OnConnectionEnd(std::function<void()> callback);

  // Listens on 127.0.0.1 (port 0: an ephemeral one). False if already
  // running or the socket could not be set up.
  bool Start(std::vector<ScriptStep> script, uint16_t port = 0);
  // Returns promptly whatever step is running; closes every socket opened.
  void Stop();

  uint16_t Port() const { return port_; }
  // Every line received, across connections, without its CR LF. A line is
  // recorded before the next step runs, so once the client has seen the
  // reply that follows an Expect, that line is in here.
  std::vector<std::string> Transcript() const;
  int Connections() const { return connections_.load(); }

 private:
  void Run();
  void Serve(int fd);
  void Record(std::string line);

  std::vector<ScriptStep> script_;
  std::function<void()> onConnectionEnd_;
  int listenFd_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> transcript_;
};
