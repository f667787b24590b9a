#include "LinkOpen.h"

#include "PluginText.h"
#include "Registry.h"

#include <shellapi.h>

#include <vector>

namespace htmlctrl {

HMODULE LoadResourceOnlyModule(const std::wstring& path) {
  if (path.empty()) return nullptr;
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return module;
}

bool ReadDefaultValue(HKEY root, const std::wstring& subkey, std::wstring& value) {
  value.clear();
  const win::RegistryKey key(root, subkey.c_str(), KEY_QUERY_VALUE);
  return key.ReadString(nullptr, kMaxDefaultValueChars, value) && !value.empty();
}

bool GetHtmlOpenCommand(HKEY classes_root, std::wstring& command) {
  std::wstring html_class;
  if (!ReadDefaultValue(classes_root, L".htm", html_class)) return false;
  return ReadDefaultValue(classes_root, html_class + L"\\shell\\open\\command", command);
}

bool BuildBrowserCommandLine(const std::wstring& command, const std::wstring& address, std::wstring& line) {
  line.clear();
  if (command.empty() || address.empty()) return false;
  for (wchar_t c : address)
    if (c == L'"' || c < 0x20 || c == 0x7F) return false;
  size_t cut = command.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = command.find(L"%1");
  line = command.substr(0, cut);
  line += L" \"";
  line += address;
  line += L'"';
  return true;
}

HandCursor::HandCursor() {
  m_shared = LoadCursorW(nullptr, IDC_HAND);
  if (m_shared) return;
  wchar_t directory[MAX_PATH];
  const UINT length = GetWindowsDirectoryW(directory, MAX_PATH);
  if (length == 0 || length >= MAX_PATH - 16) return;
  const std::wstring path = std::wstring(directory) + L"\\winhlp32.exe";
  const win::UniqueModule module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (!module) return;
  // Copied while the module is still there: its own cursor goes with it.
  if (HCURSOR cursor = LoadCursorW(module.get(), MAKEINTRESOURCEW(106))) m_copy.reset(CopyIcon(cursor));
}

LRESULT OpenHyperlink(const std::wstring& address, HKEY classes_root) {
  if (address.empty()) return 0;
  const HINSTANCE opened = ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
  const LRESULT result = reinterpret_cast<LRESULT>(opened);
  if (result > 32) return result;
  std::wstring command, line;
  if (!GetHtmlOpenCommand(classes_root, command) || !BuildBrowserCommandLine(command, address, line)) return result;
  std::vector<char> narrow(2 * (line.size() + 1));
  if (!WideToNarrow(line.c_str(), static_cast<int>(narrow.size()), CP_ACP, narrow.data())) return result;
  return static_cast<LRESULT>(WinExec(narrow.data(), SW_SHOW));
}

}  // namespace htmlctrl
