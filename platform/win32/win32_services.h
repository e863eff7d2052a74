#pragma once

#include <memory>

#include "platform/digest.h"
#include "platform/listener.h"
#include "platform/random.h"
#include "platform/web.h"

// The sign-in's services on Windows: WinHTTP, Windows Sockets and CNG.
std::unique_ptr<Web> CreateWinHttpWeb();
std::unique_ptr<Listener> CreateWin32Listener();
std::unique_ptr<Random> CreateWin32Random();
std::unique_ptr<Digest> CreateWin32Digest();
