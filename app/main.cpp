// Windows' own headers come with the platform's, in the order they need.
#include "platform/win32/win32_platform.h"

#include "app/tarvik_app.h"
#include "mail/charsets.h"
#include "res/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  Win32Platform platform(instance, {IDR_MAINFRAME, AFX_IDS_APP_TITLE, CodePageForCharset});
  CTarvikApp app(platform);
  if (!app.InitInstance()) return app.StartUpExitCode();
  return app.Run();
}
