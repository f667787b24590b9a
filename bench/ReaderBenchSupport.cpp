#include "ReaderBenchSupport.h"

#include <algorithm>
#include <cstdio>

namespace reader_bench {

namespace {
const REGSAM kView = KEY_WOW64_32KEY;  // the reader's keys live in the 32-bit view
const wchar_t kMakerKey[] = L"SOFTWARE\\ORVEL";
const wchar_t kAppKey[] = L"SOFTWARE\\Orvel\\Orvel Murmelin";
const wchar_t kHotKeyKey[] = L"SOFTWARE\\Orvel\\Orvel Murmelin\\HotKey_Read";
}  // namespace

double NowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? -1 : values[values.size() / 2];
}

std::wstring BenchFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring BuildFolder() { return BenchFolder() + L"..\\"; }
std::wstring ReaderProgram() { return BuildFolder() + L"reader\\bin\\Orvel Murmelin.exe"; }

ScopedValues::~ScopedValues() {
  for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, it->key.c_str(), 0, KEY_WRITE | kView, &key) != ERROR_SUCCESS) continue;
    if (it->had) {
      RegSetValueExW(key, it->name.c_str(), 0, it->type, it->data.data(), static_cast<DWORD>(it->data.size()));
    } else {
      RegDeleteValueW(key, it->name.c_str());
    }
    RegCloseKey(key);
  }
  for (auto it = m_madeKeys.rbegin(); it != m_madeKeys.rend(); ++it)
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, it->c_str(), kView, 0);
}

bool ScopedValues::Set(const wchar_t* keyPath, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  DWORD disposition = 0;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE | kView, nullptr, &key,
                      &disposition) != ERROR_SUCCESS)
    return false;
  if (disposition == REG_CREATED_NEW_KEY) m_madeKeys.push_back(keyPath);
  Saved saved{keyPath, name, false, 0, {}};
  DWORD oldSize = 0;
  if (RegQueryValueExW(key, name, nullptr, &saved.type, nullptr, &oldSize) == ERROR_SUCCESS) {
    saved.data.resize(oldSize);
    saved.had = RegQueryValueExW(key, name, nullptr, &saved.type, saved.data.data(), &oldSize) == ERROR_SUCCESS;
  }
  m_saved.push_back(std::move(saved));
  LONG rc = ERROR_SUCCESS;
  if (data) {
    rc = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
  } else {
    rc = RegDeleteValueW(key, name);
    if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // already absent
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool ScopedValues::SetDword(const wchar_t* key, const wchar_t* name, DWORD value) {
  return Set(key, name, REG_DWORD, &value, sizeof(value));
}

bool ScopedValues::SetString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
  return Set(key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool ScopedValues::SetBinary4(const wchar_t* key, const wchar_t* name, int value) {
  const BYTE bytes[4] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
                         static_cast<BYTE>(static_cast<unsigned>(value) >> 24)};
  return Set(key, name, REG_BINARY, bytes, sizeof(bytes));
}

bool ScopedValues::Remove(const wchar_t* key, const wchar_t* name) { return Set(key, name, REG_NONE, nullptr, 0); }

bool ScopedValues::SetEarlierRunState() {
  bool ok = SetDword(kAppKey, L"first", 0);
  ok = SetDword(kAppKey, L"cur_voice", 0) && ok;
  ok = SetDword(kAppKey, L"cur_volume", 100) && ok;
  ok = SetDword(kAppKey, L"cur_speed", 10) && ok;  // rate 0, stored plus 10
  ok = SetBinary4(kAppKey, L"posx", 100) && ok;
  ok = SetBinary4(kAppKey, L"posy", 100) && ok;
  return ok;
}

bool ScopedValues::ForgetEarlierRun() { return Remove(kAppKey, L"first"); }

bool ScopedValues::SetReaderDefaults() {
  bool ok = SetString(kMakerKey, L"language", L"english");
  ok = SetDword(kAppKey, L"first", 0) && ok;
  ok = SetDword(kAppKey, L"fold", 0) && ok;
  ok = SetDword(kAppKey, L"notepad_mode", 0) && ok;
  ok = SetDword(kAppKey, L"wait", 30000) && ok;  // a safety net: a copy takes milliseconds
  // Where the reader saves its state at the end: put back after the run as well.
  for (const wchar_t* saved : {L"cur_voice", L"cur_volume", L"cur_speed", L"posx", L"posy"}) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAppKey, 0, KEY_READ | kView, &key) != ERROR_SUCCESS) continue;
    Saved s{kAppKey, saved, false, 0, {}};
    DWORD size = 0;
    if (RegQueryValueExW(key, saved, nullptr, &s.type, nullptr, &size) == ERROR_SUCCESS) {
      s.data.resize(size);
      s.had = RegQueryValueExW(key, saved, nullptr, &s.type, s.data.data(), &size) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    m_saved.push_back(std::move(s));
  }
  ok = SetDword(kHotKeyKey, L"alt", 0) && ok;
  ok = SetDword(kHotKeyKey, L"ctrl", 1) && ok;
  ok = SetDword(kHotKeyKey, L"shift", 1) && ok;
  ok = SetDword(kHotKeyKey, L"key_code", VK_F9) && ok;
  return ok;
}

FakeEngine::FakeEngine() {
  const HRESULT hr = fakesapi::EnsureRegistered();
  if (FAILED(hr)) {
    std::printf("the fake SAPI server cannot be registered: 0x%08lx\n", static_cast<unsigned long>(hr));
    return;
  }
  m_ok = !m_session.AddVoice({L"BenchEwa", L"Ewa", L"Ewa", L"Other", L"415", {}, true}).empty();
}

void PressReadHotKey(ULONG_PTR extraInfo) {
  const WORD keys[] = {VK_CONTROL, VK_SHIFT, VK_F9};
  INPUT inputs[6] = {};
  for (int i = 0; i < 3; ++i) {
    inputs[i].type = inputs[5 - i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = inputs[5 - i].ki.wVk = keys[i];
    inputs[i].ki.dwExtraInfo = inputs[5 - i].ki.dwExtraInfo = extraInfo;
    inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  SendInput(6, inputs, sizeof(INPUT));
}

bool PrepareRun(const char* name, const std::wstring& reader, const FakeEngine& engine, ScopedValues& values) {
  if (GetFileAttributesW(reader.c_str()) == INVALID_FILE_ATTRIBUTES) {
    std::printf("%s: the reader is not built\n", name);
    return false;
  }
  if (HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, L"ONLY_ONE_ORVEL_TUNELO")) {
    CloseHandle(running);
    std::printf("%s: a reader is already running in this prefix; close it first\n", name);
    return false;
  }
  if (!engine.ok() || !values.SetReaderDefaults()) {
    std::printf("%s: the fake engine or the reader's settings could not be set up\n", name);
    return false;
  }
  return true;
}

}  // namespace reader_bench
