#include "script_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

// How long a graceful close waits for the client to close its side.
constexpr std::chrono::milliseconds kCloseDrain{1000};

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

enum class Wait { Ready, TimedOut, Stopped };

// One accepted, non-blocking socket. Every wait also watches the wake pipe,
// which Stop() makes readable for good, so no step can outlive Stop().
class Connection {
 public:
  Connection(int fd, int wakeFd) : fd_(fd), wake_(wakeFd) {}
  ~Connection() { CloseFd(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Sleep(int ms) {
    return WaitFor(0, Clock::now() + std::chrono::milliseconds(ms)) != Wait::Stopped;
  }

  bool SendAll(const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        if (WaitFor(POLLOUT, std::nullopt) != Wait::Ready) return false;
      } else {
        return false;
      }
    }
    return true;
  }

  bool ReadLine(int timeoutMs, std::string& line) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      const size_t lf = buffer_.find('\n');
      if (lf != std::string::npos) {
        line = buffer_.substr(0, lf);
        buffer_.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      if (WaitFor(POLLIN, deadline) != Wait::Ready || !Receive()) return false;
    }
  }

  void Stall() { DiscardInputUntil(std::nullopt); }

  void CloseGracefully() {
    if (fd_ < 0) return;
    ::shutdown(fd_, SHUT_WR);
    // Closing with unread input makes the kernel answer with RST instead
    // of FIN, and an RST can destroy replies the client has not read yet.
    DiscardInputUntil(Clock::now() + kCloseDrain);
    CloseFd(fd_);
  }

  void Reset() {
    const linger abortive{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    CloseFd(fd_);
  }

 private:
  // events == 0 waits on the wake pipe alone.
  Wait WaitFor(short events, std::optional<Clock::time_point> deadline) {
    for (;;) {
      pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, events, 0}};
      int timeoutMs = -1;
      if (deadline) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
        timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
      }
      const int n = ::poll(fds, events != 0 ? 2 : 1, timeoutMs);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || fds[0].revents != 0) return Wait::Stopped;
      if (n > 0) return Wait::Ready;
      if (deadline && Clock::now() >= *deadline) return Wait::TimedOut;
    }
  }

  // False once the peer has closed or the socket failed.
  bool Receive() {
    char chunk[4096];
    const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK);
  }

  void DiscardInputUntil(std::optional<Clock::time_point> deadline) {
    while (WaitFor(POLLIN, deadline) == Wait::Ready && Receive()) buffer_.clear();
  }

  int fd_;
  int wake_;
  std::string buffer_;
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ParseMs(const std::string& word, int& ms) {
  if (word.empty() || word.size() > 9 ||
      word.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  ms = std::stoi(word);
  return true;
}

// Removes the first space-separated word and the one space after it.
std::string TakeWord(std::string& rest) {
  const size_t space = rest.find(' ');
  std::string word = rest.substr(0, space);
  rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
  return word;
}

std::string TrimRight(std::string s) {
  s.erase(s.find_last_not_of(" \t") + 1);
  return s;
}

bool ParseText(const std::string& text, std::string& bytes, std::string& problem) {
  if (!UnescapeText(text, bytes, problem)) return false;
  if (bytes.empty()) {
    problem = "missing text";
    return false;
  }
  return true;
}

bool ParseLine(std::string line, std::vector<ScriptStep>& steps, std::string& problem) {
  // A literal CR can only come from a file saved with CRLF line ends; a CR
  // meant for the wire is written \r.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '#') return true;
  std::string rest = line.substr(start);
  const std::string word = TakeWord(rest);
  std::string bytes;
  int ms = 0;
  if (word == "send") {
    if (!ParseText(rest, bytes, problem)) return false;
    steps.push_back(ScriptStep::Send(bytes));
  } else if (word == "sendsplit") {
    if (!ParseMs(TakeWord(rest), ms)) {
      problem = "sendsplit needs a delay in ms, then text";
      return false;
    }
    if (!ParseText(rest, bytes, problem)) return false;
    steps.push_back(ScriptStep::SendSplit(bytes, ms));
  } else if (word == "expect") {
    ms = ScriptStep::kDefaultExpectTimeoutMs;
    rest = TrimRight(rest);
    if (!rest.empty() && !ParseMs(rest, ms)) {
      problem = "expect takes an optional timeout in ms";
      return false;
    }
    steps.push_back(ScriptStep::Expect(ms));
  } else if (word == "delay") {
    if (!ParseMs(TrimRight(rest), ms)) {
      problem = "delay needs a time in ms";
      return false;
    }
    steps.push_back(ScriptStep::Delay(ms));
  } else if (word == "close" || word == "reset" || word == "stall") {
    if (!TrimRight(rest).empty()) {
      problem = word + " takes no argument";
      return false;
    }
    steps.push_back(word == "close"   ? ScriptStep::Close()
                    : word == "reset" ? ScriptStep::Reset()
                                      : ScriptStep::Stall());
  } else {
    problem = "unknown step '" + word + "'";
    return false;
  }
  return true;
}

}  // namespace

ScriptStep ScriptStep::Send(std::string bytes) {
  ScriptStep step;
  step.kind = Kind::Send;
  step.bytes = std::move(bytes);
  return step;
}

ScriptStep ScriptStep::SendSplit(std::string bytes, int gapMs) {
  ScriptStep step;
  step.kind = Kind::SendSplit;
  step.bytes = std::move(bytes);
  step.ms = gapMs;
  return step;
}

ScriptStep ScriptStep::Expect(int timeoutMs) {
  ScriptStep step;
  step.kind = Kind::Expect;
  step.ms = timeoutMs;
  return step;
}

