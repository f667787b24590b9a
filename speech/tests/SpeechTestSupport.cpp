#include "SpeechTestSupport.h"

#include <cstdio>
#include <sstream>

namespace speech_test {

namespace {

constexpr wchar_t kListenerClass[] = L"OrvelSpeechTestListener";

bool RegisterListenerClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kListenerClass;
    return RegisterClassW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  return registered;
}

}  // namespace

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += (c > 0 && c < 0x80) ? static_cast<char>(c) : '?';
  return out;
}

std::string NoteName(UINT message) {
  switch (message) {
    case WM_SPEECH_STARTED:
      return "STARTED";
    case WM_SPEECH_WORD:
      return "WORD";
    case WM_SPEECH_FILE_SENTENCE:
      return "FILE_SENTENCE";
    case WM_SPEECH_FINISHED:
      return "FINISHED";
    case WM_SPEECH_ERROR:
      return "ERROR";
    case WM_SPEECH_VOICE_READY:
      return "VOICE_READY";
    case WM_SPEECH_PAUSE_CHANGED:
      return "PAUSE_CHANGED";
    default: {
      char text[16];
      std::snprintf(text, sizeof(text), "0x%x", message);
      return text;
    }
  }
}

std::string Describe(const std::vector<Note>& notes) {
  std::ostringstream out;
  for (const Note& n : notes)
    out << "  " << NoteName(n.message) << "(" << static_cast<long long>(n.wParam) << ", "
        << static_cast<long long>(n.lParam) << ")\n";
  return out.str();
}

// ---- Listener ------------------------------------------------------------------------------

Listener::Listener() {
  if (!RegisterListenerClass()) return;
  m_hwnd = CreateWindowExW(0, kListenerClass, L"listener", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
  if (!m_hwnd) return;
  SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(m_hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Listener::Proc));
}

Listener::~Listener() {
  if (m_hwnd) DestroyWindow(m_hwnd);
}

LRESULT CALLBACK Listener::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<Listener*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && message >= WM_SPEECH_STARTED && message <= WM_SPEECH_PAUSE_CHANGED) {
    self->m_notes.push_back(Note{hwnd, message, wParam, lParam});
    return 0;
  }
  return DefWindowProcW(hwnd, message, wParam, lParam);
}

std::vector<Note> Listener::Notes(UINT message) const {
  std::vector<Note> out;
  for (const Note& n : m_notes)
    if (n.message == message) out.push_back(n);
  return out;
}

size_t Listener::Count(UINT message) const { return Notes(message).size(); }

Client::Client(int priority) {
  client.priority = priority;
  client.AddListener(listener.hwnd());
}

// ---- Waiting -------------------------------------------------------------------------------

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs, HANDLE wake) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(wake ? 1 : 0, wake ? &wake : nullptr, FALSE, static_cast<DWORD>(deadline - now),
                              QS_ALLINPUT);
  }
}

bool WaitForNotes(const Listener& listener, UINT message, size_t count, DWORD timeoutMs) {
  return PumpUntil([&] { return listener.Count(message) >= count; }, timeoutMs);
}

