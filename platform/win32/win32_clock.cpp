// The local time, for the log.
#include "platform/win32/win32_services.h"

#include <cstdio>

namespace {

class Win32Clock : public Clock {
 public:
  std::string LocalTimeText() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond);
    return text;
  }
};

}  // namespace

std::shared_ptr<Clock> CreateWin32Clock() { return std::make_shared<Win32Clock>(); }
