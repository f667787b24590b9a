// One registry key, opened for one job and closed after it, and its values read the careful way:
// a value whose stored type or size differs from the expected one counts as missing, so that a
// damaged or foreign value never reaches the program as data.
#pragma once

#include <windows.h>

#include <string>

#include "UniqueHandle.h"

namespace win {

class RegistryKey {
 public:
  // Opens root\path with the given access (with a view flag such as KEY_WOW64_32KEY where the
  // caller's keys live in one view); never creates it. Without the key every read reports
  // "missing" and every write does nothing. status, when given, receives the system's answer to
  // the open, for callers that report why a key is missing.
  RegistryKey(HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status = nullptr);
  // The same, but a missing key is created (non-volatile, default security).
  static RegistryKey Create(HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status = nullptr);
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  explicit operator bool() const { return static_cast<bool>(m_key); }
  HKEY get() const { return m_key.get(); }

  // A REG_DWORD of exactly 4 bytes.
  bool ReadDword(LPCWSTR name, DWORD& value) const;
  // A REG_BINARY of exactly 4 bytes, little-endian, as a signed number.
  bool ReadBinary4(LPCWSTR name, int& value) const;
  // A REG_SZ or REG_EXPAND_SZ of at most maxChars characters, terminator included. A longer
  // value, an odd byte count or a missing terminator counts as missing; text after an embedded
  // NUL is not part of the value. text is left unchanged when the value is missing.
  bool ReadString(LPCWSTR name, DWORD maxChars, std::wstring& text) const;
  // The same for a REG_SZ alone: a REG_EXPAND_SZ counts as missing too.
  bool ReadPlainString(LPCWSTR name, DWORD maxChars, std::wstring& text) const;
  // False when the key is missing or the system refused the write; status, when given, receives
  // the system's answer (ERROR_INVALID_HANDLE without the key).
  bool Write(LPCWSTR name, DWORD type, const void* data, DWORD size, LSTATUS* status = nullptr) const;

 private:
  struct CreateTag {};
  RegistryKey(CreateTag, HKEY root, LPCWSTR path, REGSAM access, LSTATUS* status);
  bool ReadText(LPCWSTR name, DWORD maxChars, bool expandable, std::wstring& text) const;

  UniqueRegKey m_key;
};

}  // namespace win
