#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <memory>
#include <string>

#include "platform/services.h"

// The services on the real Win32 API, each in a file of its own.

// The notification area's icon and balloons; icons come from module.
std::shared_ptr<Tray> CreateWin32Tray(HINSTANCE module);
std::shared_ptr<Menu> CreateWin32Menu();
// Boxes owned by the window mainWindow names when they open, with title as
// the caption they are given none.
std::shared_ptr<Boxes> CreateWin32Boxes(const HWND* mainWindow, std::string title);
std::shared_ptr<Sound> CreateWin32Sound(std::shared_ptr<Files> files);
std::shared_ptr<Files> CreateWin32Files();
std::shared_ptr<Autorun> CreateWin32Autorun();
std::shared_ptr<Credentials> CreateWin32Credentials();
std::shared_ptr<Shell> CreateWin32Shell();
std::shared_ptr<Clock> CreateWin32Clock();
std::shared_ptr<Network> CreateWinsockNetwork();
// The sign-in's services: WinHTTP, Windows Sockets and CNG.
std::shared_ptr<Web> CreateWinHttpWeb();
std::shared_ptr<Listener> CreateWin32Listener();
std::shared_ptr<Random> CreateWin32Random();
std::shared_ptr<Digest> CreateWin32Digest();