bool WaitPumping(HANDLE handle, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
    const DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

// ---- Control thread ------------------------------------------------------------------------

ControlThread::ControlThread(DWORD cleanupIntervalMs) {
  CWinThread* created =
      AfxBeginThread(RUNTIME_CLASS(VTTSFramework::CThSpeechControl), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (!created) return;
  m_thread = static_cast<VTTSFramework::CThSpeechControl*>(created);
  m_thread->m_bAutoDelete = FALSE;
  m_thread->GetVoiceManager().SetCleanupInterval(cleanupIntervalMs);
  m_thread->ResumeThread();
  if (WaitForSingleObject(m_thread->m_readyEvent, 10000) == WAIT_OBJECT_0) m_window = m_thread->GetControlWindow();
}

ControlThread::~ControlThread() { Stop(); }

bool ControlThread::Stop(DWORD timeoutMs) {
  if (!m_thread) return true;
  if (!m_thread->PostThreadMessage(WM_SPEECHTHREAD_SHUTDOWN, 0, 0)) return false;
  if (!WaitPumping(m_thread->m_hThread, timeoutMs)) return false;  // leaked: the test fails
  delete m_thread;
  m_thread = nullptr;
  m_window = nullptr;
  return true;
}

LRESULT ControlThread::Send(UINT message, const void* wParam, LPARAM lParam) const {
  return SendMessageW(hwnd(), message, reinterpret_cast<WPARAM>(wParam), lParam);
}

LRESULT ControlThread::Register(SpeechClient& c) const { return Send(WM_SPEECH_REGISTER_CLIENT, &c); }

LRESULT ControlThread::Unregister(SpeechClient& c) const { return Send(WM_SPEECH_UNREGISTER_CLIENT, &c); }

LRESULT ControlThread::Speak(SpeechClient& c, const wchar_t* text, DWORD flags) const {
  SpeakArgs args;
  args.client = &c;
  args.text = text;
  args.flags = flags;
  return Send(WM_SPEECH_SPEAK, &args);
}

LRESULT ControlThread::Select(SpeechClient& c, int index, DWORD resumeAfterVoiceChange) const {
  c.voiceIndex = index;
  c.reserved = 0;
  c.resumeAfterVoiceChange = resumeAfterVoiceChange;
  return Send(WM_SPEECH_SELECT_VOICE, &c);
}

bool ControlThread::SelectAndWait(Client& c, int index, DWORD resumeAfterVoiceChange) const {
  const size_t before = c.listener.Count(WM_SPEECH_VOICE_READY);
  if (Select(c, index, resumeAfterVoiceChange) != SPEECH_DONE) return false;
  return WaitForNotes(c.listener, WM_SPEECH_VOICE_READY, before + 1);
}

// ---- Registry ------------------------------------------------------------------------------

ScopedKey::ScopedKey(HKEY root, const std::wstring& path) : m_root(root) {
  std::wstring sofar;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find(L'\\', start);
    sofar = path.substr(0, slash);
    HKEY key = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, sofar.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition) !=
        ERROR_SUCCESS)
      return;
    win::UniqueRegKey created(key);
    if (disposition == REG_CREATED_NEW_KEY) m_created.push_back(sofar);
    if (slash == std::wstring::npos) {
      m_key = std::move(created);
      return;
    }
    start = slash + 1;
  }
}

ScopedKey::~ScopedKey() {
  // Values written into a key that existed before are left there.
  m_key.reset();
  for (auto it = m_created.rbegin(); it != m_created.rend(); ++it) {
    // The deepest key goes with its values; parents only when nothing else was put below them.
    if (it == m_created.rbegin())
      RegDeleteTreeW(m_root, it->c_str());
    else
      RegDeleteKeyW(m_root, it->c_str());
  }
}

LONG ScopedKey::SetString(const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(m_key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LONG ScopedKey::SetDword(const wchar_t* name, DWORD value) {
  return RegSetValueExW(m_key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool ScopedKey::GetDword(const wchar_t* name, DWORD* value) const {
  DWORD type = 0, size = sizeof(DWORD);
  return RegQueryValueExW(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
         type == REG_DWORD && size == sizeof(DWORD);
}

ScopedMachineOverride::ScopedMachineOverride() {
  m_path = L"Software\\OrvelTest\\SpeechControl\\Machine" + std::to_wstring(GetCurrentProcessId());
  DWORD disposition = 0;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, m_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, &disposition) !=
      ERROR_SUCCESS)
    return;
  m_key.reset(key);
  m_status = RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_key.get());
}

ScopedMachineOverride::~ScopedMachineOverride() {
  if (m_status == ERROR_SUCCESS) RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  if (m_key) {
    m_key.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, m_path.c_str());
    // The parents go only when no other test keeps keys below them.
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrvelTest\\SpeechControl");
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrvelTest");
  }
}

}  // namespace speech_test
