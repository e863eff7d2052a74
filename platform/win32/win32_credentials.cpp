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

// A password is kept as UTF-16, as the system's own tools keep theirs;
// bytes (a sign-in's token) as they are.
class Win32Credentials : public Credentials {
 public:
  bool Remember(const std::string& target, const std::string& secret) override {
    std::wstring blob = Widen(secret);
    const bool kept = Write(target, &blob[0], blob.size() * sizeof(wchar_t));
    SecureZeroMemory(&blob[0], blob.size() * sizeof(wchar_t));
    return kept;
  }

  bool Find(const std::string& target, std::string& secret) override {
    std::string bytes;
    if (!FindBytes(target, bytes)) return false;
    secret = Narrow(std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()),
                                 bytes.size() / sizeof(wchar_t)));
    SecureZeroMemory(&bytes[0], bytes.size());
    return true;
  }

  bool RememberBytes(const std::string& target, const std::string& bytes) override {
    std::string blob = bytes;
    const bool kept = Write(target, &blob[0], blob.size());
    SecureZeroMemory(&blob[0], blob.size());
    return kept;
  }

  bool FindBytes(const std::string& target, std::string& bytes) override {
    CREDENTIALW* found = nullptr;
    if (!CredReadW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0, &found) || !found) return false;
    const std::unique_ptr<CREDENTIALW, CredentialFree> credential(found);
    bytes.assign(reinterpret_cast<const char*>(credential->CredentialBlob),
                 credential->CredentialBlobSize);
    return true;
  }

  void Forget(const std::string& target) override {
    CredDeleteW(Widen(target).c_str(), CRED_TYPE_GENERIC, 0);
  }

 private:
  static bool Write(const std::string& target, void* blob, size_t size) {
    std::wstring name = Widen(target);
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = &name[0];
    credential.CredentialBlobSize = static_cast<DWORD>(size);
    credential.CredentialBlob = static_cast<BYTE*>(blob);
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0) != FALSE;
  }
};

}  // namespace

std::shared_ptr<Credentials> CreateWin32Credentials() {
  return std::make_shared<Win32Credentials>();
}
