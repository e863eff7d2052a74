// frame_ping: how long the program's hidden frame takes to answer a message,
// as the system sees it when it decides whether a program is responding.
//
//   frame_ping COUNT
//
// Sends WM_NULL to the frame COUNT times, 10 ms apart, each with a limit of
// five seconds, and prints one line per message: the milliseconds it took,
// or "timeout".
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  const HWND frame = FindWindowA("TarvikFrame", nullptr);
  if (!frame) {
    std::fprintf(stderr, "frame_ping: the program's frame window was not found\n");
    return 1;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int i = 0; i < count; ++i) {
    LARGE_INTEGER before, after;
    DWORD_PTR result = 0;
    QueryPerformanceCounter(&before);
    const LRESULT answered = SendMessageTimeoutA(frame, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result);
    QueryPerformanceCounter(&after);
    if (answered)
      std::printf("%.3f\n", static_cast<double>(after.QuadPart - before.QuadPart) * 1000.0 /
                                static_cast<double>(frequency.QuadPart));
    else
      std::printf("timeout\n");
    Sleep(10);
  }
  return 0;
}
