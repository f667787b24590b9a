// Test-side control of the fake SAPI server (see FakeSapiControl.h).
#include "FakeSapiControl.h"

#include <sapi.h>

#include <cwchar>
#include <sstream>

namespace fakesapi {

namespace {

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

bool GetString(HKEY key, const wchar_t* name, std::wstring* value) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring buf(size / sizeof(wchar_t) + 1, L'\0');
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&buf[0]), &size) != ERROR_SUCCESS)
    return false;
  buf.resize(wcslen(buf.c_str()));
  *value = buf;
  return true;
}

std::wstring ClsidText(REFCLSID clsid) {
  wchar_t text[64] = {};
  StringFromGUID2(clsid, text, 64);
  return text;
}

const CLSID* const kFakeClasses[] = {&CLSID_SpVoice, &CLSID_SpObjectTokenCategory, &CLSID_SpStream};

std::wstring FromUtf8(const std::string& bytes) {
  if (bytes.empty()) return std::wstring();
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

std::wstring Unescape(const std::wstring& text) {
  std::wstring out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'\\' && i + 1 < text.size()) {
      wchar_t c = text[++i];
      out += c == L't' ? L'\t' : c == L'r' ? L'\r' : c == L'n' ? L'\n' : c;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::string out;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return out;
  char buf[8192];
  DWORD got = 0;
  while (ReadFile(file, buf, sizeof(buf), &got, nullptr) && got) out.append(buf, got);
  CloseHandle(file);
  return out;
}

LONG DeleteTree(HKEY root, const std::wstring& sub) {
  win::UniqueRegKey key;
  LONG rc = RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ | KEY_WRITE, key.put());
  if (rc != ERROR_SUCCESS) return rc;
  for (;;) {
    wchar_t name[256];
    DWORD len = 256;
    if (RegEnumKeyExW(key.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    rc = DeleteTree(key.get(), name);
    if (rc != ERROR_SUCCESS) return rc;
  }
  return RegDeleteKeyW(root, sub.c_str());
}

}  // namespace

std::wstring CallEventName(DWORD pid) { return L"OrvelFakeSapi.Call." + std::to_wstring(pid); }
std::wstring ReleaseEventName(DWORD pid) { return L"OrvelFakeSapi.Release." + std::to_wstring(pid); }
std::wstring SpeakEventName(DWORD pid) { return L"OrvelFakeSapi.Speak." + std::to_wstring(pid); }

ProcessEvents::ProcessEvents(DWORD pid)
    : call(CreateEventW(nullptr, FALSE, FALSE, CallEventName(pid).c_str())),
      release(CreateEventW(nullptr, FALSE, FALSE, ReleaseEventName(pid).c_str())),
      speak(CreateEventW(nullptr, FALSE, FALSE, SpeakEventName(pid).c_str())) {}

std::wstring DllBesideProgram() {
  wchar_t path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  size_t slash = dir.find_last_of(L"\\/");
  return (slash == std::wstring::npos ? std::wstring() : dir.substr(0, slash + 1)) + L"fakesapi.dll";
}

std::wstring DefaultDll() {
#ifdef ORV_FAKESAPI_BUILT_DLL
  // The build knows the DLL by its host path; Wine's kernel32 translates such paths.
  using ToDos = LPWSTR(CDECL*)(LPCSTR);
  auto toDos = reinterpret_cast<ToDos>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (toDos) {
    if (LPWSTR dos = toDos(ORV_FAKESAPI_BUILT_DLL)) {
      std::wstring path = dos;
      HeapFree(GetProcessHeap(), 0, dos);
      if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return path;
    }
  }
#endif
  return DllBesideProgram();
}

HRESULT EnsureRegistered(const std::wstring& dllPath) {
  std::wstring dll = dllPath.empty() ? DefaultDll() : dllPath;
  if (GetFileAttributesW(dll.c_str()) == INVALID_FILE_ATTRIBUTES) return HRESULT_FROM_WIN32(GetLastError());
  for (const CLSID* clsid : kFakeClasses) {
    std::wstring path = L"CLSID\\" + ClsidText(*clsid) + L"\\InprocServer32";
    win::UniqueRegKey key;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key.put(),
                              nullptr);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    std::wstring current, threading, original;
    GetString(key.get(), nullptr, &current);
    GetString(key.get(), L"ThreadingModel", &threading);
    if (_wcsicmp(current.c_str(), dll.c_str()) == 0 && threading == L"Both") continue;
    // Keep the first original we replace; a server that is already ours is not an original.
    if (!GetString(key.get(), kOriginalServerValue, &original)) {
      bool ours = current.size() >= 12 && _wcsicmp(current.c_str() + current.size() - 12, L"fakesapi.dll") == 0;
      rc = SetString(key.get(), kOriginalServerValue, ours ? std::wstring() : current);
      if (rc == ERROR_SUCCESS) rc = SetString(key.get(), kOriginalThreadingValue, ours ? std::wstring() : threading);
      if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    rc = SetString(key.get(), nullptr, dll);
    if (rc == ERROR_SUCCESS) rc = SetString(key.get(), L"ThreadingModel", L"Both");
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  }
  return S_OK;
}

HRESULT RestoreOriginalRegistration() {
  for (const CLSID* clsid : kFakeClasses) {
    std::wstring clsidPath = L"CLSID\\" + ClsidText(*clsid);
    std::wstring path = clsidPath + L"\\InprocServer32";
    win::UniqueRegKey key;
    LONG rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ | KEY_WRITE, key.put());
    if (rc == ERROR_FILE_NOT_FOUND) continue;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    std::wstring original;
    if (!GetString(key.get(), kOriginalServerValue, &original)) continue;
    if (original.empty()) {
      key.reset();
      rc = RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    } else {
      std::wstring threading;
      const bool hadThreading = GetString(key.get(), kOriginalThreadingValue, &threading) && !threading.empty();
      rc = SetString(key.get(), nullptr, original);
      if (rc == ERROR_SUCCESS)
        rc = hadThreading ? SetString(key.get(), L"ThreadingModel", threading)
                          : RegDeleteValueW(key.get(), L"ThreadingModel");
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // there was none to remove
      if (rc == ERROR_SUCCESS) rc = RegDeleteValueW(key.get(), kOriginalServerValue);
      if (rc == ERROR_SUCCESS) {
        rc = RegDeleteValueW(key.get(), kOriginalThreadingValue);
        if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;  // saved by an older registration
      }
    }
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  }
  return S_OK;
}

