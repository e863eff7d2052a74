#pragma once

// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

// One owner for each kind of Windows handle: closed when the owner goes,
// never by hand.
template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;

  Scoped() = default;
  explicit Scoped(Handle handle) : m_handle(handle) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;
  Scoped(Scoped&& other) noexcept : m_handle(other.Release()) {}
  Scoped& operator=(Scoped&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  Handle Get() const { return m_handle; }
  bool Valid() const { return m_handle != Traits::Invalid(); }
  // Where a call that opens a handle writes it; whatever was held goes first.
  Handle* Receive() {
    Reset();
    return &m_handle;
  }
  Handle Release() {
    const Handle handle = m_handle;
    m_handle = Traits::Invalid();
    return handle;
  }
  void Reset(Handle handle = Traits::Invalid()) {
    if (Valid()) Traits::Close(m_handle);
    m_handle = handle;
  }

 private:
  Handle m_handle = Traits::Invalid();
};

struct FileTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

// Events, mutexes, processes and threads: null when there is none.
struct KernelTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

struct KeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { RegCloseKey(handle); }
};

struct SocketTraits {
  using Handle = SOCKET;
  static Handle Invalid() { return INVALID_SOCKET; }
  static void Close(Handle handle) { closesocket(handle); }
};

struct SocketEventTraits {
  using Handle = WSAEVENT;
  static Handle Invalid() { return WSA_INVALID_EVENT; }
  static void Close(Handle handle) { WSACloseEvent(handle); }
};

using ScopedFile = Scoped<FileTraits>;
using ScopedEvent = Scoped<KernelTraits>;
using ScopedMutex = Scoped<KernelTraits>;
using ScopedProcess = Scoped<KernelTraits>;
using ScopedKey = Scoped<KeyTraits>;
using ScopedSocket = Scoped<SocketTraits>;
using ScopedSocketEvent = Scoped<SocketEventTraits>;
