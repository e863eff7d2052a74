// What the program starts through the system: the registered mail program,
// web addresses and files, and command lines.
#include "platform/win32/scoped_handle.h"
#include "platform/win32/win32_services.h"

#include <shellapi.h>
#include <cwchar>
#include <vector>

#include "platform/win32/wide_text.h"

namespace {

// The default value of a key as text, its %VAR% strings left for Run to
// expand: RegGetValueW refuses to read REG_EXPAND_SZ values unless told not
// to expand them.
std::wstring DefaultValue(HKEY root, const std::wstring& key) {
  DWORD bytes = 0;
  const DWORD types = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
  if (RegGetValueW(root, key.c_str(), nullptr, types, nullptr, nullptr, &bytes) != ERROR_SUCCESS ||
      bytes < sizeof(wchar_t))
    return std::wstring();
  std::wstring value(bytes / sizeof(wchar_t), L'\0');
  if (RegGetValueW(root, key.c_str(), nullptr, types, nullptr, &value[0], &bytes) != ERROR_SUCCESS)
    return std::wstring();
  value.resize(std::wcslen(value.c_str()));
  return value;
}

class Win32Shell : public Shell {
 public:
  std::string RegisteredMailCommand() override;
  bool Open(const std::string& target) override;
  bool Run(const std::string& commandLine) override;
};

std::string Win32Shell::RegisteredMailCommand() {
  const std::wstring clients = L"Software\\Clients\\Mail";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    const std::wstring name = DefaultValue(root, clients);
    if (name.empty()) continue;
    const std::wstring command =
        DefaultValue(root, clients + L"\\" + name + L"\\shell\\open\\command");
    if (!command.empty()) return Narrow(command);
  }
  return std::string();
}

bool Win32Shell::Open(const std::string& target) {
  // Values above 32 mean success.
  const HINSTANCE result =
      ShellExecuteW(nullptr, L"open", Widen(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

// CreateProcessW may write into the line it is given, so it gets a copy.
bool Win32Shell::Run(const std::string& commandLine) {
  const std::wstring line = Widen(commandLine);
  const DWORD size = ExpandEnvironmentStringsW(line.c_str(), nullptr, 0);
  if (size == 0) return false;
  std::vector<wchar_t> expanded(size);
  if (ExpandEnvironmentStringsW(line.c_str(), expanded.data(), size) > size) return false;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, expanded.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  const ScopedProcess thread(process.hThread);
  const ScopedProcess started(process.hProcess);
  return true;
}

}  // namespace

std::shared_ptr<Shell> CreateWin32Shell() { return std::make_shared<Win32Shell>(); }
