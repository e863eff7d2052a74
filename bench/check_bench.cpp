// Times complete mail checks against a POP3 or IMAP server on loopback (IMAP
// polled, as without push) and measures the heap that one check needs at its
// peak.
//
//   check_bench SERVER USER PASSWORD RUNS [CA_FILE]
//
// SERVER is the server text as the settings hold it ("127.0.0.1:11310",
// "pop3s://localhost:11311", "imap://127.0.0.1:11313"); CA_FILE names the
// roots TLS trusts.
//
// Prints one line per check: "<milliseconds> <peak heap bytes> ok|failed",
// then one line per file the checks left: "file <path> <bytes>".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "res/resource.h"
#include "settings/seen_mail_file.h"
#include "settings/settings_file.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"

namespace {

// The check's own thread allocates too.
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
  if (argc != 5 && argc != 6) {
    std::fprintf(stderr, "usage: check_bench SERVER USER PASSWORD RUNS [CA_FILE]\n");
    return 2;
  }
  const std::string caFile = argc == 6 ? argv[5] : "";
  FakePlatform platform;
  platform.transports = [caFile] { return CreatePosixTransport(caFile); };
  CMainFrame frame(platform, nullptr);
  // Without a settings file the first check has no server to ask.
  if (!frame.Create("Tarvik")) return 1;
  FinishCheck(platform, frame);
  ChangeSettings(frame, [&](MailSettings& s) {
    s.m_strServer = argv[1];
    s.m_strUser = argv[2];
    s.m_strPassword = argv[3];
    // Each check a whole one: an IMAP connection is not held between them.
    s.first.push = false;
  });
  const int runs = std::atoi(argv[4]);
  for (int run = 0; run < runs; ++run) {
    platform.events.clear();
    platform.trayRecords.clear();
    const size_t before = g_heapInUse;
    g_heapPeak = before;
    const auto started = std::chrono::steady_clock::now();
    RunCheck(platform, frame);
    const std::chrono::duration<double, std::milli> took =
        std::chrono::steady_clock::now() - started;
    const bool failed = frame.Icon().pictureId == IDI_NOTCONNECTED;
    const auto seen =
        platform.files.find(SeenMailPathOf(SettingsPathFor(platform.ModuleFileName()), AccountSettings(), true));
    std::printf("%.3f %zu %s %zu\n", took.count(), g_heapPeak - before, failed ? "failed" : "ok",
                seen == platform.files.end() ? size_t{0} : seen->second.size());
  }
  for (const auto& [path, content] : platform.files)
    std::printf("file %s %zu\n", path.c_str(), content.size());
  return 0;
}
