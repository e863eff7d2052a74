// Times the header reader over hostile header blocks of 64 KiB, the most a
// check keeps of one message: a Subject folded into many lines of encoded
// words that never close, one run of words that all end at its far end, and
// a long run of base64 padding behind many words.
//
//   header_bench [RUNS]
//
// Prints one line per block: its name, its size and the best time of RUNS
// (5 by default) decodes in milliseconds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "mail/header_reader.h"

namespace {

constexpr size_t kHeaderBytes = 64 * 1024;

// "Subject: " and then piece again and again, each time after fold, until the
// block holds kHeaderBytes; tail last.
std::string Block(const std::string& piece, const std::string& fold, const std::string& tail) {
  std::string header = "Subject: ";
  while (header.size() + fold.size() + piece.size() + tail.size() + 4 <= kHeaderBytes)
    header += fold + piece;
  return header + tail + "\r\n\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const struct {
    const char* name;
    std::string header;
  } blocks[] = {
      {"folded unclosed words", Block("=?utf-8?q?abcdef", "\r\n ", "")},
      {"one run of words, closed at its end", Block("=?a?q?z", "", "?=")},
      {"words before a run of padding", Block("=?a?b?x", "", std::string(32 * 1024, '=') + "?=")},
  };
  for (const auto& block : blocks) {
    double best = 0;
    for (int run = 0; run < runs; ++run) {
      const auto started = std::chrono::steady_clock::now();
      const MailSummary summary = ReadMailSummary(block.header, nullptr);
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - started;
      if (summary.subject.empty()) return 1;
      if (run == 0 || took.count() < best) best = took.count();
    }
    std::printf("%-40s %6zu bytes %10.3f ms\n", block.name, block.header.size(), best);
  }
  return 0;
}
