#include "platform/win32/schannel_stream.h"

// The newer credentials record (TLS 1.3) is only declared with this.
#define SCHANNEL_USE_BLACKLISTS
#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/deadline.h"

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
// Schannel is told not to judge the certificate: Trusted does, the same way
// on every system.
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
constexpr size_t kReadChunk = 16 * 1024;

bool IsLiteralAddress(const std::string& host) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return false;
  freeaddrinfo(found);
  return true;
}

struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CertificateFree {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};

}  // namespace

struct SchannelState {
  ~SchannelState() {
    if (bContext) DeleteSecurityContext(&context);
    if (bCredentials) FreeCredentialsHandle(&credentials);
  }

  // TLS 1.2 and 1.3 through the newer record; systems that do not know it
  // refuse it, and then get TLS 1.2 through the older one.
  bool AcquireCredentials() {
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols = ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT |
                                                            SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kCredentialFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    char package[] = UNISP_NAME_A;
    bCredentials = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                             &modern, nullptr, nullptr, &credentials,
                                             nullptr) == SEC_E_OK;
    if (bCredentials) return true;
    SCHANNEL_CRED legacy{};
    legacy.dwVersion = SCHANNEL_CRED_VERSION;
    legacy.dwFlags = kCredentialFlags;
    legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    bCredentials = AcquireCredentialsHandleA(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                             &legacy, nullptr, nullptr, &credentials,
                                             nullptr) == SEC_E_OK;
    return bCredentials;
  }

  CredHandle credentials{};
  bool bCredentials = false;
  CtxtHandle context{};
  bool bContext = false;
  SecPkgContext_StreamSizes sizes{};
  // The name sent for SNI; null for a literal address.
  char* targetName = nullptr;
};

SchannelStream::SchannelStream(RawChannel& raw)
    : m_raw(raw), m_state(std::make_unique<SchannelState>()) {}

SchannelStream::~SchannelStream() = default;

bool SchannelStream::ReadMore(int timeoutMs) {
  char chunk[kReadChunk];
  const int count = m_raw.ReceiveRaw(chunk, sizeof chunk, timeoutMs);
  if (count <= 0) return false;
  m_encrypted.append(chunk, static_cast<size_t>(count));
  return true;
}

// Runs handshake messages until the context is complete. Also serves the
// messages a server may send later (TLS 1.3 tickets), which Schannel hands
// back from decryption to be fed in here.
bool SchannelStream::Negotiate(int timeoutMs) {
  const Deadline deadline(timeoutMs);
  bool needMore = false;
  bool credentialsAsked = false;
  for (;;) {
    if (needMore && !ReadMore(deadline.MsLeft())) return false;
    const bool first = !m_state->bContext;
    SecBuffer input[2] = {
        {static_cast<unsigned long>(m_encrypted.size()), SECBUFFER_TOKEN, &m_encrypted[0]},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inputDesc{SECBUFFER_VERSION, 2, input};
    SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outputDesc{SECBUFFER_VERSION, 1, output};
    unsigned long attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextA(
        &m_state->credentials, first ? nullptr : &m_state->context, m_state->targetName,
        kContextFlags, 0, 0, first ? nullptr : &inputDesc, 0, first ? &m_state->context : nullptr,
        &outputDesc, &attributes, nullptr);
    if (first && (status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED))
      m_state->bContext = true;
    if (output[0].pvBuffer) {
      const bool sent =
          output[0].cbBuffer == 0 ||
          m_raw.SendRaw(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer,
                        deadline.MsLeft());
      FreeContextBuffer(output[0].pvBuffer);
      if (!sent) return false;
    }
    if (deadline.MsLeft() == 0) return false;
    switch (status) {
      case SEC_E_INCOMPLETE_MESSAGE:
        needMore = true;
        continue;
      case SEC_I_INCOMPLETE_CREDENTIALS:
        // The server asked for a client certificate; there is none to give.
        // Asked again, the handshake would never end.
        if (credentialsAsked) return false;
        credentialsAsked = true;
        needMore = false;
        continue;
      case SEC_E_OK:
      case SEC_I_CONTINUE_NEEDED:
        break;
      default:
        return false;
    }
    // What follows the last message used (the greeting, with the final
    // handshake message) stays for decryption.
    if (!first && input[1].BufferType == SECBUFFER_EXTRA && input[1].cbBuffer > 0)
      m_encrypted.erase(0, m_encrypted.size() - input[1].cbBuffer);
    else if (!first)
      m_encrypted.clear();
    if (status == SEC_E_OK) return true;
    needMore = m_encrypted.empty();
  }
}

bool SchannelStream::Trusted(const std::string& serverName) {
  PCCERT_CONTEXT remote = nullptr;
  if (QueryContextAttributesA(&m_state->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) !=
          SEC_E_OK ||
      !remote)
    return false;
  const std::unique_ptr<const CERT_CONTEXT, CertificateFree> certificate(remote);

  char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {serverAuth};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT built = nullptr;
  // The server's own certificates are where intermediate ones are found.
  if (!CertGetCertificateChain(nullptr, remote, nullptr, remote->hCertStore, &chainPara, 0,
                               nullptr, &built) ||
      !built)
    return false;
  const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(built);

  const int length = MultiByteToWideChar(CP_ACP, 0, serverName.c_str(), -1, nullptr, 0);
  if (length <= 0) return false;
  std::wstring wideName(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, serverName.c_str(), -1, &wideName[0], length);
  SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
  ssl.cbSize = sizeof ssl;
  ssl.dwAuthType = AUTHTYPE_SERVER;
  ssl.pwszServerName = &wideName[0];
  CERT_CHAIN_POLICY_PARA policy{};
  policy.cbSize = sizeof policy;
  policy.pvExtraPolicyPara = &ssl;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  // Both must be clean: some systems' policy check passes a chain whose own
  // status says it does not reach a trusted root.
  return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, built, &policy, &status) &&
         status.dwError == 0 && built->TrustStatus.dwErrorStatus == 0;
}

