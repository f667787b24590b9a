#include "TestHooks.h"

#ifdef ORV_GW_TEST_HOOKS

#include <UniqueHandle.h>

#include <windows.h>

#include <mutex>
#include <vector>

namespace gwplugin {
namespace testhooks {

namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t small[512];
  DWORD length = GetEnvironmentVariableW(name, small, 512);
  if (length == 0) return std::wstring();
  if (length < 512) return std::wstring(small, length);
  std::vector<wchar_t> large(length);
  DWORD again = GetEnvironmentVariableW(name, large.data(), length);
  if (again == 0 || again >= length) return std::wstring();
  return std::wstring(large.data(), again);
}

// The trace is written by the NSIS thread and, rarely, by workers: one line at a time.
std::mutex& TraceLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

std::wstring GatewayAddress() { return Variable(L"ORV_GW_TEST_GATEWAY"); }

void Trace(const std::wstring& line) {
  const std::wstring path = Variable(L"ORV_GW_TEST_TRACE");
  if (path.empty()) return;
  std::wstring text = line + L"\n";
  int bytes =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return;
  std::vector<char> utf8(static_cast<std::size_t>(bytes));
  if (WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), utf8.data(), bytes, nullptr,
                          nullptr) != bytes)
    return;
  std::lock_guard<std::mutex> hold(TraceLock());
  win::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), utf8.data(), static_cast<DWORD>(bytes), &written, nullptr);
}

void SignalDownloadEnded() {
  const std::wstring name = Variable(L"ORV_GW_TEST_DOWNLOAD_EVENT");
  if (name.empty()) return;
  win::UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (event) SetEvent(event.get());
}

}  // namespace testhooks
}  // namespace gwplugin

#else

namespace gwplugin {
namespace testhooks {

std::wstring GatewayAddress() { return std::wstring(); }
void Trace(const std::wstring&) {}
void SignalDownloadEnded() {}

}  // namespace testhooks
}  // namespace gwplugin

#endif
