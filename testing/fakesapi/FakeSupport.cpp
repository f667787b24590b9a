#include "FakeSupport.h"

#include "FakeSapiControl.h"

#include <objbase.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace fakesapi {

HINSTANCE g_module = nullptr;
volatile LONG g_liveObjects = 0;
volatile LONG g_serverLocks = 0;

namespace {

Lock& LogLock() {
  static Lock lock;
  return lock;
}

std::string ToUtf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
  return out;
}

std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'\\':
        out += L"\\\\";
        break;
      case L'\t':
        out += L"\\t";
        break;
      case L'\r':
        out += L"\\r";
        break;
      case L'\n':
        out += L"\\n";
        break;
      default:
        out += c;
        break;
    }
  }
  return out;
}

// Opens a named event of this process once it exists; keeps it for later calls.
class ProcessEvent {
 public:
  explicit ProcessEvent(std::wstring name) : m_name(std::move(name)) {}
  HANDLE Get(bool create) {
    Guard g(m_lock);
    if (!m_handle) {
      HANDLE h = create ? CreateEventW(nullptr, FALSE, FALSE, m_name.c_str())
                        : OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, m_name.c_str());
      if (h) m_handle.reset(h);
    }
    return m_handle.get();
  }

 private:
  Lock m_lock;
  std::wstring m_name;
  win::UniqueKernelHandle m_handle;
};

ProcessEvent& CallEventHolder() {
  static ProcessEvent ev(CallEventName(GetCurrentProcessId()));
  return ev;
}

ProcessEvent& SpeakEventHolder() {
  static ProcessEvent ev(SpeakEventName(GetCurrentProcessId()));
  return ev;
}

ProcessEvent& ReleaseEventHolder() {
  static ProcessEvent ev(ReleaseEventName(GetCurrentProcessId()));
  return ev;
}

}  // namespace

bool SplitRegistryPath(const std::wstring& path, HKEY* root, std::wstring* sub) {
  static const struct {
    const wchar_t* name;
    HKEY key;
  } roots[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKLM", HKEY_LOCAL_MACHINE},
      {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},   {L"HKCU", HKEY_CURRENT_USER},
      {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKCR", HKEY_CLASSES_ROOT},
  };
  size_t slash = path.find(L'\\');
  std::wstring head = path.substr(0, slash);
  for (const auto& r : roots) {
    if (EqualNoCase(head, r.name)) {
      *root = r.key;
      *sub = slash == std::wstring::npos ? std::wstring() : path.substr(slash + 1);
      return true;
    }
  }
  return false;
}

HRESULT OpenRegistryPath(const std::wstring& path, bool create, win::UniqueRegKey* key) {
  HKEY root = nullptr;
  std::wstring sub;
  if (!SplitRegistryPath(path, &root, &sub)) return E_INVALIDARG;
  LONG rc = create
                ? RegCreateKeyExW(root, sub.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, key->put(), nullptr)
                : RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ | KEY_WRITE, key->put());
  if (rc == ERROR_ACCESS_DENIED && !create) rc = RegOpenKeyExW(root, sub.c_str(), 0, KEY_READ, key->put());
  if (rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND) return kErrNotFound;
  return rc == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(rc);
}

