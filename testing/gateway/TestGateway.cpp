// winsock2.h must come before windows.h, which TestGateway.h brings in.
#include <winsock2.h>

#include "TestGateway.h"

#include <UniqueHandle.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>

namespace testgateway {

namespace {

// Must match gateway.py.
const std::size_t kPeriod = 1000003;

win::UniqueCertStore OpenRootStore(DWORD& error) {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
  if (!store) error = GetLastError();
  return win::UniqueCertStore(store);
}

std::wstring Widen(const std::string& text) {
  std::wstring out;
  for (unsigned char c : text) out.push_back(static_cast<wchar_t>(c));
  return out;
}

std::wstring Url(const wchar_t* scheme, int port, const std::wstring& pathAndQuery) {
  return std::wstring(scheme) + L"://127.0.0.1:" + std::to_wstring(port) + pathAndQuery;
}

// The generated block of one seed (SHA-256 in counter mode), as gateway.py makes it.
std::vector<std::uint8_t> MakePattern(std::uint32_t seed) {
  std::vector<std::uint8_t> pattern;
  pattern.reserve(kPeriod + 32);
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0) return pattern;
  for (unsigned k = 0; pattern.size() < kPeriod; ++k) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "orvel-gateway/%u/%u", seed, k);
    UCHAR digest[32];
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    ok = ok && BCryptHashData(hash, reinterpret_cast<PUCHAR>(text), static_cast<ULONG>(n), 0) == 0;
    ok = ok && BCryptFinishHash(hash, digest, sizeof digest, 0) == 0;
    if (hash) BCryptDestroyHash(hash);
    if (!ok) {
      pattern.clear();
      break;
    }
    pattern.insert(pattern.end(), digest, digest + sizeof digest);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (pattern.size() > kPeriod) pattern.resize(kPeriod);
  return pattern;
}

}  // namespace

std::wstring GatewayInfo::Https(const std::wstring& p) const { return Url(L"https", httpsPort, p); }
std::wstring GatewayInfo::WrongHost(const std::wstring& p) const { return Url(L"https", wrongHostPort, p); }
std::wstring GatewayInfo::Untrusted(const std::wstring& p) const { return Url(L"https", untrustedPort, p); }
std::wstring GatewayInfo::Silent(const std::wstring& p) const { return Url(L"https", silentPort, p); }

std::wstring UnixPathToWindows(const std::string& path) {
  std::wstring out = L"Z:";
  for (wchar_t c : Widen(path)) out.push_back(c == L'/' ? L'\\' : c);
  return out;
}

bool FindGateway(GatewayInfo& info, std::string& why) {
  const char* infoPath = std::getenv("ORV_GATEWAY_INFO");
  if (!infoPath || !*infoPath) {
    why = "ORV_GATEWAY_INFO is not set: run this program under testing/gateway/with-gateway";
    return false;
  }
  std::ifstream in(UnixPathToWindows(infoPath).c_str());
  if (!in) {
    why = std::string("cannot read the gateway info file ") + infoPath;
    return false;
  }
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    size_t eq = line.find('=');
    if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  info.httpsPort = std::atoi(values["https_port"].c_str());
  info.httpPort = std::atoi(values["http_port"].c_str());
  info.wrongHostPort = std::atoi(values["wronghost_port"].c_str());
  info.untrustedPort = std::atoi(values["untrusted_port"].c_str());
  info.silentPort = std::atoi(values["silent_port"].c_str());
  info.caDerPath = UnixPathToWindows(values["ca_der"]);
  if (!info.httpsPort || !info.httpPort || !info.wrongHostPort || !info.untrustedPort || !info.silentPort ||
      values["ca_der"].empty()) {
    why = std::string("incomplete gateway info file ") + infoPath;
    return false;
  }
  return true;
}

std::vector<std::uint8_t> GatewayContent(std::uint32_t seed, std::uint64_t offset, std::size_t length) {
  static std::mutex cacheLock;
  static std::map<std::uint32_t, std::vector<std::uint8_t>> cache;
  const std::vector<std::uint8_t>* pattern = nullptr;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    auto it = cache.find(seed);
    if (it == cache.end()) it = cache.emplace(seed, MakePattern(seed)).first;
    pattern = &it->second;
  }
  std::vector<std::uint8_t> out;
  if (pattern->size() != kPeriod) return out;  // hashing failed: an empty answer fails every comparison
  out.resize(length);
  std::size_t position = static_cast<std::size_t>(offset % kPeriod);
  for (std::size_t done = 0; done < length;) {
    std::size_t n = std::min(length - done, kPeriod - position);
    std::memcpy(out.data() + done, pattern->data() + position, n);
    done += n;
    position = 0;
  }
  return out;
}

bool ReadWholeFile(const std::wstring& path, std::vector<BYTE>& bytes, DWORD& error) {
  win::UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    error = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (1 << 20)) {
    error = GetLastError();
    return false;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
    error = GetLastError();
    return false;
  }
  return true;
}

