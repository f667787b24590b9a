// The reader's registry settings, read hot key, diagnostic switch and thread names.
#include "Settings.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

namespace {

// One open registry key, closed when it goes out of scope.
class RegKey {
 public:
  // Opens HKLM\path with the given access; never creates it. The reader is a 32-bit program, so
  // its keys are those of the 32-bit registry view; naming the view keeps any build of this code
  // on the same keys.
  RegKey(LPCWSTR path, REGSAM access) {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access | reader_settings::kView, &key_) != ERROR_SUCCESS)
      key_ = nullptr;
  }
  ~RegKey() {
    if (key_) RegCloseKey(key_);
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  explicit operator bool() const { return key_ != nullptr; }

  // A REG_DWORD of exactly 4 bytes.
  bool ReadDword(LPCWSTR name, DWORD& value) const {
    if (!key_) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS)
      return false;
    if (type != REG_DWORD || size != sizeof data) return false;
    value = data;
    return true;
  }
  // A REG_BINARY of exactly 4 bytes, as a signed number.
  bool ReadBinary4(LPCWSTR name, int& value) const {
    if (!key_) return false;
    DWORD type = 0, size = 4;
    BYTE data[4] = {};
    if (RegQueryValueExW(key_, name, nullptr, &type, data, &size) != ERROR_SUCCESS) return false;
    if (type != REG_BINARY || size != 4) return false;
    value = static_cast<int>(data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24));
    return true;
  }
  void Write(LPCWSTR name, DWORD type, const void* data, DWORD size) const {
    if (!key_) return;
    // A failed write changes nothing the reader depends on; say so for the debugger.
    if (RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(data), size) != ERROR_SUCCESS)
      OutputDebugStringW(L"reader: a setting could not be written\n");
  }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

void WriteAppValue(LPCWSTR name, DWORD type, const void* data, DWORD size) {
  RegKey key(reader_settings::kAppKey, KEY_WRITE);
  key.Write(name, type, data, size);
}

// -1 not read yet, else 0 or 1.
std::atomic<int> g_diagnostic{-1};

}  // namespace

// ---------------------------------------------------------------------------------------------
CCfgData& CCfgData::Instance() {
  static CCfgData s_instance;
  return s_instance;
}

void WriteAppDword(LPCWSTR name, DWORD value) { WriteAppValue(name, REG_DWORD, &value, sizeof value); }

int ReadAppDword(LPCWSTR name) {
  DWORD value = 0;
  if (!RegKey(reader_settings::kAppKey, KEY_READ).ReadDword(name, value)) return -1;
  return static_cast<int>(value);
}

BOOL GetAppDwordValue(LPCWSTR name, DWORD& value) {
  return RegKey(reader_settings::kAppKey, KEY_READ).ReadDword(name, value) ? TRUE : FALSE;
}

