#include "TaskLog.h"

#include "Utilities.h"

#include <cwchar>
#include <vector>

namespace gwplugin {

namespace {

struct StateName {
  std::uint32_t bit;
  const wchar_t* name;
};

// The log's order, which is not the bits' numeric order (PS_UPGRADE comes fourth).
constexpr StateName kStateNames[] = {
    {orv_products::PS_INSTALL, L"PS_INSTALL"},
    {orv_products::PS_INSTALL_CHECK, L"PS_INSTALL_CHECK"},
    {orv_products::PS_DOWNLOAD, L"PS_DOWNLOAD"},
    {orv_products::PS_UPGRADE, L"PS_UPGRADE"},
    {orv_products::PS_UPDATE, L"PS_UPDATE"},
    {orv_products::PS_DISABLED, L"PS_DISABLED"},
    {orv_products::PS_NOT_AVAILABLE, L"PS_NOT_AVAILABLE"},
    {orv_products::PS_REINSTALL, L"PS_REINSTALL"},
};

}  // namespace

bool InstallTaskLog::Open() {
  if (IsOpen()) return true;
  std::wstring folder;
  if (!GetTempDir(folder)) {
    m_lastError = GetLastError();
    return false;
  }
  return Open(folder + kFileName);
}

bool InstallTaskLog::Open(const std::wstring& path) {
  if (IsOpen()) return true;
  win::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    m_lastError = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size)) {
    m_lastError = GetLastError();
    return false;
  }
  m_file = std::move(file);
  // A new text starts with the byte-order mark; an existing one is continued as it is.
  if (size.QuadPart == 0) {
    static const BYTE kBom[2] = {0xFF, 0xFE};
    DWORD written = 0;
    if (!WriteFile(m_file.get(), kBom, sizeof kBom, &written, nullptr) || written != sizeof kBom) {
      m_lastError = GetLastError();
      m_file.reset();
      return false;
    }
  }
  return true;
}

bool InstallTaskLog::Write(const std::wstring& text) {
  if (!IsOpen()) return false;
  std::vector<BYTE> bytes;
  bytes.reserve(text.size() * 2 + 16);
  auto put = [&bytes](wchar_t c) {
    bytes.push_back(static_cast<BYTE>(c & 0xFF));
    bytes.push_back(static_cast<BYTE>((c >> 8) & 0xFF));
  };
  for (wchar_t c : text) {
    if (c == L'\n') put(L'\r');
    put(c);
  }
  if (bytes.empty()) return true;
  DWORD written = 0;
  if (!WriteFile(m_file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size()) {
    m_lastError = GetLastError();
    return false;
  }
  return true;
}

bool InstallTaskLog::WriteTasks(const orv_products::ProductList& products) {
  std::wstring block = L"==> Task to install (BEGIN)\n";
  for (const orv_products::CProdPtr& product : products) {
    if (!product) continue;
    const orv_products::CProd& p = *product;
    block += L"> " + FormatLogTime(std::time(nullptr)) + L" [" + p.id + L"]\n";
    block += L"\tState: " + FormatStateNames(p.state) + L"\n";
    block += L"\tInstURL: " + p.instURL + L" \n";
    block += L"\tInstFile: " + p.instFile + L" \n";
    // The whole 64-bit size: installers beyond 2 GiB must not be logged as negative.
    block += L"\tInstSize: " + std::to_wstring(p.size) + L" \n";
    block += L"\tVersion: " + p.version.ToString() + L" \n";
    block += std::wstring(L"\tExtractFunc: ") + (p.extractFunction != 0 ? L"YES" : L"NO") + L" \n";
    block += L"\n";
  }
  block += L"==> Task to install (END)\n\n";
  return Write(block);
}

bool InstallTaskLog::WriteFailure(const orv_products::CProd& product, const std::wstring& reason) {
  return Write(L"> " + FormatLogTime(std::time(nullptr)) + L" [" + product.id + L"] FAILED: " + reason + L"\n");
}

std::wstring FormatLogTime(std::time_t t) {
  std::tm local{};
  if (localtime_s(&local, &t) != 0) return std::wstring();
  wchar_t text[128];
  const size_t length = std::wcsftime(text, 128, L"(%H:%M:%S/%d.%m)", &local);
  if (length == 0) return std::wstring();
  return std::wstring(text, length);
}

std::wstring FormatStateNames(std::uint32_t state) {
  std::wstring names;
  for (const StateName& s : kStateNames) {
    if (state & s.bit) {
      names += s.name;
      names += L' ';
    }
  }
  return names;
}

}  // namespace gwplugin
