// Times complete mail checks against a POP3 server on loopback and measures
// the heap that one check needs at its peak.
//
//   check_bench PORT USER PASSWORD RUNS
//
// Prints one line per check: "<milliseconds> <peak heap bytes> ok|failed".
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "res/resource.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/redirect_transport.h"

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

void operator delete(void* pointer) noexcept {
  if (!pointer) return;
  void* block = static_cast<char*>(pointer) - sizeof(max_align_t);
  g_heapInUse -= *static_cast<size_t*>(block);
  std::free(block);
}

void operator delete(void* pointer, size_t) noexcept { operator delete(pointer); }

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: check_bench PORT USER PASSWORD RUNS\n");
    return 2;
  }
  const uint16_t port = static_cast<uint16_t>(std::atoi(argv[1]));
  FakePlatform platform;
  platform.transports = [port] {
    return std::make_unique<RedirectTransport>(CreatePosixTransport(), port, kNetworkTimeoutMs);
  };
  CMainFrame frame(platform, nullptr);
  // Without a settings file the first check has no server to ask.
  if (!frame.Create("Tarvik")) return 1;
  FinishCheck(platform, frame);
  frame.m_strServer = "127.0.0.1";
  frame.m_strUser = argv[2];
  frame.m_strPassword = argv[3];
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
    const bool failed = FakePlatform::IconId(frame.m_nid.hIcon) == IDI_NOTCONNECTED;
    std::printf("%.3f %zu %s\n", took.count(), g_heapPeak - before, failed ? "failed" : "ok");
  }
  return 0;
}