SecureResult SchannelStream::Handshake(const std::string& serverName, int timeoutMs) {
  m_strServerName = serverName;
  m_state->targetName = IsLiteralAddress(serverName) ? nullptr : &m_strServerName[0];
  if (!m_state->AcquireCredentials() || !Negotiate(timeoutMs))
    return SecureResult::kHandshakeFailed;
  if (!Trusted(serverName)) return SecureResult::kUntrusted;
  if (QueryContextAttributesA(&m_state->context, SECPKG_ATTR_STREAM_SIZES, &m_state->sizes) !=
      SEC_E_OK)
    return SecureResult::kHandshakeFailed;
  return SecureResult::kSecured;
}

bool SchannelStream::Send(const std::string& bytes, int timeoutMs) {
  const SecPkgContext_StreamSizes& sizes = m_state->sizes;
  for (size_t done = 0; done < bytes.size();) {
    const size_t count = std::min<size_t>(bytes.size() - done, sizes.cbMaximumMessage);
    std::string record(sizes.cbHeader + count + sizes.cbTrailer, '\0');
    std::memcpy(&record[sizes.cbHeader], bytes.data() + done, count);
    SecBuffer buffers[4] = {
        {sizes.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
        {static_cast<unsigned long>(count), SECBUFFER_DATA, &record[sizes.cbHeader]},
        {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[sizes.cbHeader + count]},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&m_state->context, 0, &desc, 0) != SEC_E_OK) return false;
    const size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
    if (!m_raw.SendRaw(record.data(), total, timeoutMs)) return false;
    done += count;
  }
  return true;
}

// A record may hold several replies or part of one: whatever is decrypted
// waits in m_plain, whatever is not yet a whole record in m_encrypted.
int SchannelStream::Receive(char* buffer, int capacity, int timeoutMs) {
  const Deadline deadline(timeoutMs);
  for (;;) {
    if (!m_plain.empty()) {
      const size_t count = std::min(m_plain.size(), static_cast<size_t>(capacity));
      std::memcpy(buffer, m_plain.data(), count);
      m_plain.erase(0, count);
      return static_cast<int>(count);
    }
    if (m_bClosed) return 0;
    SECURITY_STATUS status = SEC_E_INCOMPLETE_MESSAGE;
    if (!m_encrypted.empty()) {
      SecBuffer buffers[4] = {
          {static_cast<unsigned long>(m_encrypted.size()), SECBUFFER_DATA, &m_encrypted[0]},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr},
          {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      status = DecryptMessage(&m_state->context, &desc, 0, nullptr);
      if (status == SEC_E_OK || status == SEC_I_RENEGOTIATE || status == SEC_I_CONTEXT_EXPIRED) {
        std::string extra;
        for (const SecBuffer& part : buffers) {
          if (part.BufferType == SECBUFFER_DATA)
            m_plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
          if (part.BufferType == SECBUFFER_EXTRA)
            extra.assign(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
        }
        m_encrypted.swap(extra);
        // The server's close_notify: what came before it is still read.
        if (status == SEC_I_CONTEXT_EXPIRED) m_bClosed = true;
        if (status == SEC_I_RENEGOTIATE && !Negotiate(std::max(deadline.MsLeft(), 1)))
          return -1;
        continue;
      }
      if (status != SEC_E_INCOMPLETE_MESSAGE) return -1;
    }
    const int count = m_raw.ReceiveRaw(buffer, capacity, timeoutMs == 0 ? 0 : deadline.MsLeft());
    if (count <= 0) return count == 0 && m_encrypted.empty() ? 0 : -1;
    m_encrypted.append(buffer, static_cast<size_t>(count));
  }
}

void SchannelStream::Close(int timeoutMs) {
  DWORD shutdown = SCHANNEL_SHUTDOWN;
  SecBuffer control[1] = {{sizeof shutdown, SECBUFFER_TOKEN, &shutdown}};
  SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, control};
  if (ApplyControlToken(&m_state->context, &controlDesc) != SEC_E_OK) return;
  SecBuffer output[1] = {{0, SECBUFFER_TOKEN, nullptr}};
  SecBufferDesc outputDesc{SECBUFFER_VERSION, 1, output};
  unsigned long attributes = 0;
  const SECURITY_STATUS status = InitializeSecurityContextA(
      &m_state->credentials, &m_state->context, m_state->targetName, kContextFlags, 0, 0, nullptr,
      0, nullptr, &outputDesc, &attributes, nullptr);
  if (output[0].pvBuffer) {
    if (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED)
      m_raw.SendRaw(static_cast<const char*>(output[0].pvBuffer), output[0].cbBuffer, timeoutMs);
    FreeContextBuffer(output[0].pvBuffer);
  }
}
