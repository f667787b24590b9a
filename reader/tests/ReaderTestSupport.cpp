#include "ReaderTestSupport.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "LanguageModule.h"
#include "Settings.h"

namespace reader_test {

std::wstring TestFolder() { return orv_reader::FolderOf(orv_reader::GetModulePath(nullptr)); }
std::wstring BuiltProgram() { return TestFolder() + L"bin\\Orvel Murmelin.exe"; }
std::wstring BuiltModule(const std::wstring& name) { return TestFolder() + L"bin\\lang\\" + name + L".dll"; }
std::wstring TestModule(const std::wstring& name) { return TestFolder() + L"testmodules\\" + name + L".dll"; }

ResourceModule::ResourceModule(const std::wstring& name) {
  m_module.reset(LoadLibraryW(BuiltModule(name).c_str()));
  EXPECT_NE(m_module.get(), nullptr) << Narrow(name) << ".dll missing, error " << GetLastError();
  m_previous = AfxGetResourceHandle();
  if (m_module) AfxSetResourceHandle(m_module.get());
}

ResourceModule::~ResourceModule() { AfxSetResourceHandle(m_previous); }

TempFolder::TempFolder() {
  static LONG counter = 0;
  wchar_t temp[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
  EXPECT_GT(length, 0u) << "GetTempPath failed, error " << GetLastError();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = std::wstring(temp) + L"orvreader-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                   std::to_wstring(InterlockedIncrement(&counter)) + L"\\";
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      m_path = candidate;
      return;
    }
  }
  ADD_FAILURE() << "no temporary folder could be made, error " << GetLastError();
}

TempFolder::~TempFolder() {
  if (!m_path.empty() && !DeleteTree(m_path)) {
    ADD_FAILURE() << "could not delete " << Narrow(m_path) << ", error " << GetLastError();
  }
}

bool TempFolder::Copy(const std::wstring& source, const std::wstring& relativeName) const {
  const std::wstring target = m_path + relativeName;
  for (size_t slash = target.find(L'\\', m_path.size()); slash != std::wstring::npos;
       slash = target.find(L'\\', slash + 1)) {
    CreateDirectoryW(target.substr(0, slash).c_str(), nullptr);
  }
  if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
    ADD_FAILURE() << "copying " << Narrow(source) << " to " << Narrow(target) << " failed, error " << GetLastError();
    return false;
  }
  return true;
}

bool DeleteTree(const std::wstring& folder) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\') base += L'\\';
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + L"*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = base + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        DeleteTree(path);
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  return RemoveDirectoryW(base.c_str()) != FALSE;
}

ScopedRegValue::ScopedRegValue(const wchar_t* keyPath, const wchar_t* name) : m_keyPath(keyPath), m_name(name) {
  DWORD disposition = 0;
  const LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0,
                                      KEY_READ | KEY_WRITE | reader_settings::kView, nullptr, &m_key, &disposition);
  if (result != ERROR_SUCCESS) {
    ADD_FAILURE() << "RegCreateKeyEx(" << Narrow(keyPath) << ") failed: " << result;
    m_key = nullptr;
    return;
  }
  m_createdKey = disposition == REG_CREATED_NEW_KEY;
  DWORD size = 0;
  if (RegQueryValueExW(m_key, name, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
    m_data.resize(size);
    m_hadValue =
        RegQueryValueExW(m_key, name, nullptr, &m_type, size ? m_data.data() : nullptr, &size) == ERROR_SUCCESS;
    m_data.resize(size);
  }
}

ScopedRegValue::~ScopedRegValue() {
  if (m_key == nullptr) return;
  if (m_hadValue) {
    RegSetValueExW(m_key, m_name.c_str(), 0, m_type, m_data.empty() ? nullptr : m_data.data(),
                   static_cast<DWORD>(m_data.size()));
  } else {
    RegDeleteValueW(m_key, m_name.c_str());
  }
  RegCloseKey(m_key);
  if (m_createdKey) DeleteKey(m_keyPath.c_str());
}

bool ScopedRegValue::SetString(const std::wstring& value) {
  if (m_key == nullptr) return false;
  const LONG result = RegSetValueExW(m_key, m_name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(ERROR_SUCCESS, result) << "RegSetValueEx " << Narrow(m_name);
  return result == ERROR_SUCCESS;
}

bool ScopedRegValue::SetDword(DWORD value) {
  if (m_key == nullptr) return false;
  const LONG result =
      RegSetValueExW(m_key, m_name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  EXPECT_EQ(ERROR_SUCCESS, result) << "RegSetValueEx " << Narrow(m_name);
  return result == ERROR_SUCCESS;
}

bool ScopedRegValue::Remove() {
  if (m_key == nullptr) return false;
  const LONG result = RegDeleteValueW(m_key, m_name.c_str());
  return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
}

namespace {

bool ReadFourBytes(const wchar_t* keyPath, const wchar_t* name, DWORD expectedType, DWORD& value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | reader_settings::kView, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0, size = sizeof(value);
  const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == expectedType && size == sizeof(value);
}

}  // namespace

bool ReadDword(const wchar_t* keyPath, const wchar_t* name, DWORD& value) {
  return ReadFourBytes(keyPath, name, REG_DWORD, value);
}

bool ReadBinaryInt(const wchar_t* keyPath, const wchar_t* name, int& value) {
  DWORD bytes = 0;
  if (!ReadFourBytes(keyPath, name, REG_BINARY, bytes)) return false;
  value = static_cast<int>(bytes);
  return true;
}

bool KeyExists(const wchar_t* keyPath) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_READ | reader_settings::kView, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

void DeleteKey(const wchar_t* keyPath) { RegDeleteKeyExW(HKEY_LOCAL_MACHINE, keyPath, reader_settings::kView, 0); }

std::set<DWORD> NotepadProcesses() {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (_wcsicmp(entry.szExeFile, L"notepad.exe") == 0) ids.insert(entry.th32ProcessID);
  CloseHandle(snapshot);
  return ids;
}

void EndNotepads(DWORD boundMs) {
  for (DWORD id : NotepadProcesses()) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!process) continue;
    TerminateProcess(process, 0);
    WaitForSingleObject(process, boundMs);
    CloseHandle(process);
  }
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
  }
  return out;
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", value);
  return text;
}

}  // namespace reader_test
