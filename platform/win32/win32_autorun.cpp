// Values in the Run keys of the machine (every user) and of the user.
#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_services.h"
#include "platform/win32/wide_text.h"

namespace {

constexpr wchar_t kRunKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

HKEY RootKey(RunScope scope) {
  return scope == RunScope::kEveryUser ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// With all access rights, as a change needs; created when a fresh user
// profile has no Run key yet. Without administrator rights the machine's
// key refuses this.
bool OpenForWriting(RunScope scope, ScopedKey& key) {
  wchar_t keyClass[] = L"REG_SZ";
  return RegCreateKeyExW(RootKey(scope), kRunKeyPath, 0, keyClass, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS;
}

class Win32Autorun : public Autorun {
 public:
  bool MayChange(RunScope scope) override {
    ScopedKey key;
    return OpenForWriting(scope, key);
  }

  bool IsOn(RunScope scope, const std::string& name) override {
    ScopedKey key;
    return RegOpenKeyExW(RootKey(scope), kRunKeyPath, 0, KEY_QUERY_VALUE, key.Receive()) ==
               ERROR_SUCCESS &&
           RegQueryValueExW(key.Get(), Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr) ==
               ERROR_SUCCESS;
  }

  // The stored length includes the terminating NUL, as the registry asks of
  // a string value, so that no reader of the value can run past its end.
  bool TurnOn(RunScope scope, const std::string& name, const std::string& command) override {
    ScopedKey key;
    const std::wstring text = Widen(command);
    return OpenForWriting(scope, key) &&
           RegSetValueExW(key.Get(), Widen(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
  }

  bool TurnOff(RunScope scope, const std::string& name) override {
    ScopedKey key;
    if (!OpenForWriting(scope, key)) return !IsOn(scope, name);
    const LONG result = RegDeleteValueW(key.Get(), Widen(name).c_str());
    return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
  }
};

}  // namespace

std::shared_ptr<Autorun> CreateWin32Autorun() { return std::make_shared<Win32Autorun>(); }
