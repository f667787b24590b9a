#include "TestHooks.h"

#ifdef ORV_GW_TEST_HOOKS

#include <UniqueHandle.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
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

// "hh:mm:ss.mmm T<thread id> ": when and on which thread, for reading a failed run's trace.
std::wstring Stamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t stamp[48];
  const int length =
      _snwprintf(stamp, 48, L"%02u:%02u:%02u.%03u T%lu ", static_cast<unsigned>(now.wHour),
                 static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond),
                 static_cast<unsigned>(now.wMilliseconds), static_cast<unsigned long>(GetCurrentThreadId()));
  return length > 0 && length < 48 ? std::wstring(stamp, static_cast<std::size_t>(length)) : std::wstring();
}

void Append(const std::wstring& line) {
  const std::wstring path = Variable(L"ORV_GW_TEST_TRACE");
  if (path.empty()) return;
  std::wstring text = Stamp() + line + L"\n";
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

// "export NAME entered" or "export NAME left". The trace must never be the reason something
// fails: nothing it throws gets out.
void TraceExport(const char* kind, const char* name, const wchar_t* what) noexcept {
  try {
    Append(std::wstring(kind, kind + std::strlen(kind)) + L" " + std::wstring(name, name + std::strlen(name)) + what);
  } catch (...) {
  }
}

}  // namespace

std::wstring GatewayAddress() { return Variable(L"ORV_GW_TEST_GATEWAY"); }

void Trace(const std::wstring& line) noexcept {
  try {
    Append(line);
  } catch (...) {
  }
}

ExportScope::ExportScope(const char* name, const char* kind) noexcept : m_name(name), m_kind(kind) {
  TraceExport(m_kind, m_name, L" entered");
}

ExportScope::~ExportScope() { TraceExport(m_kind, m_name, L" left"); }

void SignalDownloadEnded() {
  const std::wstring name = Variable(L"ORV_GW_TEST_DOWNLOAD_EVENT");
  if (name.empty()) return;
  win::UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
  if (event) SetEvent(event.get());
}

void DownloadWriteHandleClosed(const std::wstring& path) noexcept {
  try {
    const std::wstring source = Variable(L"ORV_GW_TEST_OVERWRITE_DOWNLOAD");
    if (source.empty()) return;
    std::vector<char> bytes;
    {
      win::UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
      LARGE_INTEGER size{};
      if (!from || !GetFileSizeEx(from.get(), &size) || size.QuadPart > (1 << 30)) {
        Trace(L"test hook: " + source + L" cannot be read");
        return;
      }
      bytes.resize(static_cast<std::size_t>(size.QuadPart));
      DWORD got = 0;
      if (!bytes.empty() && (!ReadFile(from.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) ||
                             got != bytes.size())) {
        Trace(L"test hook: " + source + L" cannot be read");
        return;
      }
    }
    // As any process of the user could: the file is open nowhere else at this moment.
    win::UniqueFile to(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER length{};
    DWORD written = 0;
    if (!to || !GetFileSizeEx(to.get(), &length)) {
      Trace(L"test hook: the download " + path + L" cannot be opened for writing, error " +
            std::to_wstring(GetLastError()));
      return;
    }
    const DWORD count = static_cast<DWORD>(std::min<LONGLONG>(length.QuadPart, static_cast<LONGLONG>(bytes.size())));
    if (!WriteFile(to.get(), bytes.data(), count, &written, nullptr) || written != count)
      Trace(L"test hook: the download " + path + L" cannot be overwritten, error " + std::to_wstring(GetLastError()));
  } catch (...) {
  }
}

}  // namespace testhooks
}  // namespace gwplugin

#else

namespace gwplugin {
namespace testhooks {

std::wstring GatewayAddress() { return std::wstring(); }
void Trace(const std::wstring&) noexcept {}
ExportScope::ExportScope(const char* name, const char* kind) noexcept : m_name(name), m_kind(kind) {}
ExportScope::~ExportScope() {}
void SignalDownloadEnded() {}
void DownloadWriteHandleClosed(const std::wstring&) noexcept {}

}  // namespace testhooks
}  // namespace gwplugin

#endif
