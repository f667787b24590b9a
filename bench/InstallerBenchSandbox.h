// What the benchmarks that download and run product installers share: the local gateway
// (started by their runner) with its test CA trusted for the run, and a scratch temporary
// folder and registry root (the installers are told through ORV_PRODUCT_REGROOT), removed
// again at the end so a benchmark leaves nothing behind.
#pragma once

#include <curl/curl.h>

#include <InstallQueue.h>
#include <TestGateway.h>
#include <Utilities.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

class InstallerBenchSandbox {
 public:
  // name: the benchmark's name, for its messages; key: its registry root's parent under
  // HKEY_CURRENT_USER\Software.
  InstallerBenchSandbox(const char* name, const std::wstring& key) : m_name(name), m_parent(L"Software\\" + key) {
    std::string why;
    if (!testgateway::FindGateway(m_gateway, why)) {
      std::printf("%s: %s\n", m_name, why.c_str());
      return;
    }
    m_trust = std::make_unique<testgateway::TrustedRootCertificate>(m_gateway.caDerPath);
    if (!m_trust->Ok()) {
      std::printf("%s: the test CA cannot be trusted: %s (error %lu)\n", m_name, m_trust->Failure().c_str(),
                  static_cast<unsigned long>(m_trust->Error()));
      return;
    }
    wchar_t base[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, base)) return;
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    m_temp = std::wstring(base) + L"orv-bench-" + pid + L"\\";
    CreateDirectoryW(m_temp.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", m_temp.c_str());
    SetEnvironmentVariableW(L"TEMP", m_temp.c_str());
    m_rootPath = m_parent + L"\\" + pid;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, m_rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_root,
                        nullptr) != ERROR_SUCCESS) {
      std::printf("%s: no scratch registry key\n", m_name);
      m_root = nullptr;
      return;
    }
    SetEnvironmentVariableW(L"ORV_PRODUCT_REGROOT", m_rootPath.c_str());
    m_ok = true;
  }
  ~InstallerBenchSandbox() {
    if (m_root) {
      RegCloseKey(m_root);
      RegDeleteTreeW(HKEY_CURRENT_USER, m_rootPath.c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, m_parent.c_str());  // only when empty
    }
    if (!m_temp.empty()) {
      gwplugin::DeleteOldTempFiles(m_temp);
      RemoveDirectoryW((m_temp + L"orvel").c_str());
      RemoveDirectoryW(m_temp.c_str());
    }
  }
  InstallerBenchSandbox(const InstallerBenchSandbox&) = delete;
  InstallerBenchSandbox& operator=(const InstallerBenchSandbox&) = delete;

  bool Ok() const { return m_ok; }
  const testgateway::GatewayInfo& Gateway() const { return m_gateway; }
  const std::wstring& Temp() const { return m_temp; }  // ends with a backslash

  // The install queue's settings for a benchmark: Polish, the scratch registry root, every
  // question answered Cancel, extract functions doing nothing.
  gwplugin::InstallQueueConfig QueueConfig(const wchar_t* user_agent) const {
    gwplugin::InstallQueueConfig config;
    config.langid = 1045;
    config.userAgent = user_agent;
    config.registryRoot = m_root;
    config.messageBox = [](HWND, const std::wstring&, const std::wstring&, UINT) { return IDCANCEL; };
    config.executeCodeSegment = [](int, HWND) { return 0; };
    return config;
  }

 private:
  const char* m_name;
  std::wstring m_parent;
  testgateway::GatewayInfo m_gateway;
  std::unique_ptr<testgateway::TrustedRootCertificate> m_trust;
  std::wstring m_temp;
  std::wstring m_rootPath;
  HKEY m_root = nullptr;
  bool m_ok = false;
};