std::wstring Call::Field(const std::wstring& key) const {
  auto it = fields.find(key);
  return it == fields.end() ? std::wstring() : it->second;
}

long long Call::Number(const std::wstring& key, long long fallback) const {
  auto it = fields.find(key);
  if (it == fields.end() || it->second.empty()) return fallback;
  return wcstoll(it->second.c_str(), nullptr, 0);
}

std::vector<Call> ParseLog(const std::string& utf8) {
  std::vector<Call> calls;
  std::wstring text = FromUtf8(utf8);
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos) break;  // a line still being written
    std::wstring line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    Call call;
    size_t field = 0;
    bool first = true;
    while (field <= line.size()) {
      size_t tab = line.find(L'\t', field);
      if (tab == std::wstring::npos) tab = line.size();
      std::wstring part = line.substr(field, tab - field);
      field = tab + 1;
      if (first) {
        call.name = part;
        first = false;
        continue;
      }
      size_t eq = part.find(L'=');
      if (eq == std::wstring::npos) continue;
      call.fields[part.substr(0, eq)] = Unescape(part.substr(eq + 1));
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::wstring Describe(const std::vector<Call>& calls) {
  std::wostringstream out;
  for (const Call& c : calls) {
    out << L"  " << c.name;
    for (const auto& f : c.fields) out << L" " << f.first << L"=" << f.second;
    out << L"\n";
  }
  return out.str();
}

Session::Session() {
  static volatile LONG counter = 0;
  std::wstring unique = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount()) + L"-" +
                        std::to_wstring(InterlockedIncrement(&counter));
  m_categorySub = L"Software\\OrvelTest\\FakeSapi\\" + unique;
  m_category = L"HKEY_CURRENT_USER\\" + m_categorySub;
  win::UniqueRegKey tokens;
  RegCreateKeyExW(HKEY_CURRENT_USER, (m_categorySub + L"\\Tokens").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                  tokens.put(), nullptr);
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  m_logPath = std::wstring(temp) + L"fakesapi-" + unique + L".log";
  HANDLE log = CreateFileW(m_logPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  DWORD pid = GetCurrentProcessId();
  m_callEvent.reset(CreateEventW(nullptr, FALSE, FALSE, CallEventName(pid).c_str()));
  m_releaseEvent.reset(CreateEventW(nullptr, FALSE, FALSE, ReleaseEventName(pid).c_str()));
  if (m_releaseEvent) ResetEvent(m_releaseEvent.get());  // a release left over from an earlier session
  m_speakEvent.reset(CreateEventW(nullptr, FALSE, FALSE, SpeakEventName(pid).c_str()));
  if (m_speakEvent) ResetEvent(m_speakEvent.get());
  SetEnvironmentVariableW(kEnvEnable, L"1");
  SetEnvironmentVariableW(kEnvVoices, m_category.c_str());
  SetEnvironmentVariableW(kEnvLog, m_logPath.c_str());
  SetEnvironmentVariableW(kEnvMsPerWord, L"0");
  SetEnvironmentVariableW(kEnvHold, nullptr);
  SetEnvironmentVariableW(kEnvHoldAtWord, nullptr);
  SetEnvironmentVariableW(kEnvFail, nullptr);
}

Session::~Session() {
  for (const wchar_t* name : {kEnvEnable, kEnvVoices, kEnvLog, kEnvMsPerWord, kEnvHold, kEnvHoldAtWord, kEnvFail})
    SetEnvironmentVariableW(name, nullptr);
  DeleteTree(HKEY_CURRENT_USER, m_categorySub);
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrvelTest\\FakeSapi");  // only when empty
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrvelTest");
  DeleteFileW(m_logPath.c_str());
}

std::wstring AddVoiceToken(const std::wstring& categoryUnderHkcu, const VoiceSpec& spec) {
  std::wstring sub = categoryUnderHkcu + L"\\Tokens\\" + spec.key;
  win::UniqueRegKey token;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, token.put(), nullptr) !=
      ERROR_SUCCESS)
    return std::wstring();
  if (!spec.description.empty()) SetString(token.get(), nullptr, spec.description);
  if (spec.attributes) {
    win::UniqueRegKey attrs;
    if (RegCreateKeyExW(token.get(), L"Attributes", 0, nullptr, 0, KEY_WRITE, nullptr, attrs.put(), nullptr) ==
        ERROR_SUCCESS) {
      SetString(attrs.get(), L"Name", spec.name);
      SetString(attrs.get(), L"Vendor", spec.vendor);
      if (!spec.language.empty()) SetString(attrs.get(), L"Language", spec.language);
    }
  }
  for (const std::wstring& ui : spec.ui) {
    win::UniqueRegKey uiKey;
    RegCreateKeyExW(token.get(), (L"UI\\" + ui).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, uiKey.put(), nullptr);
  }
  return L"HKEY_CURRENT_USER\\" + categoryUnderHkcu + L"\\Tokens\\" + spec.key;
}

