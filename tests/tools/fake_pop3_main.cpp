// fake_pop3: serves a script, or the standard session, on 127.0.0.1 until
// SIGTERM or SIGINT.
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "script_server.h"

namespace {

const char kUsage[] =
    "usage: fake_pop3 --port P (--script FILE | --stat REPLY [--delay MS]) [--transcript FILE]\n"
    "  REPLY and script text use the escapes \\r \\n \\t \\\\ \\xHH\n";

struct Options {
  long port = -1;
  std::string scriptPath;
  std::string stat;
  long delayMs = -1;
  std::string transcriptPath;
};

bool ParseNumber(const std::string& text, long max, long& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::stol(text);
  return value <= max;
}

bool ParseArgs(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; i += 2) {
    const std::string flag = argv[i];
    if (i + 1 >= argc) {
      error = flag + " needs a value";
      return false;
    }
    const std::string value = argv[i + 1];
    bool ok = true;
    if (flag == "--port") {
      ok = ParseNumber(value, 65535, options.port);
    } else if (flag == "--delay") {
      ok = ParseNumber(value, 3600000, options.delayMs);
    } else if (flag == "--script") {
      options.scriptPath = value;
    } else if (flag == "--stat") {
      options.stat = value;
    } else if (flag == "--transcript") {
      options.transcriptPath = value;
    } else {
      error = "unknown option " + flag;
      return false;
    }
    if (!ok) {
      error = "bad number for " + flag + ": " + value;
      return false;
    }
  }
  if (options.port < 0) {
    error = "--port is required";
  } else if (options.scriptPath.empty() == options.stat.empty()) {
    error = "give exactly one of --script and --stat";
  } else if (options.delayMs >= 0 && options.stat.empty()) {
    error = "--delay goes with --stat";
  }
  return error.empty();
}

bool LoadScript(const Options& options, std::vector<ScriptStep>& script, std::string& error) {
  if (options.scriptPath.empty()) {
    std::string reply;
    if (!UnescapeText(options.stat, reply, error)) {
      error = "--stat: " + error;
      return false;
    }
    script = StandardSession(reply, static_cast<int>(std::max(0L, options.delayMs)));
    return true;
  }
  std::ifstream in(options.scriptPath, std::ios::binary);
  std::ostringstream text;
  if (!(in && text << in.rdbuf())) {
    error = "cannot read " + options.scriptPath;
    return false;
  }
  if (!ParseScript(text.str(), script, error)) {
    error = options.scriptPath + ": " + error;
    return false;
  }
  return true;
}

// Written aside and renamed over, so a test polling the file never reads a
// half-written one.
bool WriteTranscript(const std::string& path, const std::vector<std::string>& lines) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines) out << line << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(partial.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<ScriptStep> script;
  std::string error;
  if (!ParseArgs(argc, argv, options, error)) {
    std::cerr << "fake_pop3: " << error << '\n' << kUsage;
    return 2;
  }
  if (!LoadScript(options, script, error)) {
    std::cerr << "fake_pop3: " << error << '\n';
    return 2;
  }

  // Blocked before the server thread exists, so only sigwait below sees them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  ScriptServer server;
  if (!options.transcriptPath.empty()) {
    // Truncates what an earlier run left, so pollers never see stale lines.
    if (!WriteTranscript(options.transcriptPath, {})) {
      std::cerr << "fake_pop3: cannot write " << options.transcriptPath << '\n';
      return 1;
    }
    server.OnConnectionEnd([&server, &options] {
      if (!WriteTranscript(options.transcriptPath, server.Transcript())) {
        std::cerr << "fake_pop3: cannot write " << options.transcriptPath << '\n';
      }
    });
  }
  if (!server.Start(std::move(script), static_cast<uint16_t>(options.port))) {
    std::cerr << "fake_pop3: cannot listen on 127.0.0.1:" << options.port << ": "
              << std::strerror(errno) << '\n';
    return 1;
  }
  std::cout << "listening on " << server.Port() << std::endl;

  int received = 0;
  sigwait(&stopSignals, &received);
  server.Stop();
  return 0;
}
