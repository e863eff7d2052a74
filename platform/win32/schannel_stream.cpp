#include "platform/win32/schannel_stream.h"

// The newer credentials record (TLS 1.3) is only declared with this, and the
// chain's time limit for fetching with the other.
#define SCHANNEL_USE_BLACKLISTS
#define CERT_CHAIN_PARA_HAS_EXTRA_FIELDS
#define SECURITY_WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <subauth.h>
#include <wincrypt.h>
#include <schannel.h>
#include <security.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/win32/wide_text.h"

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                                ISC_REQ_MANUAL_CRED_VALIDATION;
// Schannel is told not to judge the certificate: PeerTrusted does, the same
// way on every system.
constexpr DWORD kCredentialFlags =
    SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;

TlsStatus StatusOf(SECURITY_STATUS status) {
  switch (status) {
    case SEC_E_OK:
      return TlsStatus::kOk;
    case SEC_I_CONTINUE_NEEDED:
      return TlsStatus::kContinue;
    case SEC_E_INCOMPLETE_MESSAGE:
      return TlsStatus::kIncompleteMessage;
    case SEC_I_INCOMPLETE_CREDENTIALS:
      return TlsStatus::kIncompleteCredentials;
    case SEC_I_RENEGOTIATE:
      return TlsStatus::kRenegotiate;
    case SEC_I_CONTEXT_EXPIRED:
      return TlsStatus::kClosed;
    default:
      return TlsStatus::kFailed;
  }
}

// The bytes of a literal IPv4 or IPv6 address; empty for a name.
std::string AddressBytes(const std::wstring& host) {
  IN6_ADDR v6{};
  if (InetPtonW(AF_INET6, host.c_str(), &v6) == 1)
    return std::string(reinterpret_cast<const char*>(&v6), sizeof v6);
  IN_ADDR v4{};
  if (InetPtonW(AF_INET, host.c_str(), &v4) == 1)
    return std::string(reinterpret_cast<const char*>(&v4), sizeof v4);
  return std::string();
}

// Whether the certificate names the address among its iPAddress entries; a
// name entry never matches an address.
bool NamesAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* names =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO* decoded = nullptr;
  DWORD size = 0;
  if (!names || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, names->Value.pbData,
                                     names->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr,
                                     &decoded, &size))
    return false;
  bool found = false;
  for (DWORD i = 0; i < decoded->cAltEntry && !found; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = decoded->rgAltEntry[i];
    found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
            entry.IPAddress.cbData == address.size() &&
            std::memcmp(entry.IPAddress.pbData, address.data(), address.size()) == 0;
  }
  LocalFree(decoded);
  return found;
}

struct ChainFree {
  void operator()(PCCERT_CHAIN_CONTEXT chain) const { CertFreeCertificateChain(chain); }
};
struct CertificateFree {
  void operator()(PCCERT_CONTEXT certificate) const { CertFreeCertificateContext(certificate); }
};

class SchannelProvider : public SecurityProvider {
 public:
  ~SchannelProvider() override {
    if (m_bContext) DeleteSecurityContext(&m_context);
    if (m_bCredentials) FreeCredentialsHandle(&m_credentials);
  }

