#pragma once

#include <memory>
#include <string>

#include "platform/digest.h"
#include "platform/listener.h"
#include "platform/random.h"
#include "platform/web.h"

// The sign-in's services for the native build. caFile names the roots a web
// server's certificate must chain to; empty means the system's.
std::unique_ptr<Web> CreatePosixWeb(const std::string& caFile = std::string());
std::unique_ptr<Listener> CreatePosixListener();
std::unique_ptr<Random> CreatePosixRandom();
std::unique_ptr<Digest> CreatePosixDigest();
