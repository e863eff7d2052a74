// frame_ping: how long the program's hidden frame takes to answer a message,
// as the system sees it when it decides whether a program is responding.
//
//   frame_ping COUNT [MESSAGE [WPARAM]]
//
// Sends WM_NULL, or the message given (a number, 0x... for hexadecimal), to
// the frame COUNT times, 10 ms apart, each with a limit of five seconds, and
// prints one line per message: the milliseconds it took, or "timeout". The
// end-to-end tests send the system's messages with it, such as a resume.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 100;
  const UINT message = argc > 2 ? static_cast<UINT>(std::strtoul(argv[2], nullptr, 0)) : WM_NULL;
  const WPARAM wParam = argc > 3 ? static_cast<WPARAM>(std::strtoul(argv[3], nullptr, 0)) : 0;
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
    const LRESULT answered =
        SendMessageTimeoutA(frame, message, wParam, 0, SMTO_NORMAL, 5000, &result);
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