std::wstring Session::AddVoice(const VoiceSpec& spec) { return AddVoiceToken(m_categorySub, spec); }

bool Session::RemoveVoice(const std::wstring& key) {
  return !key.empty() && DeleteTree(HKEY_CURRENT_USER, m_categorySub + L"\\Tokens\\" + key) == ERROR_SUCCESS;
}

void Session::SetMsPerWord(unsigned ms) { SetEnvironmentVariableW(kEnvMsPerWord, std::to_wstring(ms).c_str()); }

void Session::SetHold(bool hold) { SetEnvironmentVariableW(kEnvHold, hold ? L"1" : nullptr); }

void Session::SetHoldAtWord(unsigned n) {
  SetEnvironmentVariableW(kEnvHoldAtWord, n ? std::to_wstring(n).c_str() : nullptr);
}

void Session::ReleaseHeld() {
  if (m_releaseEvent) SetEvent(m_releaseEvent.get());
}

void Session::SetFailure(const std::wstring& method, HRESULT hr, unsigned count) {
  wchar_t value[32];
  swprintf(value, 32, L"0x%08lx", static_cast<unsigned long>(hr));
  std::wstring entry = method + L"=" + value;
  if (count) entry += L"*" + std::to_wstring(count);
  // The server rewrites the list as counted entries are used up: start from what is there now.
  wchar_t current[2048] = {};
  GetEnvironmentVariableW(kEnvFail, current, 2048);
  std::wstring list, all = current;
  size_t pos = 0;
  while (pos < all.size()) {
    size_t end = all.find(L';', pos);
    if (end == std::wstring::npos) end = all.size();
    std::wstring e = all.substr(pos, end - pos);
    pos = end + 1;
    if (e.empty() || e.compare(0, method.size() + 1, method + L"=") == 0) continue;
    list += e + L";";
  }
  list += entry;
  SetEnvironmentVariableW(kEnvFail, list.c_str());
}

void Session::ClearFailures() { SetEnvironmentVariableW(kEnvFail, nullptr); }

std::vector<Call> ReadLog(const std::wstring& path) { return ParseLog(ReadFileBytes(path)); }

std::vector<Call> Session::Calls() const { return ReadLog(m_logPath); }

std::vector<Call> Session::Calls(const std::wstring& name) const {
  std::vector<Call> out;
  for (Call& c : Calls())
    if (c.name == name) out.push_back(std::move(c));
  return out;
}

bool Session::WaitForCall(const std::function<bool(const Call&)>& match, DWORD timeoutMs, Call* found,
                          HANDLE wake) const {
  if (!wake) wake = m_callEvent.get();
  DWORD start = GetTickCount();
  for (;;) {
    for (const Call& c : Calls()) {
      if (match(c)) {
        if (found) *found = c;
        return true;
      }
    }
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    // The server sets the event after each line; a line written since the read above wakes us.
    WaitForSingleObject(wake, timeoutMs - spent);
  }
}

bool Session::WaitForCall(const std::wstring& name, DWORD timeoutMs, Call* found) const {
  return WaitForCall([&](const Call& c) { return c.name == name; }, timeoutMs, found);
}

bool Session::WaitForCalls(const std::wstring& name, size_t count, DWORD timeoutMs) const {
  DWORD start = GetTickCount();
  for (;;) {
    if (Calls(name).size() >= count) return true;
    DWORD spent = GetTickCount() - start;
    if (spent >= timeoutMs) return false;
    WaitForSingleObject(m_callEvent.get(), timeoutMs - spent);
  }
}

}  // namespace fakesapi
