// The password store on the Windows Credential Manager: one generic
// credential per account, kept for this user on this computer.
#include <windows.h>
#include <wincred.h>

#include "platform/win32/wide_text.h"
#include "platform/win32/win32_platform.h"

namespace {

// Frees what CredReadW handed out.
struct CredentialFree {
  void operator()(CREDENTIALW* credential) const { CredFree(credential); }
};

}  // namespace

// The password is kept as UTF-16, as the system's own tools keep theirs.
bool Win32Platform::RememberPassword(const std::string& account, const std::string& password) {
  std::wstring target = Widen(account);
  std::wstring secret = Widen(password);
  CREDENTIALW credential{};
  credential.Type = CRED_TYPE_GENERIC;
  credential.TargetName = &target[0];
  credential.CredentialBlobSize = static_cast<DWORD>(secret.size() * sizeof(wchar_t));
  credential.CredentialBlob = reinterpret_cast<BYTE*>(&secret[0]);
  credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
  const bool kept = CredWriteW(&credential, 0) != FALSE;
  SecureZeroMemory(&secret[0], secret.size() * sizeof(wchar_t));
  return kept;
}

bool Win32Platform::FindPassword(const std::string& account, std::string& password) {
  CREDENTIALW* found = nullptr;
  if (!CredReadW(Widen(account).c_str(), CRED_TYPE_GENERIC, 0, &found) || !found) return false;
  const std::unique_ptr<CREDENTIALW, CredentialFree> credential(found);
  password = Narrow(std::wstring(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                                 credential->CredentialBlobSize / sizeof(wchar_t)));
  return true;
}

void Win32Platform::ForgetPassword(const std::string& account) {
  CredDeleteW(Widen(account).c_str(), CRED_TYPE_GENERIC, 0);
}