ScriptStep ScriptStep::Delay(int ms) {
  ScriptStep step;
  step.kind = Kind::Delay;
  step.ms = ms;
  return step;
}

ScriptStep ScriptStep::Close() {
  ScriptStep step;
  step.kind = Kind::Close;
  return step;
}

ScriptStep ScriptStep::Reset() {
  ScriptStep step;
  step.kind = Kind::Reset;
  return step;
}

ScriptStep ScriptStep::Stall() {
  ScriptStep step;
  step.kind = Kind::Stall;
  return step;
}

// After STAT, a UIDL listing of as many messages as it counted, and the
// headers of the newest three for a first check; a later check, which asks
// for none, takes the first of them as the reply to its QUIT.
std::vector<ScriptStep> StandardSession(const std::string& statReply, int replyDelayMs) {
  const int count = std::max(0, std::atoi(statReply.c_str() + std::min<size_t>(4, statReply.size())));
  std::string listing = "+OK\r\n";
  for (int i = 1; i <= count && i <= 1000; ++i)
    listing += std::to_string(i) + " fake-" + std::to_string(i) + "\r\n";
  std::vector<std::string> replies = {"+OK fake POP3 ready\r\n", "+OK\r\n", "+OK logged in\r\n",
                                      statReply, listing + ".\r\n"};
  for (int i = count; i > 0 && i > count - 3; --i)
    replies.push_back("+OK\r\nFrom: Fake Sender <fake@example.test>\r\nSubject: Message " +
                      std::to_string(i) + "\r\n\r\n.\r\n");
  replies.push_back("+OK bye\r\n");
  std::vector<ScriptStep> steps;
  for (const std::string& reply : replies) {
    if (!steps.empty()) steps.push_back(ScriptStep::Expect());
    if (replyDelayMs > 0) steps.push_back(ScriptStep::Delay(replyDelayMs));
    steps.push_back(ScriptStep::Send(reply));
  }
  steps.push_back(ScriptStep::Close());
  return steps;
}

bool UnescapeText(const std::string& text, std::string& out, std::string& error) {
  std::string result;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      result += text[i];
      continue;
    }
    if (++i == text.size()) {
      error = "backslash at end of text";
      return false;
    }
    switch (text[i]) {
      case 'r':
        result += '\r';
        break;
      case 'n':
        result += '\n';
        break;
      case 't':
        result += '\t';
        break;
      case '\\':
        result += '\\';
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
          error = "\\x needs two hex digits";
          return false;
        }
        result += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        error = std::string("unknown escape \\") + text[i];
        return false;
    }
  }
  out = std::move(result);
  return true;
}

bool ParseScript(const std::string& text, std::vector<ScriptStep>& out, std::string& error) {
  std::vector<ScriptStep> steps;
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string problem;
    if (!ParseLine(line, steps, problem)) {
      error = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
  }
  out = std::move(steps);
  return true;
}

ScriptServer::~ScriptServer() { Stop(); }

void ScriptServer::OnConnectionEnd(std::function<void()> callback) {
  onConnectionEnd_ = std::move(callback);
}

bool ScriptServer::Start(std::vector<ScriptStep> script, uint16_t port) {
  if (thread_.joinable()) return false;
  int wake[2];
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];

  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const int on = 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t addrLen = sizeof addr;
  if (listenFd_ < 0 || ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(listenFd_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &addrLen) != 0) {
    CloseFd(listenFd_);
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
    return false;
  }
  port_ = ntohs(addr.sin_port);
  script_ = std::move(script);
  connections_ = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    transcript_.clear();
  }
  thread_ = std::thread(&ScriptServer::Run, this);
  return true;
}

void ScriptServer::Stop() {
  if (!thread_.joinable()) return;
  const char byte = 1;
  while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
  }
  thread_.join();
  CloseFd(listenFd_);
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
}

std::vector<std::string> ScriptServer::Transcript() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return transcript_;
}

void ScriptServer::Record(std::string line) {
  std::lock_guard<std::mutex> lock(mutex_);
  transcript_.push_back(std::move(line));
}

void ScriptServer::Run() {
  for (;;) {
    pollfd fds[2] = {{wakeRead_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || fds[0].revents != 0) return;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // The client may have gone between poll and accept; anything
      // else (fd exhaustion) would only spin.
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ECONNABORTED || errno == EINTR)
        continue;
      return;
    }
    ++connections_;
    Serve(fd);
    if (onConnectionEnd_) onConnectionEnd_();
  }
}

void ScriptServer::Serve(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  Connection conn(fd, wakeRead_);
  for (const ScriptStep& step : script_) {
    bool more = false;
    switch (step.kind) {
      case ScriptStep::Kind::Send:
        more = conn.SendAll(step.bytes);
        break;
      case ScriptStep::Kind::SendSplit:
        more = true;
        for (size_t i = 0; more && i < step.bytes.size(); ++i) {
          more = (i == 0 || conn.Sleep(step.ms)) && conn.SendAll(step.bytes.substr(i, 1));
        }
        break;
      case ScriptStep::Kind::Expect: {
        std::string line;
        more = conn.ReadLine(step.ms, line);
        if (more) Record(std::move(line));
        break;
      }
      case ScriptStep::Kind::Delay:
        more = conn.Sleep(step.ms);
        break;
      case ScriptStep::Kind::Close:
        break;
      case ScriptStep::Kind::Reset:
        conn.Reset();
        break;
      case ScriptStep::Kind::Stall:
        conn.Stall();
        break;
    }
    if (!more) break;
  }
  conn.CloseGracefully();
}
