#include <windows.h>

#include "app/tarvik_app.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Win32Platform platform(instance);
  CTarvikApp app(platform);
  if (!app.InitInstance()) return app.StartUpExitCode();
  return app.Run();
}
