// Soak run: many consecutive checks against scripted servers, one check per
// server in turn, watching this process's heap, resident size and open
// descriptors for growth. The servers run in processes of their own, so
// that what they record does not count here.
//
//   soak CHECKS PORT...
#include <dirent.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"
#include "tests/double/redirect_transport.h"

namespace {

constexpr int kTimeoutMs = 50;

int OpenDescriptors() {
  int count = 0;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (readdir(fds)) ++count;
    closedir(fds);
  }
  return count - 3;  // ".", ".." and the directory's own descriptor
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: soak CHECKS PORT...\n");
    return 2;
  }
  const int checks = std::atoi(argv[1]);
  std::vector<uint16_t> ports;
  for (int i = 2; i < argc; ++i) ports.push_back(static_cast<uint16_t>(std::atoi(argv[i])));
  uint16_t port = 0;
  FakePlatform platform;
  platform.transports = [&port] {
    return std::make_unique<RedirectTransport>(CreatePosixTransport(), port, kTimeoutMs);
  };
  CMainFrame frame(platform, nullptr);
  // Without a settings file the first check has no server to ask.
  if (!frame.Create("Tarvik")) return 1;
  FinishCheck(platform, frame);
  ChangeSettings(frame, [&](MailSettings& s) {
    s.m_strServer = "127.0.0.1";
    s.m_strUser = "soak";
    s.m_strPassword = "soak";
    s.m_bShowCount = 1;
  });

  // How often each picture was shown last, and the boxes.
  std::map<int, int> pictures;
  size_t boxes = 0;
  std::printf("%8s %12s %12s %8s\n", "checks", "heap bytes", "resident KiB", "open fds");
  for (int check = 1; check <= checks; ++check) {
    port = ports[static_cast<size_t>(check) % ports.size()];
    RunCheck(platform, frame);
    ++pictures[frame.Icon().pictureId];
    boxes += platform.boxes.size();
    platform.events.clear();
    platform.trayRecords.clear();
    platform.boxes.clear();
    if (check == 100 || check % 1000 == 0)
      std::printf("%8d %12zu %12ld %8d\n", check, mallinfo2().uordblks, ResidentKiB(),
                  OpenDescriptors());
  }
  std::printf("pictures:");
  for (const auto& [picture, count] : pictures) std::printf(" %d x%d", picture, count);
  std::printf("; message boxes: %zu\n", boxes);
  return 0;
}
