// gateway_trust add|remove CERT.der
// gateway_trust purge
// Adds the gateway's test CA certificate to the local machine's ROOT store of the Wine
// prefix it runs in, or removes it again. For tests that run programs which cannot trust
// the CA themselves (installers). Exit code 0 on success; "add" of a certificate that is
// already there succeeds too. "purge" removes every gateway test CA ("Orvel Test CA ...")
// that runs stopped before their clean-up left in the prefix.
#include "TestGateway.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "purge") == 0) {
    DWORD error = 0;
    int removed = testgateway::RemoveRootCertificatesNamed(L"Orvel Test CA ", error);
    if (removed < 0) {
      std::fprintf(stderr, "gateway_trust: purging failed (error 0x%08lx)\n", error);
      return 1;
    }
    std::printf("gateway_trust: removed %d test CA certificate(s)\n", removed);
    return 0;
  }
  if (argc != 3 || (std::strcmp(argv[1], "add") != 0 && std::strcmp(argv[1], "remove") != 0)) {
    std::fprintf(stderr, "usage: gateway_trust add|remove CERT.der | purge\n");
    return 2;
  }
  int n = MultiByteToWideChar(CP_ACP, 0, argv[2], -1, nullptr, 0);
  std::wstring path(n > 0 ? n - 1 : 0, L'\0');
  if (n <= 1 || !MultiByteToWideChar(CP_ACP, 0, argv[2], -1, &path[0], n)) {
    std::fprintf(stderr, "gateway_trust: bad path (error %lu)\n", GetLastError());
    return 1;
  }
  std::vector<BYTE> der;
  DWORD error = 0;
  if (!testgateway::ReadWholeFile(path, der, error)) {
    std::fprintf(stderr, "gateway_trust: cannot read %s (error %lu)\n", argv[2], error);
    return 1;
  }
  if (std::strcmp(argv[1], "add") == 0) {
    bool alreadyThere = false;
    if (!testgateway::AddRootCertificate(der, alreadyThere, error)) {
      std::fprintf(stderr, "gateway_trust: adding failed (error 0x%08lx)\n", error);
      return 1;
    }
    return 0;
  }
  if (!testgateway::RemoveRootCertificate(der, error)) {
    std::fprintf(stderr, "gateway_trust: removing failed (error 0x%08lx)\n", error);
    return 1;
  }
  return 0;
}
