// libFuzzer target: one input is the server's side of one POP3 session. The
// bytes up to the first 0xFF are readable from the start (the greeting), the
// next part after the first command, and so on. The whole check runs on its
// own thread, with its presentation, against the platform double.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "agent/main_frame.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/memory_transport.h"

namespace {

const char kPassword[] = "fuzz-secret";

void Require(bool condition) {
  if (!condition) std::abort();
}

bool Printable(const std::string& text) {
  for (char c : text)
    if (c < 0x20 || c > 0x7E) return false;
  return true;
}

// What the client may send: the steps that secure the connection (a prefix
// of them when they fail), then a prefix of the whole conversation, or the
// conversation cut short by a refused user name. The whole conversation asks
// for at most three headers, newest first.
bool AllowedTranscript(std::vector<std::string> sent, const std::vector<std::string>& securing,
                       bool secured) {
  const auto isPrefixOf = [&](const std::vector<std::string>& full) {
    return sent.size() <= full.size() && std::equal(sent.begin(), sent.end(), full.begin());
  };
  if (sent.size() <= securing.size()) return isPrefixOf(securing);
  if (!secured || !std::equal(securing.begin(), securing.end(), sent.begin())) return false;
  sent.erase(sent.begin(), sent.begin() + static_cast<long>(securing.size()));
  const std::vector<std::string> refused = {"USER alice", "QUIT"};
  if (isPrefixOf(refused)) return true;
  const std::vector<std::string> login = {"USER alice", std::string("PASS ") + kPassword, "STAT",
                                          "UIDL"};
  if (sent.size() <= login.size()) return isPrefixOf(login);
  if (!std::equal(login.begin(), login.end(), sent.begin())) return false;
  size_t at = login.size();
  long previous = std::numeric_limits<long>::max();
  for (; at < sent.size() && at < login.size() + 3 && sent[at].compare(0, 4, "TOP ") == 0; ++at) {
    char* end = nullptr;
    const long number = std::strtol(sent[at].c_str() + 4, &end, 10);
    if (number < 1 || number >= previous || std::string(end) != " 0") return false;
    previous = number;
  }
  return at == sent.size() || (at + 1 == sent.size() && sent[at] == "QUIT");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryServer server;
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t commands = 0;
  for (size_t start = 0; start <= input.size();) {
    size_t end = input.find('\xff', start);
    if (end == std::string::npos) end = input.size();
    server.Reply(commands++, input.substr(start, end - start));
    start = end + 1;
  }

  // The input's length picks how the connection is secured and how the
  // handshake ends, so the seed corpus keeps its meaning.
  const char* const servers[] = {"pop.example.com", "pop3s://pop.example.com",
                                 "pop3+starttls://pop.example.com"};
  const std::vector<std::string> securing[] = {
      {}, {"<TLS pop.example.com>"}, {"STLS", "<TLS pop.example.com>"}};
  const SecureResult handshakes[] = {SecureResult::kSecured, SecureResult::kHandshakeFailed,
                                     SecureResult::kUntrusted};
  const size_t mode = size % 3;
  server.secureResult = handshakes[size / 3 % 3];

  FakePlatform platform;
  platform.files["C:\\Tools\\tarvik.ini"] =
      std::string(servers[mode]) + "\r\nalice\r\n" + kPassword +
      "\r\n5\r\nTRUE\r\nn.wav\r\nTRUE\r\no.wav\r\nTRUE\r\ne.wav\r\nTRUE\r\n";
  CMainFrame frame(platform, nullptr);
  Require(frame.Create("Tarvik"));
  platform.transports = [&server] { return server.NewSession(); };
  platform.events.clear();

  RunCheck(platform, frame);
  const int picture = frame.Icon().pictureId;
  Require(picture == IDI_NOMAIL || picture == IDI_NEWMAIL || picture == IDI_NOTCONNECTED);
  Require(platform.EventsStartingWith("tray modify").size() <= 2);
  Require(Printable(frame.Icon().tip));
  for (const MessageBoxCall& box : platform.boxes) Require(Printable(box.text));
  // Only a server that says the password itself can make it show.
  if (input.find(kPassword) == std::string::npos)
    for (const std::string& event : platform.events)
      Require(event.find(kPassword) == std::string::npos);
  Require(AllowedTranscript(server.transcript, securing[mode],
                            mode == 0 || server.secureResult == SecureResult::kSecured));
  Require(server.socketsOpened == server.socketsClosed);
  Require(server.startups == server.cleanups);
  return 0;
}
