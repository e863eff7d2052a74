#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/random.h"

// Random bytes a test chooses: the queued ones in turn, then bytes counting
// up from 1; none at all when it fails.
class FakeRandom : public Random {
 public:
  bool Bytes(size_t count, std::string& bytes) override {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (fails) return false;
    if (!queued.empty()) {
      bytes = queued.front();
      queued.erase(queued.begin());
      return bytes.size() == count;
    }
    bytes.clear();
    while (bytes.size() < count) bytes += static_cast<char>(++m_nNext);
    return true;
  }

  std::vector<std::string> queued;
  bool fails = false;

 private:
  std::mutex m_mutex;
  unsigned char m_nNext = 0;
};
