// send_to_frame: posts one message to the program's hidden frame window, as
// the system would, for the end-to-end tests.
//
//   send_to_frame MESSAGE WPARAM
//
// MESSAGE and WPARAM are numbers (0x... for hexadecimal). Exits 1 when no
// frame window was found.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: send_to_frame MESSAGE WPARAM\n");
    return 2;
  }
  const HWND frame = FindWindowW(L"TarvikFrame", nullptr);
  if (!frame) {
    std::fprintf(stderr, "send_to_frame: the program's frame window was not found\n");
    return 1;
  }
  const UINT message = static_cast<UINT>(std::strtoul(argv[1], nullptr, 0));
  const WPARAM wParam = static_cast<WPARAM>(std::strtoul(argv[2], nullptr, 0));
  return SendMessageW(frame, message, wParam, 0) ? 0 : 3;
}
