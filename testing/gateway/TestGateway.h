// Client side of the local HTTPS gateway (gateway.py): Windows programs under test find the
// gateway that with-gateway started, trust its test certificate authority in the test Wine
// prefix for as long as they run, and recompute the bytes it serves.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testgateway {

struct GatewayInfo {
  int httpsPort = 0;       // certificate for 127.0.0.1 and localhost, from the test CA
  int httpPort = 0;        // plain HTTP, same content
  int wrongHostPort = 0;   // certificate from the test CA for another host name only
  int untrustedPort = 0;   // certificate for 127.0.0.1 from a CA that nobody trusts
  int silentPort = 0;      // accepts and then sends nothing, not even a TLS handshake
  std::wstring caDerPath;  // the test CA certificate (DER), as a Windows path

  // "https://127.0.0.1:<httpsPort>" + pathAndQuery, and the same for the other listeners.
  std::wstring Https(const std::wstring& pathAndQuery) const;
  std::wstring WrongHost(const std::wstring& pathAndQuery) const;
  std::wstring Untrusted(const std::wstring& pathAndQuery) const;
  std::wstring Silent(const std::wstring& pathAndQuery) const;
};

// A request to the gateway's control endpoints (/_control/...) over its plain HTTP listener;
// the answer's HTTP status, 0 when none came within timeoutMs.
int Control(const GatewayInfo& info, const std::string& pathAndQuery, DWORD timeoutMs);
// Waits until the gateway's request log holds count lines that begin with prefix ("GET /file?...",
// "ACCEPT silent"); false when they are not there after seconds.
bool AwaitLogged(const GatewayInfo& info, const std::string& prefix, int count = 1, int seconds = 60);
// Ends every stalled, hanging or silent connection the gateway holds now.
bool ReleaseHeld(const GatewayInfo& info);

// Reads the info file that the environment variable ORV_GATEWAY_INFO names. False, with
// the reason in why, when the program does not run under with-gateway.
bool FindGateway(GatewayInfo& info, std::string& why);

// A Unix path as Wine shows it through its Z: drive.
std::wstring UnixPathToWindows(const std::string& path);

// Bytes [offset, offset + length) of what /file?size=...&seed=seed serves.
std::vector<std::uint8_t> GatewayContent(std::uint32_t seed, std::uint64_t offset, std::size_t length);

// The private memory the process has committed, summed over its address space: what a 32-bit
// downloader runs out of. GetProcessMemoryInfo's figures may count only the pages already
// touched, while an allocation commits them all.
std::uint64_t CommittedPrivateBytes();

// Puts a certificate into the local machine's ROOT store (CERT_SYSTEM_STORE_LOCAL_MACHINE)
// and takes it out again at destruction, unless it was there already.
class TrustedRootCertificate {
 public:
  explicit TrustedRootCertificate(const std::wstring& derPath);
  ~TrustedRootCertificate();
  TrustedRootCertificate(const TrustedRootCertificate&) = delete;
  TrustedRootCertificate& operator=(const TrustedRootCertificate&) = delete;

  bool Ok() const { return m_ok; }
  const std::vector<BYTE>& Certificate() const { return m_der; }
  // What failed and GetLastError (or the HRESULT) at that point.
  const std::string& Failure() const { return m_failure; }
  DWORD Error() const { return m_error; }

 private:
  std::vector<BYTE> m_der;
  bool m_ok = false;
  bool m_added = false;
  std::string m_failure;
  DWORD m_error = 0;
};

// The two halves of TrustedRootCertificate for programs that add and remove in separate
// runs. Each returns false with GetLastError in error; alreadyThere tells Add found it.
bool AddRootCertificate(const std::vector<BYTE>& der, bool& alreadyThere, DWORD& error);
bool RemoveRootCertificate(const std::vector<BYTE>& der, DWORD& error);
// Whether the local machine's ROOT registry store holds the certificate.
bool HasRootCertificate(const std::vector<BYTE>& der);
// Removes every certificate whose subject name starts with subjectPrefix (for instance the
// test CAs that runs killed before their clean-up left behind). The count, or -1.
int RemoveRootCertificatesNamed(const std::wstring& subjectPrefix, DWORD& error);
bool ReadWholeFile(const std::wstring& path, std::vector<BYTE>& bytes, DWORD& error);

}  // namespace testgateway