BOOL GetRegStringValue(LPCWSTR keyPath, std::wstring& text, LPCWSTR name) {
  RegKey key(keyPath, KEY_READ);
  if (!key) return FALSE;
  constexpr DWORD kMaxBytes = reader_settings::kMaxStringChars * sizeof(wchar_t);
  wchar_t buffer[reader_settings::kMaxStringChars] = {};
  DWORD type = 0, size = kMaxBytes;
  // A value longer than the buffer answers ERROR_MORE_DATA: too long counts as missing.
  if (RegQueryValueExW(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return FALSE;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return FALSE;
  if (size == 0 || size % sizeof(wchar_t) != 0) return FALSE;
  const DWORD chars = size / sizeof(wchar_t);
  if (buffer[chars - 1] != L'\0') return FALSE;  // stored without its terminator
  text.assign(buffer, chars - 1);
  // Text after an embedded NUL is not part of the value.
  text.resize(wcslen(text.c_str()));
  return TRUE;
}

BOOL GetRegStringValue(LPCWSTR keyPath, CString& text, LPCWSTR name) {
  std::wstring value;
  if (!GetRegStringValue(keyPath, value, name)) return FALSE;
  text = value.c_str();
  return TRUE;
}

BOOL ReadFoldState() {
  DWORD value = 0;
  return RegKey(reader_settings::kAppKey, KEY_READ).ReadDword(L"fold", value) && value != 0;
}

void WriteFoldState(BOOL folded) { WriteAppDword(L"fold", folded ? 1 : 0); }

BOOL ReadWindowPos(int& x, int& y) {
  RegKey key(reader_settings::kAppKey, KEY_READ);
  int px = 0, py = 0;
  if (!key.ReadBinary4(L"posx", px) || !key.ReadBinary4(L"posy", py)) return FALSE;
  x = px;
  y = py;
  return TRUE;
}

void WriteWindowPos(int x, int y) {
  RegKey key(reader_settings::kAppKey, KEY_WRITE);
  const BYTE bx[4] = {static_cast<BYTE>(x), static_cast<BYTE>(x >> 8), static_cast<BYTE>(x >> 16),
                      static_cast<BYTE>(static_cast<unsigned>(x) >> 24)};
  const BYTE by[4] = {static_cast<BYTE>(y), static_cast<BYTE>(y >> 8), static_cast<BYTE>(y >> 16),
                      static_cast<BYTE>(static_cast<unsigned>(y) >> 24)};
  key.Write(L"posx", REG_BINARY, bx, 4);
  key.Write(L"posy", REG_BINARY, by, 4);
}

BOOL IsFirstRun() {
  DWORD value = 0;
  return RegKey(reader_settings::kAppKey, KEY_READ).ReadDword(L"first", value) ? FALSE : TRUE;
}

void WriteFirstRunDone() { WriteAppDword(L"first", 0); }

void WriteCurrentVoice(int index) { WriteAppDword(L"cur_voice", static_cast<DWORD>(index)); }

int ReadCurrentVoice() { return ReadAppDword(L"cur_voice"); }

BOOL IsDiagnosticMode() {
  int cached = g_diagnostic.load();
  if (cached < 0) {
    DWORD value = 0;
    cached = RegKey(reader_settings::kDiagnosticKey, KEY_READ).ReadDword(L"diagnostic", value) && value == 1 ? 1 : 0;
    g_diagnostic.store(cached);
  }
  return cached == 1;
}

void reader_settings::ForgetDiagnosticModeForTest() { g_diagnostic.store(-1); }

// ---------------------------------------------------------------------------------------------
void RegisterReadHotKey(CCfgData& cfg, HWND mainDialog) {
  if (cfg.m_bHotKeyRegistered) return;
  RegKey key(reader_settings::kHotKeyKey, KEY_READ);
  if (!key) return;
  DWORD alt = 0, ctrl = 0, shift = 0, keyCode = 0;
  if (!key.ReadDword(L"alt", alt) || !key.ReadDword(L"ctrl", ctrl) || !key.ReadDword(L"shift", shift) ||
      !key.ReadDword(L"key_code", keyCode))
    return;
  // Set before registering: the teardown releases the key whenever registration was attempted.
  cfg.m_bHotKeyRegistered = true;
  UINT modifiers = 0;
  if (alt == 1) modifiers |= MOD_ALT;
  if (ctrl == 1) modifiers |= MOD_CONTROL;
  if (shift == 1) modifiers |= MOD_SHIFT;
  if (modifiers == 0) modifiers = MOD_CONTROL;
  if (!::RegisterHotKey(mainDialog, READ_HOTKEY_ID, modifiers, keyCode)) {
    // Another program holds the combination; the reader then works by its read button only.
    OutputDebugStringW(L"reader: the read hot key could not be registered\n");
  }
}

void RegisterReadHotKey(CCfgData& cfg, CWnd* mainDialog) {
  RegisterReadHotKey(cfg, mainDialog ? mainDialog->GetSafeHwnd() : nullptr);
}

void UnregisterReadHotKey(CCfgData& cfg, HWND mainDialog) {
  if (!cfg.m_bHotKeyRegistered) return;
  ::UnregisterHotKey(mainDialog, READ_HOTKEY_ID);
  cfg.m_bHotKeyRegistered = false;
}

// ---------------------------------------------------------------------------------------------
// Thread names. The debugger learns a thread's name from a first-chance exception with code
// 0x406D1388. mingw has no __try/__except, so a vectored handler of our own answers it with
// EXCEPTION_CONTINUE_EXECUTION. A debugger sees the exception first (and reads the name); without
// one, our handler ends it before any frame-based handler or unhandled-exception filter runs.
// The handler acts only on the exception raised by SetThreadName on the same thread.
namespace {

constexpr DWORD kThreadNameException = 0x406D1388;
thread_local bool t_namingThread = false;

LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* info) {
  if (t_namingThread && info && info->ExceptionRecord && info->ExceptionRecord->ExceptionCode == kThreadNameException)
    return EXCEPTION_CONTINUE_EXECUTION;
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void SetThreadName(DWORD threadId, LPCSTR name) {
  PVOID handler = AddVectoredExceptionHandler(1, &ContinueAfterThreadName);
  if (!handler) return;  // without the handler the exception could end the process
  // The record the debuggers read: type 0x1000, the narrow name, the thread, flags 0. It travels
  // as the exception's arguments, as many pointer-sized words as it fills (4 on 32-bit Windows).
  struct ThreadNameInfo {
    DWORD dwType;
    LPCSTR szName;
    DWORD dwThreadID;
    DWORD dwFlags;
  };
  const ThreadNameInfo info = {0x1000, name ? name : "", threadId, 0};
  constexpr DWORD kArgs = static_cast<DWORD>(sizeof(ThreadNameInfo) / sizeof(ULONG_PTR));
  t_namingThread = true;
  RaiseException(kThreadNameException, 0, kArgs, reinterpret_cast<const ULONG_PTR*>(&info));
  t_namingThread = false;
  RemoveVectoredExceptionHandler(handler);
}

void SetThreadNameF(DWORD threadId, LPCSTR format, ...) {
  char name[513];
  va_list args;
  va_start(args, format);
  const int n = _vsnprintf(name, sizeof name - 1, format ? format : "", args);
  va_end(args);
  // Older C libraries answer -1 when the text was cut, newer ones the uncut length.
  name[n < 0 || n > static_cast<int>(sizeof name - 1) ? sizeof name - 1 : static_cast<size_t>(n)] = '\0';
  SetThreadName(threadId, name);
}
