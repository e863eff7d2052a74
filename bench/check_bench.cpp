// Times complete mail checks against POP3 or IMAP servers on loopback (IMAP
// polled, as without push) and measures the heap that they need at their
// peak.
//
//   check_bench [--apart] SERVERS USERS PASSWORD RUNS [CA_FILE]
//
// SERVERS are server texts as the settings hold them ("127.0.0.1:11310",
// "pop3s://localhost:11311", "imap://127.0.0.1:11313"), separated by commas:
// one account each, with the user name at the same place in USERS or the
// only one given there. Each run checks every account, side by side as the
// program does, or with --apart one after another. CA_FILE names the roots
// TLS trusts.
//
// Prints one line per run: "<milliseconds> <peak heap bytes> ok|failed
// <bytes of the first account's seen file>", then one line per file the
// checks left: "file <path> <bytes>".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "settings/seen_mail_file.h"
#include "settings/settings_file.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"

namespace {

std::vector<std::string> Split(const std::string& text) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == ',')
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

// The checks' own threads allocate too.
std::atomic<size_t> g_heapInUse{0};
std::atomic<size_t> g_heapPeak{0};

}  // namespace

// Counting allocator: each block carries its size in front of it.
void* operator new(size_t size) {
  void* block = std::malloc(size + sizeof(max_align_t));
  if (!block) std::abort();
  *static_cast<size_t*>(block) = size;
  const size_t inUse = g_heapInUse += size;
  size_t peak = g_heapPeak;
  while (inUse > peak && !g_heapPeak.compare_exchange_weak(peak, inUse)) {
  }
  return static_cast<char*>(block) + sizeof(max_align_t);
}

// Inlined into code of this file, gcc takes the block for the object that
// operator new handed out and warns about the size in front of it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* pointer) noexcept {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - sizeof(max_align_t);
  g_heapInUse -= *static_cast<size_t*>(block);
  std::free(block);
}

void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }
#pragma GCC diagnostic pop

int main(int argc, char** argv) {
  const bool apart = argc > 1 && std::string(argv[1]) == "--apart";
  if (apart) {
    ++argv;
    --argc;
  }
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: check_bench [--apart] SERVERS USERS PASSWORD RUNS [CA_FILE]\n");
    return 2;
  }
  const std::string caFile = argc == 6 ? argv[5] : "";
  FakePlatform platform;
  platform.transports = [caFile] { return CreatePosixTransport(caFile); };
  CMainFrame frame(platform, nullptr);
  // Without a settings file the first check has no server to ask.
  if (!frame.Create("Tarvik")) return 1;
  FinishCheck(platform, frame);
  const std::vector<std::string> servers = Split(argv[1]), users = Split(argv[2]);
  std::vector<AccountSettings> accounts(servers.size());
  for (size_t i = 0; i < servers.size(); ++i) {
    accounts[i].server = servers[i];
    accounts[i].user = users.size() == servers.size() ? users[i] : users.front();
    accounts[i].password = argv[3];
    accounts[i].id = static_cast<int>(i) + 1;
    // Each check a whole one: an IMAP connection is not held between them.
    accounts[i].push = false;
  }
  ChangeSettings(frame, [&](MailSettings& s) { SetAccounts(s, accounts); });
  const int runs = std::atoi(argv[4]);
  for (int run = 0; run < runs; ++run) {
    platform.events.clear();
    platform.trayRecords.clear();
    const size_t before = g_heapInUse;
    g_heapPeak = before;
    const auto started = std::chrono::steady_clock::now();
    if (apart) {
      for (size_t i = 0; i < accounts.size(); ++i) {
        frame.Monitor(i).Check();
        FinishCheck(platform, frame);
      }
    } else {
      RunCheck(platform, frame);
    }
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    bool failed = false;
    for (size_t i = 0; i < accounts.size(); ++i) failed = failed || frame.Monitor(i).memory.failed;
    const auto seen =
        platform.files.find(SeenMailPathOf(SettingsPathFor(platform.ModuleFileName()), AccountSettings(), true));
    std::printf("%.3f %zu %s %zu\n", took.count(), g_heapPeak - before, failed ? "failed" : "ok",
                seen == platform.files.end() ? size_t{0} : seen->second.size());
  }
  for (const auto& [path, content] : platform.files)
    std::printf("file %s %zu\n", path.c_str(), content.size());
  return 0;
}