bool AddRootCertificate(const std::vector<BYTE>& der, bool& alreadyThere, DWORD& error) {
  alreadyThere = false;
  win::UniqueCertStore store = OpenRootStore(error);
  if (!store) return false;
  if (!CertAddEncodedCertificateToStore(store.get(), X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()),
                                        CERT_STORE_ADD_NEW, nullptr)) {
    error = GetLastError();
    if (error != static_cast<DWORD>(CRYPT_E_EXISTS)) return false;
    alreadyThere = true;
  }
  return true;
}

bool RemoveRootCertificate(const std::vector<BYTE>& der, DWORD& error) {
  // Through the registry store that holds it: deleting through the logical system store
  // reports success under Wine but leaves the certificate in place.
  win::UniqueCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
  if (!store) {
    error = GetLastError();
    return false;
  }
  win::UniqueCertContext wanted(
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!wanted) {
    error = GetLastError();
    return false;
  }
  PCCERT_CONTEXT found =
      CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr);
  if (!found) {
    error = GetLastError();
    return false;
  }
  // Deleting frees the found context, also on failure.
  if (!CertDeleteCertificateFromStore(found)) {
    error = GetLastError();
    return false;
  }
  return true;
}

bool HasRootCertificate(const std::vector<BYTE>& der) {
  win::UniqueCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
  win::UniqueCertContext wanted(
      CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size())));
  if (!store || !wanted) return false;
  win::UniqueCertContext found(
      CertFindCertificateInStore(store.get(), X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted.get(), nullptr));
  return static_cast<bool>(found);
}

int RemoveRootCertificatesNamed(const std::wstring& subjectPrefix, DWORD& error) {
  win::UniqueCertStore store(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT"));
  if (!store) {
    error = GetLastError();
    return -1;
  }
  // Collect first, delete afterwards: deleting while enumerating may restart the walk.
  std::vector<win::UniqueCertContext> doomed;
  PCCERT_CONTEXT context = nullptr;
  while ((context = CertEnumCertificatesInStore(store.get(), context)) != nullptr) {
    wchar_t name[256] = L"";
    CertGetNameStringW(context, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 256);
    if (std::wstring(name).compare(0, subjectPrefix.size(), subjectPrefix) == 0)
      doomed.emplace_back(CertDuplicateCertificateContext(context));
  }
  int removed = 0;
  for (win::UniqueCertContext& certificate : doomed) {
    // Deleting frees the context, also on failure.
    if (!CertDeleteCertificateFromStore(certificate.release())) {
      error = GetLastError();
      return -1;
    }
    ++removed;
  }
  return removed;
}

TrustedRootCertificate::TrustedRootCertificate(const std::wstring& derPath) {
  if (!ReadWholeFile(derPath, m_der, m_error)) {
    m_failure = "reading the CA certificate";
    return;
  }
  bool alreadyThere = false;
  if (!AddRootCertificate(m_der, alreadyThere, m_error)) {
    m_failure = "adding the CA certificate to the LOCAL_MACHINE ROOT store";
    return;
  }
  m_added = !alreadyThere;
  m_ok = true;
}

TrustedRootCertificate::~TrustedRootCertificate() {
  if (m_added) {
    DWORD error = 0;
    RemoveRootCertificate(m_der, error);
  }
}

std::uint64_t CommittedPrivateBytes() {
  std::uint64_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  const char* at = nullptr;
  while (VirtualQuery(at, &region, sizeof region) == sizeof region) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
    const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (next <= at) break;
    at = next;
  }
  return total;
}

namespace {

std::string PercentEncoded(const std::string& text) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '/' || c == '-' ||
        c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += digits[c >> 4];
      out += digits[c & 15];
    }
  }
  return out;
}

}  // namespace

int Control(const GatewayInfo& info, const std::string& pathAndQuery, DWORD timeoutMs) {
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
  int status = 0;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET) {
    const DWORD timeout = timeoutMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(info.httpPort));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const std::string request = "GET " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(s, request.data(), static_cast<int>(request.size()), 0) == static_cast<int>(request.size())) {
      std::string answer;
      char buffer[512];
      for (int n; answer.find("\r\n") == std::string::npos && (n = recv(s, buffer, sizeof buffer, 0)) > 0;)
        answer.append(buffer, static_cast<std::size_t>(n));
      // "HTTP/1.x NNN ..."
      const std::size_t blank = answer.find(' ');
      if (answer.compare(0, 5, "HTTP/") == 0 && blank != std::string::npos)
        status = std::atoi(answer.c_str() + blank + 1);
    }
    closesocket(s);
  }
  WSACleanup();
  return status;
}

bool AwaitLogged(const GatewayInfo& info, const std::string& prefix, int count, int seconds) {
  const std::string query = "/_control/await?prefix=" + PercentEncoded(prefix) + "&count=" + std::to_string(count) +
                            "&seconds=" + std::to_string(seconds);
  return Control(info, query, static_cast<DWORD>(seconds + 30) * 1000) == 200;
}

bool ReleaseHeld(const GatewayInfo& info) { return Control(info, "/_control/release", 30000) == 200; }

}  // namespace testgateway