  TlsStatus Start(const std::string& serverName, std::string& output) override {
    m_strTarget = Widen(serverName);
    // A literal address is sent as no name at all (SNI takes names only).
    m_bLiteral = !AddressBytes(m_strTarget).empty();
    if (!AcquireCredentials()) return TlsStatus::kFailed;
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &m_credentials, nullptr, Target(), kContextFlags, 0, 0, nullptr, 0, &m_context, &outDesc,
        &attributes, nullptr);
    m_bContext = status == SEC_E_OK || status == SEC_I_CONTINUE_NEEDED;
    TakeToken(out[0], output);
    return StatusOf(status);
  }

  TlsStatus Continue(std::string& input, std::string& output, size_t& extra) override {
    SecBuffer in[2] = {{static_cast<unsigned long>(input.size()), SECBUFFER_TOKEN, &input[0]},
                       {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &m_credentials, &m_context, Target(), kContextFlags, 0, 0, &inDesc, 0, nullptr, &outDesc,
        &attributes, nullptr);
    TakeToken(out[0], output);
    extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
    return StatusOf(status);
  }

  TlsStatus Decrypt(std::string& input, std::string& plain, size_t& extra) override {
    SecBuffer buffers[4] = {
        {static_cast<unsigned long>(input.size()), SECBUFFER_DATA, &input[0]},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    const TlsStatus status = StatusOf(DecryptMessage(&m_context, &desc, 0, nullptr));
    extra = 0;
    if (status != TlsStatus::kOk && status != TlsStatus::kRenegotiate &&
        status != TlsStatus::kClosed)
      return status;
    for (const SecBuffer& part : buffers) {
      if (part.BufferType == SECBUFFER_DATA)
        plain.append(static_cast<const char*>(part.pvBuffer), part.cbBuffer);
      if (part.BufferType == SECBUFFER_EXTRA) extra = part.cbBuffer;
    }
    return status;
  }

  size_t MaxRecordData() override {
    return QueryContextAttributesW(&m_context, SECPKG_ATTR_STREAM_SIZES, &m_sizes) == SEC_E_OK
               ? m_sizes.cbMaximumMessage
               : 0;
  }

  bool Encrypt(const std::string& data, std::string& record) override {
    record.assign(m_sizes.cbHeader + data.size() + m_sizes.cbTrailer, '\0');
    std::memcpy(&record[m_sizes.cbHeader], data.data(), data.size());
    SecBuffer buffers[4] = {
        {m_sizes.cbHeader, SECBUFFER_STREAM_HEADER, &record[0]},
        {static_cast<unsigned long>(data.size()), SECBUFFER_DATA, &record[m_sizes.cbHeader]},
        {m_sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, &record[m_sizes.cbHeader + data.size()]},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    if (EncryptMessage(&m_context, 0, &desc, 0) != SEC_E_OK) return false;
    record.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    return true;
  }

  std::string Describe() override {
    SecPkgContext_ConnectionInfo connection{};
    std::string text = "TLS";
    if (QueryContextAttributesW(&m_context, SECPKG_ATTR_CONNECTION_INFO, &connection) == SEC_E_OK)
      text = connection.dwProtocol & SP_PROT_TLS1_3_CLIENT   ? "TLSv1.3"
             : connection.dwProtocol & SP_PROT_TLS1_2_CLIENT ? "TLSv1.2"
                                                             : "TLS";
    PCCERT_CONTEXT remote = nullptr;
    if (QueryContextAttributesW(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) !=
            SEC_E_OK ||
        !remote)
      return text;
    const std::unique_ptr<const CERT_CONTEXT, CertificateFree> certificate(remote);
    wchar_t subject[512] = {};
    CertNameToStrW(X509_ASN_ENCODING, &remote->pCertInfo->Subject, CERT_X500_NAME_STR, subject,
                   512);
    return text + ", certificate " + Narrow(subject);
  }

  bool PeerTrusted(const std::string& serverName, int timeoutMs) override {
    PCCERT_CONTEXT remote = nullptr;
    if (QueryContextAttributesW(&m_context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &remote) !=
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
    // Fetching missing intermediates takes what is left of the limit, and
    // nothing beyond the cache once it is spent.
    chainPara.dwUrlRetrievalTimeout = static_cast<DWORD>(timeoutMs);
    const DWORD chainFlags = timeoutMs > 0 ? 0 : CERT_CHAIN_CACHE_ONLY_URL_RETRIEVAL;
    PCCERT_CHAIN_CONTEXT built = nullptr;
    // The server's own certificates are where intermediate ones are found.
    if (!CertGetCertificateChain(nullptr, remote, nullptr, remote->hCertStore, &chainPara,
                                 chainFlags, nullptr, &built) ||
        !built)
      return false;
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(built);

    // The system's policy matches names only, so an address is left out of
    // it and matched here against the certificate's address entries.
    std::wstring name = Widen(serverName);
    const std::string address = AddressBytes(name);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = address.empty() ? &name[0] : nullptr;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    // Both must be clean: some systems' policy check passes a chain whose own
    // status says it does not reach a trusted root.
    return CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, built, &policy, &status) &&
           status.dwError == 0 && built->TrustStatus.dwErrorStatus == 0 &&
           (address.empty() || NamesAddress(remote, address));
  }

  bool Shutdown(std::string& output) override {
    DWORD shutdown = SCHANNEL_SHUTDOWN;
    SecBuffer control[1] = {{sizeof shutdown, SECBUFFER_TOKEN, &shutdown}};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, control};
    if (ApplyControlToken(&m_context, &controlDesc) != SEC_E_OK) return false;
    SecBuffer out[1] = {{0, SECBUFFER_TOKEN, nullptr}};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, out};
    unsigned long attributes = 0;
    const SECURITY_STATUS status =
        InitializeSecurityContextW(&m_credentials, &m_context, Target(), kContextFlags, 0, 0,
                                   nullptr, 0, nullptr, &outDesc, &attributes, nullptr);
    TakeToken(out[0], output);
    return (status == SEC_E_OK || status == SEC_I_CONTEXT_EXPIRED) && !output.empty();
  }

 private:
  // TLS 1.2 and 1.3 through the newer record; systems that do not know it
  // refuse it, and then get TLS 1.2 through the older one.
  bool AcquireCredentials() {
    TLS_PARAMETERS parameters{};
    parameters.grbitDisabledProtocols =
        ~static_cast<DWORD>(SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_3_CLIENT);
    SCH_CREDENTIALS modern{};
    modern.dwVersion = SCH_CREDENTIALS_VERSION;
    modern.dwFlags = kCredentialFlags;
    modern.cTlsParameters = 1;
    modern.pTlsParameters = &parameters;
    wchar_t package[] = UNISP_NAME_W;
    m_bCredentials = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                               &modern, nullptr, nullptr, &m_credentials,
                                               nullptr) == SEC_E_OK;
    if (m_bCredentials) return true;
    SCHANNEL_CRED legacy{};
    legacy.dwVersion = SCHANNEL_CRED_VERSION;
    legacy.dwFlags = kCredentialFlags;
    legacy.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    m_bCredentials = AcquireCredentialsHandleW(nullptr, package, SECPKG_CRED_OUTBOUND, nullptr,
                                               &legacy, nullptr, nullptr, &m_credentials,
                                               nullptr) == SEC_E_OK;
    return m_bCredentials;
  }

  // The name sent for SNI; null for a literal address.
  wchar_t* Target() { return m_bLiteral ? nullptr : &m_strTarget[0]; }

  static void TakeToken(SecBuffer& token, std::string& output) {
    if (!token.pvBuffer) return;
    output.assign(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    FreeContextBuffer(token.pvBuffer);
  }

  CredHandle m_credentials{};
  bool m_bCredentials = false;
  CtxtHandle m_context{};
  bool m_bContext = false;
  SecPkgContext_StreamSizes m_sizes{};
  std::wstring m_strTarget;
  bool m_bLiteral = false;
};

}  // namespace

std::unique_ptr<SecurityProvider> CreateSchannelProvider() {
  return std::make_unique<SchannelProvider>();
}