LPWSTR TaskStrDup(const std::wstring& text) {
  size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  auto* out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (out) memcpy(out, text.c_str(), bytes);
  return out;
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

std::wstring Env(const wchar_t* name) {
  std::vector<wchar_t> buf(256);
  for (;;) {
    DWORD n = GetEnvironmentVariableW(name, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) return std::wstring(buf.data(), n);
    buf.resize(n + 1);
  }
}

bool FakeEnabled() { return Env(kEnvEnable) == L"1"; }

unsigned MsPerWord() {
  std::wstring v = Env(kEnvMsPerWord);
  return v.empty() ? 0u : static_cast<unsigned>(wcstoul(v.c_str(), nullptr, 10));
}

bool HoldStreams() { return Env(kEnvHold) == L"1"; }

size_t HoldAtWord() {
  std::wstring v = Env(kEnvHoldAtWord);
  return v.empty() ? 0u : static_cast<size_t>(wcstoul(v.c_str(), nullptr, 10));
}

std::wstring MapCategory(const std::wstring& categoryId) {
  std::wstring redirect = Env(kEnvVoices);
  if (!redirect.empty() && EqualNoCase(categoryId, kVoiceCategory)) return redirect;
  return categoryId;
}

HRESULT InjectedFailure(const wchar_t* method) {
  static Lock lock;
  Guard g(lock);
  std::wstring list = Env(kEnvFail);
  if (list.empty()) return S_OK;
  // Entries "Method=0xHR" or "Method=0xHR*n", separated by ';'.
  std::wstring rebuilt;
  HRESULT found = S_OK;
  bool changed = false;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t end = list.find(L';', pos);
    if (end == std::wstring::npos) end = list.size();
    std::wstring entry = list.substr(pos, end - pos);
    pos = end + 1;
    if (entry.empty()) continue;
    size_t eq = entry.find(L'=');
    bool keep = true;
    if (eq != std::wstring::npos && found == S_OK && entry.compare(0, eq, method) == 0 && eq == wcslen(method)) {
      std::wstring value = entry.substr(eq + 1);
      size_t star = value.find(L'*');
      found = static_cast<HRESULT>(wcstoul(value.substr(0, star).c_str(), nullptr, 0));
      if (star != std::wstring::npos) {
        unsigned long count = wcstoul(value.c_str() + star + 1, nullptr, 10);
        changed = true;
        if (count <= 1) {
          keep = false;
        } else {
          entry = entry.substr(0, eq + 1) + value.substr(0, star) + L"*" + std::to_wstring(count - 1);
        }
      }
    }
    if (keep) {
      if (!rebuilt.empty()) rebuilt += L';';
      rebuilt += entry;
    }
  }
  if (changed) SetEnvironmentVariableW(kEnvFail, rebuilt.empty() ? nullptr : rebuilt.c_str());
  if (FAILED(found)) LogCall(L"Failed", {{L"call", method}, {L"hr", Hex(static_cast<unsigned long>(found))}});
  return found;
}

std::wstring Hex(unsigned long long value) {
  wchar_t buf[32];
  swprintf(buf, 32, L"0x%llx", value);
  return buf;
}

std::wstring Dec(long long value) { return std::to_wstring(value); }

void LogCall(const wchar_t* name, std::initializer_list<Field> fields) {
  std::wstring path = Env(kEnvLog);
  if (!path.empty()) {
    std::wstring line = name;
    for (const auto& f : fields) {
      line += L'\t';
      line += f.first;
      line += L'=';
      line += Escape(f.second);
    }
    line += L'\n';
    std::string bytes = ToUtf8(line);
    Guard g(LogLock());
    win::UniqueFile file(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      DWORD written = 0;
      WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
  }
  SignalCall();
}

void SignalCall() {
  if (HANDLE ev = CallEventHolder().Get(false)) SetEvent(ev);
}

void SignalSpeak() {
  if (HANDLE ev = SpeakEventHolder().Get(false)) SetEvent(ev);
}

HANDLE ReleaseEvent() { return ReleaseEventHolder().Get(true); }

RefCounted::RefCounted(const wchar_t* className) : m_className(className) {
  static volatile LONG counter = 0;
  m_id = InterlockedIncrement(&counter);
  InterlockedIncrement(&g_liveObjects);
  LogCall(L"Created", {{L"object", m_className}, {L"id", Dec(m_id)}});
}

ULONG RefCounted::AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG RefCounted::ReleaseImpl() {
  if (m_dead) {
    LogCall(L"ExtraRelease", {{L"object", m_className}, {L"id", Dec(m_id)}});
    return 0;
  }
  LONG left = InterlockedDecrement(&m_refs);
  if (left == 0) {
    m_dead = 1;
    OnFinalRelease();
    InterlockedDecrement(&g_liveObjects);
    LogCall(L"Destroyed", {{L"object", m_className}, {L"id", Dec(m_id)}});
  }
  return static_cast<ULONG>(left < 0 ? 0 : left);
}

}  // namespace fakesapi
