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
  InstallerBenchSandbox(const char* name, const std::wstring& key) : name_(name), parent_(L"Software\\" + key) {
    std::string why;
    if (!testgateway::FindGateway(gateway_, why)) {
      std::printf("%s: %s\n", name_, why.c_str());
      return;
    }
    trust_ = std::make_unique<testgateway::TrustedRootCertificate>(gateway_.caDerPath);
    if (!trust_->Ok()) {
      std::printf("%s: the test CA cannot be trusted: %s (error %lu)\n", name_, trust_->Failure().c_str(),
                  static_cast<unsigned long>(trust_->Error()));
      return;
    }
    wchar_t base[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, base)) return;
    const std::wstring pid = std::to_wstring(GetCurrentProcessId());
    temp_ = std::wstring(base) + L"orv-bench-" + pid + L"\\";
    CreateDirectoryW(temp_.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", temp_.c_str());
    SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    root_path_ = parent_ + L"\\" + pid;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, root_path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &root_,
                        nullptr) != ERROR_SUCCESS) {
      std::printf("%s: no scratch registry key\n", name_);
      root_ = nullptr;
      return;
    }
    SetEnvironmentVariableW(L"ORV_PRODUCT_REGROOT", root_path_.c_str());
    ok_ = true;
  }
  ~InstallerBenchSandbox() {
    if (root_) {
      RegCloseKey(root_);
      RegDeleteTreeW(HKEY_CURRENT_USER, root_path_.c_str());
      RegDeleteKeyW(HKEY_CURRENT_USER, parent_.c_str());  // only when empty
    }
    if (!temp_.empty()) {
      gwplugin::DeleteOldTempFiles(temp_);
      RemoveDirectoryW((temp_ + L"orvel").c_str());
      RemoveDirectoryW(temp_.c_str());
    }
  }
  InstallerBenchSandbox(const InstallerBenchSandbox&) = delete;
  InstallerBenchSandbox& operator=(const InstallerBenchSandbox&) = delete;

  bool Ok() const { return ok_; }
  const testgateway::GatewayInfo& Gateway() const { return gateway_; }
  const std::wstring& Temp() const { return temp_; }  // ends with a backslash

  // The install queue's settings for a benchmark: Polish, the scratch registry root, every
  // question answered Cancel, extract functions doing nothing.
  gwplugin::InstallQueueConfig QueueConfig(const wchar_t* user_agent) const {
    gwplugin::InstallQueueConfig config;
    config.langid = 1045;
    config.userAgent = user_agent;
    config.registryRoot = root_;
    config.messageBox = [](HWND, const std::wstring&, const std::wstring&, UINT) { return IDCANCEL; };
    config.executeCodeSegment = [](int, HWND) { return 0; };
    return config;
  }

 private:
  const char* name_;
  std::wstring parent_;
  testgateway::GatewayInfo gateway_;
  std::unique_ptr<testgateway::TrustedRootCertificate> trust_;
  std::wstring temp_;
  std::wstring root_path_;
  HKEY root_ = nullptr;
  bool ok_ = false;
};
