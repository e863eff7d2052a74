// The password store on the Windows Credential Manager: one generic
// credential per target, kept for this user on this computer.
#include "platform/win32/win32_services.h"

#include <wincred.h>

#include "platform/win32/wide_text.h"

namespace {

// Frees what CredReadW handed out.
struct CredentialFree {
  void operator()(CREDENTIALW* credential) const { CredFree(credential); }
};

// The secret is kept as UTF-16, as the system's own tools keep theirs.
class Win32Credentials : public Credentials {
 public:
  bool Remember(const std::string& target, const std::string& secret) override {
    std::wstring name = Widen(target);
    std::wstring blob = Widen(secret);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = &name[0];
    credential.CredentialBlobSize = static_cast<DWORD>(blob.size() * sizeof(wchar_t));
    credential.CredentialBlob = reinterpret_cast<BYTE*>(&blob[0]);
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    const bool kept = CredWriteW(&credential, 0) != FALSE;
    SecureZeroMemory(&blob[0], blob.size() * sizeof(wchar_t));
    return kept;
  }

  bool Find(const std::string& target, std::string& secret) override {
    CREDENTIALW* found = nullptr;
    if (!CredReadW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0, &found) || !found) return false;
    const std::unique_ptr<CREDENTIALW, CredentialFree> credential(found);
    secret = Narrow(std::wstring(reinterpret_cast<const wchar_t*>(credential->CredentialBlob),
                                 credential->CredentialBlobSize / sizeof(wchar_t)));
    return true;
  }

  void Forget(const std::string& target) override {
    CredDeleteW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0);
  }
};

}  // namespace

std::shared_ptr<Credentials> CreateWin32Credentials() {
  return std::make_shared<Win32Credentials>();
}
