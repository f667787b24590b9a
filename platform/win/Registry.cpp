// Registry values read and written the careful way.
#include "Registry.h"

#include <cwchar>
#include <vector>

namespace win {

RegistryKey::RegistryKey(HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status) {
  HKEY key = nullptr;
  const LSTATUS opened = RegOpenKeyExW(root, path, 0, access, &key);
  if (status) *status = opened;
  if (opened == ERROR_SUCCESS) m_key.reset(key);
}

RegistryKey::RegistryKey(CreateTag, HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status) {
  HKEY key = nullptr;
  const LSTATUS created =
      RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr);
  if (status) *status = created;
  if (created == ERROR_SUCCESS) m_key.reset(key);
}

RegistryKey RegistryKey::Create(HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status) {
  return RegistryKey(CreateTag{}, root, path, access, status);
}

bool RegistryKey::ReadDword(LPCWSTR name, DWORD& value) const {
  if (!m_key) return false;
  DWORD type = 0, data = 0, size = sizeof data;
  if (RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
    return false;
  if (type != REG_DWORD || size != sizeof data) return false;
  value = data;
  return true;
}

bool RegistryKey::ReadBinary4(LPCWSTR name, int& value) const {
  if (!m_key) return false;
  DWORD type = 0, size = 4;
  BYTE data[4] = {};
  if (RegQueryValueExW(m_key.get(), name, nullptr, &type, data, &size) != ERROR_SUCCESS) return false;
  if (type != REG_BINARY || size != 4) return false;
  value = static_cast<int>(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
  return true;
}

bool RegistryKey::ReadString(LPCWSTR name, DWORD maxChars, std::wstring& text) const {
  return ReadText(name, maxChars, true, text);
}

bool RegistryKey::ReadPlainString(LPCWSTR name, DWORD maxChars, std::wstring& text) const {
  return ReadText(name, maxChars, false, text);
}

bool RegistryKey::ReadText(LPCWSTR name, DWORD maxChars, bool expandable, std::wstring& text) const {
  if (!m_key || maxChars == 0) return false;
  std::vector<wchar_t> buffer(maxChars, L'\0');
  DWORD type = 0, size = maxChars * static_cast<DWORD>(sizeof(wchar_t));
  // A value longer than the buffer answers ERROR_MORE_DATA: too long counts as missing.
  if (RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  if (type != REG_SZ && !(expandable && type == REG_EXPAND_SZ)) return false;
  if (size == 0 || size % sizeof(wchar_t) != 0) return false;
  const DWORD chars = size / sizeof(wchar_t);
  if (buffer[chars - 1] != L'\0') return false;  // stored without its terminator
  text.assign(buffer.data(), wcslen(buffer.data()));
  return true;
}

bool RegistryKey::Write(LPCWSTR name, DWORD type, const void* data, DWORD size, LSTATUS* status) const {
  const LSTATUS written =
      m_key ? RegSetValueExW(m_key.get(), name, 0, type, static_cast<const BYTE*>(data), size) : ERROR_INVALID_HANDLE;
  if (status) *status = written;
  return written == ERROR_SUCCESS;
}

}  // namespace win
