// Times push: how long a message that lands in the maildir of an IMAP
// account takes to be presented by the program watching it, and what the
// account's held connection costs while nothing happens.
//
//   push_bench SERVER USER PASSWORD MAILDIR DELIVERIES IDLE_SECONDS
//
// SERVER is an imap:// server text. Each delivery is written into MAILDIR's
// tmp/, owned as the maildir is, and moved into new/ as a delivery agent
// does; the clock starts at that move and stops when the frame has shown the
// count and its balloon; each lands half a second after the last balloon,
// with the connection back in IDLE. Then nothing happens for IDLE_SECONDS
// while every thread but the frame's is watched.
//
// Prints "push <milliseconds>" per delivery, then "idle <thread> <name>
// <voluntary context switches> <kernel function it waits in>" per thread
// other than the frame's.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/main_frame.h"
#include "platform/posix/posix_transport.h"
#include "tests/double/check_driver.h"
#include "tests/double/fake_platform.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string FirstLine(const std::string& path, const std::string& key = std::string()) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key, 0) == 0) return line.substr(key.size());
  return std::string();
}

// Lands one message in the maildir; false when it could not be written.
bool Land(const std::string& maildir, int number) {
  const std::string name = std::to_string(1800000000 + number) + ".M" +
                           std::to_string(number) + "P1.pushbench";
  const std::string temporary = maildir + "/tmp/" + name;
  std::ofstream(temporary) << "From: Bench <bench@example.test>\nSubject: Push " << number
                           << "\n\nHello.\n";
  struct stat owner;
  return stat(maildir.c_str(), &owner) == 0 &&
         chown(temporary.c_str(), owner.st_uid, owner.st_gid) == 0 &&
         std::rename(temporary.c_str(), (maildir + "/new/" + name).c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: push_bench SERVER USER PASSWORD MAILDIR DELIVERIES IDLE_SECONDS\n");
    return 2;
  }
  FakePlatform platform;
  platform.transports = [] { return CreatePosixTransport(); };
  platform.files["C:\\Tools\\tarvik.ini"] = "";
  CMainFrame frame(platform, nullptr);
  if (!frame.Create("Tarvik")) return 1;
  ChangeSettings(frame, [&](MailSettings& s) {
    s.m_strServer = argv[1];
    s.m_strUser = argv[2];
    s.m_strPassword = argv[3];
  });
  RunCheck(platform, frame);
  // The frame's own loop runs on; a balloon comes before the connection is
  // back in IDLE, and a message landing before then would be told at once
  // by IDLE's start, not pushed.
  const auto settle = [&platform] {
    platform.RunUntil([] { return false; }, std::chrono::milliseconds(500), false);
  };
  const int deliveries = std::atoi(argv[5]);
  for (int number = 1; number <= deliveries; ++number) {
    settle();
    const size_t shown = platform.balloons.size();
    if (!Land(argv[4], number)) return 1;
    const auto landed = SteadyClock::now();
    if (!platform.RunUntil([&] { return platform.balloons.size() > shown; },
                           std::chrono::seconds(30), false))
      return 1;
    const std::chrono::duration<double, std::milli> took = SteadyClock::now() - landed;
    std::printf("push %.1f\n", took.count());
  }
  std::fflush(stdout);

  const std::string self = std::to_string(getpid());
  const auto switches = [&self] {
    std::vector<std::pair<std::string, long>> threads;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      const std::string id = task.path().filename();
      if (id == self) continue;
      threads.push_back(
          {id, std::atol(FirstLine(task.path() / "status", "voluntary_ctxt_switches:").c_str())});
    }
    return threads;
  };
  settle();
  const auto before = switches();
  platform.RunUntil([] { return false; }, std::chrono::seconds(std::atoi(argv[6])), false);
  for (const auto& [id, count] : before) {
    long after = count;
    for (const auto& [now, counted] : switches())
      if (now == id) after = counted;
    const std::string task = "/proc/self/task/" + id;
    std::printf("idle %s %s %ld %s\n", id.c_str(), FirstLine(task + "/comm").c_str(),
                after - count, FirstLine(task + "/wchan").c_str());
  }
  return 0;
}
