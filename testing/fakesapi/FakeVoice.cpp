// The fake SpVoice: speaks nothing, but goes through the motions of a SAPI 5 voice on a scripted
// clock. Each voice object has an engine thread that walks its queued streams word by word and
// produces the documented events; a hidden window on the notifying thread delivers the callback.
#include "FakeVoice.h"

#include "FakeSapiControl.h"
#include "FakeSupport.h"
#include "FakeTokens.h"

#include <sapi.h>
#include <wrl/client.h>

#include <cwctype>
#include <deque>
#include <memory>
#include <vector>

using Microsoft::WRL::ComPtr;

namespace fakesapi {

namespace {

constexpr ULONGLONG kFlagCheck = (1ull << SPEI_RESERVED1) | (1ull << SPEI_RESERVED2);
constexpr UINT kNotifyMessage = WM_APP + 0x51;
constexpr wchar_t kNotifyClass[] = L"FakeSapiNotifyWindow";
constexpr ULONG kAudioBytesPerChar = 100;

struct Word {
  ULONG pos;
  ULONG len;
  size_t sentence;
};

struct Sentence {
  ULONG pos;
  ULONG len;
  size_t firstWord;
};

// Words are runs of non-blank characters (markup is skipped for XML); a word ending in '.', '!'
// or '?' ends its sentence.
void SplitText(const std::wstring& text, bool xml, std::vector<Word>* words, std::vector<Sentence>* sentences) {
  size_t n = text.size(), i = 0;
  bool inTag = false, newSentence = true;
  while (i < n) {
    wchar_t c = text[i];
    if (xml && c == L'<') {
      inTag = true;
      ++i;
      continue;
    }
    if (inTag) {
      if (c == L'>') inTag = false;
      ++i;
      continue;
    }
    if (iswspace(c)) {
      ++i;
      continue;
    }
    size_t start = i;
    while (i < n && !iswspace(text[i]) && !(xml && text[i] == L'<')) ++i;
    if (newSentence) {
      sentences->push_back({static_cast<ULONG>(start), 0, words->size()});
      newSentence = false;
    }
    sentences->back().len = static_cast<ULONG>(i - sentences->back().pos);
    words->push_back({static_cast<ULONG>(start), static_cast<ULONG>(i - start), sentences->size() - 1});
    wchar_t last = text[i - 1];
    if (last == L'.' || last == L'!' || last == L'?') newSentence = true;
  }
}

struct SpokenStream {
  enum Phase { kQueued, kWords, kHeld, kEnding };
  ULONG number = 0;
  std::wstring text;
  DWORD flags = 0;
  std::vector<Word> words;
  std::vector<Sentence> sentences;
  ComPtr<IStream> output;
  Phase phase = kQueued;
  size_t next = 0;                 // next word to speak
  bool sentenceAnnounced = false;  // the boundary of the next word's sentence was sent
  bool purged = false;
  bool released = false;
  bool heldAtWord = false;  // stopped after a word until released or purged
  ULONGLONG audioBytes = 0;
  win::UniqueKernelHandle done;  // manual-reset; set when the stream has ended
};

class Voice : public ISpVoice, public RefCounted {
 public:
  Voice() : RefCounted(L"SpVoice") {
    m_wake.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_idle.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  }
  bool Valid() const { return m_wake && m_idle; }

  FAKE_IUNKNOWN_REFS

  STDMETHODIMP QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_ISpNotifySource || riid == IID_ISpEventSource || riid == IID_ISpVoice) {
      *out = static_cast<ISpVoice*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }

  // ---- ISpNotifySource ----
  STDMETHODIMP SetNotifySink(ISpNotifySink* sink) override {
    LogCall(L"SetNotifySink", {{L"set", sink ? L"1" : L"0"}});
    if (sink) return E_NOTIMPL;
    ClearNotification();
    return S_OK;
  }
  STDMETHODIMP SetNotifyWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) override {
    if (!hwnd || !IsWindow(hwnd)) return E_INVALIDARG;
    ClearNotification();
    Guard g(m_lock);
    m_notifyKind = kWindow;
    m_clientWnd = hwnd;
    m_clientMsg = msg;
    m_notifyWParam = wp;
    m_notifyLParam = lp;
    return S_OK;
  }
  STDMETHODIMP SetNotifyCallbackFunction(SPNOTIFYCALLBACK* callback, WPARAM wp, LPARAM lp) override {
    LogCall(L"SetNotifyCallbackFunction", {{L"set", callback ? L"1" : L"0"}});
    HRESULT hr = InjectedFailure(L"SetNotifyCallbackFunction");
    if (FAILED(hr)) return hr;
    ClearNotification();
    if (!callback) return S_OK;
    HWND window = CreateNotifyWindow();
    if (!window) return HRESULT_FROM_WIN32(GetLastError());
    Guard g(m_lock);
    m_notifyKind = kCallback;
    m_notifyWnd = window;
    m_notifyThread = GetCurrentThreadId();
    m_callback = callback;
    m_notifyWParam = wp;
    m_notifyLParam = lp;
    return S_OK;
  }
  STDMETHODIMP SetNotifyCallbackInterface(ISpNotifyCallback*, WPARAM, LPARAM) override { return E_NOTIMPL; }
  STDMETHODIMP SetNotifyWin32Event() override { return E_NOTIMPL; }
  STDMETHODIMP WaitForNotifyEvent(DWORD) override { return kErrUninitialized; }
  HANDLE STDMETHODCALLTYPE GetNotifyEventHandle() override { return nullptr; }

  // ---- ISpEventSource ----
  STDMETHODIMP SetInterest(ULONGLONG interest, ULONGLONG queued) override {
    LogCall(L"SetInterest", {{L"interest", Hex(interest)}, {L"queued", Hex(queued)}});
    HRESULT hr = InjectedFailure(L"SetInterest");
    if (FAILED(hr)) return hr;
    if ((interest && (interest & kFlagCheck) != kFlagCheck) || (queued && (queued & kFlagCheck) != kFlagCheck) ||
        (queued & ~interest))
      return E_INVALIDARG;
    Guard g(m_lock);
    m_interest = interest & ~kFlagCheck;
    m_queued = queued & ~kFlagCheck;
    return S_OK;
  }
  STDMETHODIMP GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) override {
    if (!events) return E_POINTER;
    if (count > 1 && !fetched) return E_POINTER;
    Guard g(m_lock);
    ULONG got = 0;
    while (got < count && !m_events.empty()) {
      events[got++] = m_events.front();
      m_events.pop_front();
    }
    if (fetched) *fetched = got;
    if (m_events.empty() && m_notifyKind == kWindow && m_awaitingDelivery) {
      m_awaitingDelivery = false;
      SetEvent(m_wake.get());
    }
    return got == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP GetInfo(SPEVENTSOURCEINFO*) override { return E_NOTIMPL; }

  // ---- ISpVoice ----
  STDMETHODIMP SetOutput(IUnknown* output, BOOL) override {
    FAKE_TRY
    LogCall(L"SetOutput", {{L"output", output ? L"stream" : L"default"}});
    HRESULT hr = InjectedFailure(L"SetOutput");
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;
    if (output) {
      ComPtr<ISpObjectToken> device;
      if (SUCCEEDED(output->QueryInterface(IID_PPV_ARGS(&device)))) {
        output = nullptr;  // an audio device token: the default device for this fake
      } else if (FAILED(output->QueryInterface(IID_PPV_ARGS(&stream)))) {
        return E_INVALIDARG;
      }
    }
    Guard g(m_lock);
    m_output = stream;
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP GetOutputObjectToken(ISpObjectToken** token) override {
    if (token) *token = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetOutputStream(ISpStreamFormat** stream) override {
    if (!stream) return E_POINTER;
    Guard g(m_lock);
    *stream = nullptr;
    if (!m_output) return kErrNotFound;
    return m_output->QueryInterface(IID_PPV_ARGS(stream));
  }
  STDMETHODIMP Pause() override {
    LogCall(L"Pause");
    HRESULT hr = InjectedFailure(L"Pause");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    ++m_pauseCount;
    return S_OK;
  }
  STDMETHODIMP Resume() override {
    LogCall(L"Resume");
    HRESULT hr = InjectedFailure(L"Resume");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    if (m_pauseCount > 0) --m_pauseCount;
    SetEvent(m_wake.get());
    return S_OK;
  }
  STDMETHODIMP SetVoice(ISpObjectToken* token) override {
    FAKE_TRY
    ComPtr<ISpObjectToken> chosen = token;
    if (!chosen) DefaultVoiceToken(&chosen);
    LogCall(L"SetVoice", {{L"voice", TokenId(chosen.Get())}});
    HRESULT hr = InjectedFailure(L"SetVoice");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    m_token = chosen;
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP GetVoice(ISpObjectToken** token) override {
    if (!token) return E_POINTER;
    *token = nullptr;
    ComPtr<ISpObjectToken> current = CurrentToken();
    if (!current) return kErrNotFound;
    *token = current.Detach();
    return S_OK;
  }
  STDMETHODIMP Speak(LPCWSTR text, DWORD flags, ULONG* number) override {
    FAKE_TRY
    SignalSpeak();
    if (number) *number = 0;
    if (flags & SPF_IS_FILENAME) return E_NOTIMPL;
    if (!text) {
      if (!(flags & SPF_PURGEBEFORESPEAK)) return E_POINTER;
      LogCall(L"Speak", {{L"flags", Hex(flags)}, {L"purge_only", L"1"}});
      HRESULT hr = InjectedFailure(L"Speak");
      if (FAILED(hr)) return hr;
      Guard g(m_lock);
      PurgeLocked();
      return S_OK;
    }
    return Enqueue(L"Speak", text, flags, number);
    FAKE_CATCH
  }
  STDMETHODIMP SpeakStream(IStream* stream, DWORD flags, ULONG* number) override {
    FAKE_TRY
    SignalSpeak();
    if (number) *number = 0;
    if (!stream) return E_INVALIDARG;
    HRESULT hr = S_OK;
    std::vector<wchar_t> units;
    // The stream is read from its current position to its end (or a NUL).
    for (;;) {
      wchar_t buf[1024];
      ULONG got = 0;
      hr = stream->Read(buf, sizeof(buf), &got);
      if (FAILED(hr)) return hr;
      units.insert(units.end(), buf, buf + got / sizeof(wchar_t));
      if (got < sizeof(buf)) break;
    }
    // Text streams carry UTF-16 with a byte-order mark; positions count from after it.
    if (units.empty() || units[0] != 0xFEFF) {
      LogCall(L"SpeakStream", {{L"flags", Hex(flags)}, {L"error", L"no byte-order mark"}});
      return kErrUnsupportedFormat;
    }
    std::wstring text(units.begin() + 1, units.end());
    size_t nul = text.find(L'\0');
    if (nul != std::wstring::npos) text.resize(nul);
    return Enqueue(L"SpeakStream", text, flags, number);
    FAKE_CATCH
  }
  STDMETHODIMP GetStatus(SPVOICESTATUS* status, LPWSTR* bookmark) override {
    if (bookmark) {
      *bookmark = TaskStrDup(L"");
      if (!*bookmark) return E_OUTOFMEMORY;
    }
    if (!status) return S_OK;
    HRESULT hr = InjectedFailure(L"GetStatus");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    *status = SPVOICESTATUS();
    status->ulCurrentStream = m_currentStream;
    status->ulLastStreamQueued = m_lastQueued;
    status->hrLastResult = S_OK;
    status->dwRunningState = m_speaking ? SPRS_IS_SPEAKING : (m_streams.empty() ? SPRS_DONE : 0);
    status->ulInputWordPos = m_wordPos;
    status->ulInputWordLen = m_wordLen;
    status->ulInputSentPos = m_sentPos;
    status->ulInputSentLen = m_sentLen;
    return S_OK;
  }
  STDMETHODIMP Skip(LPCWSTR type, LONG count, ULONG* skipped) override {
    if (skipped) *skipped = 0;
    LogCall(L"Skip", {{L"type", type ? type : L""}, {L"count", Dec(count)}});
    HRESULT hr = InjectedFailure(L"Skip");
    if (FAILED(hr)) return hr;
    if (!type || !EqualNoCase(type, L"SENTENCE")) return E_INVALIDARG;
    Guard g(m_lock);
    if (m_streams.empty()) return S_OK;
    SpokenStream& s = *m_streams.front();
    if (s.phase != SpokenStream::kWords || s.sentences.empty()) return S_OK;
    long current =
        s.next < s.words.size() ? static_cast<long>(s.words[s.next].sentence) : static_cast<long>(s.sentences.size());
    long target = current + count;
    if (target < 0) target = 0;
    if (target > static_cast<long>(s.sentences.size())) target = static_cast<long>(s.sentences.size());
    s.next = target < static_cast<long>(s.sentences.size()) ? s.sentences[target].firstWord : s.words.size();
    s.sentenceAnnounced = false;
    if (skipped) *skipped = static_cast<ULONG>(target > current ? target - current : current - target);
    SetEvent(m_wake.get());
    return S_OK;
  }
  STDMETHODIMP SetPriority(SPVPRIORITY priority) override {
    m_priority = priority;
    return S_OK;
  }
  STDMETHODIMP GetPriority(SPVPRIORITY* priority) override {
    if (!priority) return E_POINTER;
    *priority = m_priority;
    return S_OK;
  }
  STDMETHODIMP SetAlertBoundary(SPEVENTENUM boundary) override {
    m_alertBoundary = boundary;
    return S_OK;
  }
  STDMETHODIMP GetAlertBoundary(SPEVENTENUM* boundary) override {
    if (!boundary) return E_POINTER;
    *boundary = m_alertBoundary;
    return S_OK;
  }
  STDMETHODIMP SetRate(LONG rate) override {
    LogCall(L"SetRate", {{L"value", Dec(rate)}});
    HRESULT hr = InjectedFailure(L"SetRate");
    if (FAILED(hr)) return hr;
    if (rate < -10 || rate > 10) return E_INVALIDARG;
    Guard g(m_lock);
    m_rate = rate;
    return S_OK;
  }
  STDMETHODIMP GetRate(LONG* rate) override {
    if (!rate) return E_POINTER;
    LogCall(L"GetRate");
    HRESULT hr = InjectedFailure(L"GetRate");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    *rate = m_rate;
    return S_OK;
  }
  STDMETHODIMP SetVolume(USHORT volume) override {
    LogCall(L"SetVolume", {{L"value", Dec(volume)}});
    HRESULT hr = InjectedFailure(L"SetVolume");
    if (FAILED(hr)) return hr;
    if (volume > 100) return E_INVALIDARG;
    Guard g(m_lock);
    m_volume = volume;
    return S_OK;
  }
  STDMETHODIMP GetVolume(USHORT* volume) override {
    if (!volume) return E_POINTER;
    LogCall(L"GetVolume");
    HRESULT hr = InjectedFailure(L"GetVolume");
    if (FAILED(hr)) return hr;
    Guard g(m_lock);
    *volume = m_volume;
    return S_OK;
  }
  STDMETHODIMP WaitUntilDone(ULONG timeout) override {
    DWORD rc = WaitForSingleObject(m_idle.get(), timeout);
    return rc == WAIT_OBJECT_0 ? S_OK : (rc == WAIT_TIMEOUT ? S_FALSE : HRESULT_FROM_WIN32(GetLastError()));
  }
  STDMETHODIMP SetSyncSpeakTimeout(ULONG timeout) override {
    m_syncTimeout = timeout;
    return S_OK;
  }
  STDMETHODIMP GetSyncSpeakTimeout(ULONG* timeout) override {
    if (!timeout) return E_POINTER;
    *timeout = m_syncTimeout;
    return S_OK;
  }
  HANDLE STDMETHODCALLTYPE SpeakCompleteEvent() override { return m_idle.get(); }
  STDMETHODIMP IsUISupported(LPCWSTR type, void*, ULONG, BOOL* supported) override {
    FAKE_TRY
    if (!type || !supported) return E_POINTER;
    *supported = FALSE;
    LogCall(L"IsUISupported", {{L"type", type}});
    HRESULT hr = InjectedFailure(L"IsUISupported");
    if (FAILED(hr)) return hr;
    *supported = TokenSupportsUI(CurrentToken().Get(), type) ? TRUE : FALSE;
    return S_OK;
    FAKE_CATCH
  }
  STDMETHODIMP DisplayUI(HWND parent, LPCWSTR, LPCWSTR type, void* data, ULONG size) override {
    FAKE_TRY
    if (!type) return E_POINTER;
    HRESULT hr = InjectedFailure(L"DisplayUI");
    if (FAILED(hr)) return hr;
    if (!TokenSupportsUI(CurrentToken().Get(), type)) {
      LogCall(L"DisplayUI", {{L"type", type}, {L"error", L"not supported"}});
      return kErrNotFound;
    }
    return RunEngineDialog(parent, type, data, size);
    FAKE_CATCH
  }

  // Runs on the notifying thread, from the hidden window.
  void DeliverNotification() {
    SPNOTIFYCALLBACK* callback = nullptr;
    WPARAM wp = 0;
    LPARAM lp = 0;
    {
      Guard g(m_lock);
      m_notifyPosted = false;
      if (m_notifyKind == kCallback) {
        callback = m_callback;
        wp = m_notifyWParam;
        lp = m_notifyLParam;
      }
    }
    if (callback) callback(wp, lp);
    Guard g(m_lock);
    m_awaitingDelivery = false;
    SetEvent(m_wake.get());
  }

 protected:
  void OnFinalRelease() override {
    {
      Guard g(m_lock);
      m_shutdown = true;
      SetEvent(m_wake.get());
    }
    if (m_thread) WaitForSingleObject(m_thread.get(), INFINITE);
    ClearNotification();
    Guard g(m_lock);
    for (auto& s : m_streams)
      if (s->done) SetEvent(s->done.get());
    m_streams.clear();
    m_events.clear();
    m_token.Reset();
    m_output.Reset();
  }

 private:
  enum NotifyKind { kNone, kCallback, kWindow };

  static LRESULT CALLBACK NotifyWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kNotifyMessage) {
      auto* voice = reinterpret_cast<Voice*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (voice) voice->DeliverNotification();
      return 0;
    }
    if (msg == WM_CLOSE) {
      DestroyWindow(hwnd);
      return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  HWND CreateNotifyWindow() {
    static const bool registered = [] {
      WNDCLASSEXW wc = {};
      wc.cbSize = sizeof(wc);
      wc.lpfnWndProc = NotifyWndProc;
      wc.hInstance = g_module;
      wc.lpszClassName = kNotifyClass;
      return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    if (!registered) return nullptr;
    HWND hwnd = CreateWindowExW(0, kNotifyClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
    if (hwnd) SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return hwnd;
  }

  void ClearNotification() {
    HWND window = nullptr;
    DWORD thread = 0;
    {
      Guard g(m_lock);
      window = m_notifyWnd;
      thread = m_notifyThread;
      m_notifyKind = kNone;
      m_notifyWnd = nullptr;
      m_notifyThread = 0;
      m_callback = nullptr;
      m_clientWnd = nullptr;
      m_notifyPosted = false;
      m_awaitingDelivery = false;
      SetEvent(m_wake.get());
    }
    if (window) {
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      // A window can only be destroyed by its own thread; from elsewhere it closes itself.
      if (thread == GetCurrentThreadId())
        DestroyWindow(window);
      else
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
  }

  ComPtr<ISpObjectToken> CurrentToken() {
    ComPtr<ISpObjectToken> token;
    {
      Guard g(m_lock);
      token = m_token;
    }
    if (!token) DefaultVoiceToken(&token);
    return token;
  }

  HRESULT Enqueue(const wchar_t* call, const std::wstring& text, DWORD flags, ULONG* number) {
    if ((flags & SPF_UNUSED_FLAGS) || ((flags & SPF_IS_XML) && (flags & SPF_IS_NOT_XML))) return E_INVALIDARG;
    std::wstring voiceId = TokenId(CurrentToken().Get());
    auto stream = std::make_shared<SpokenStream>();
    stream->text = text;
    stream->flags = flags;
    SplitText(text, (flags & SPF_IS_XML) != 0, &stream->words, &stream->sentences);
    bool sync = !(flags & SPF_ASYNC);
    if (sync) {
      stream->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
      if (!stream->done) return HRESULT_FROM_WIN32(GetLastError());
    }
    bool onNotifyThread = false;
    {
      Guard g(m_lock);
      HRESULT hr = InjectedFailure(call);
      if (SUCCEEDED(hr) && !StartEngineLocked()) hr = E_OUTOFMEMORY;
      if (FAILED(hr)) {
        LogCall(
            call,
            {{L"flags", Hex(flags)}, {L"voice", voiceId}, {L"text", text}, {L"result", Hex(static_cast<ULONG>(hr))}});
        return hr;
      }
      if (flags & SPF_PURGEBEFORESPEAK) PurgeLocked();
      stream->number = m_nextStream++;
      m_lastQueued = stream->number;
      stream->output = m_output;
      m_streams.push_back(stream);
      ResetEvent(m_idle.get());
      LogCall(call, {{L"stream", Dec(stream->number)},
                     {L"flags", Hex(flags)},
                     {L"volume", Dec(m_volume)},
                     {L"rate", Dec(m_rate)},
                     {L"voice", voiceId},
                     {L"text", text}});
      if (number) *number = stream->number;
      if (sync && m_notifyKind == kCallback && GetCurrentThreadId() == m_notifyThread) {
        // The notifying thread is about to block: its callbacks wait until we return.
        onNotifyThread = true;
        ++m_syncOnNotifyThread;
        m_awaitingDelivery = false;
      }
      SetEvent(m_wake.get());
    }
    if (sync) {
      WaitForSingleObject(stream->done.get(), INFINITE);
      if (onNotifyThread) {
        Guard g(m_lock);
        --m_syncOnNotifyThread;
      }
    }
    return S_OK;
  }

  void PurgeLocked() {
    for (auto& s : m_streams) s->purged = true;
    SetEvent(m_wake.get());
  }

  bool StartEngineLocked() {
    if (m_thread) return true;
    m_thread.reset(CreateThread(nullptr, 0, &Voice::EngineMain, this, 0, nullptr));
    return static_cast<bool>(m_thread);
  }

  static DWORD WINAPI EngineMain(void* self) {
    static_cast<Voice*>(self)->Engine();
    return 0;
  }

  void Emit(SPEVENTENUM id, ULONG stream, WPARAM wp, LPARAM lp, ULONGLONG offset) {
    ULONGLONG bit = 1ull << id;
    if (m_queued & bit) {
      SPEVENT ev = {};
      ev.eEventId = id;
      ev.elParamType = SPET_LPARAM_IS_UNDEFINED;
      ev.ulStreamNum = stream;
      ev.ullAudioStreamOffset = offset;
      ev.wParam = wp;
      ev.lParam = lp;
      m_events.push_back(ev);
    }
    if (!(m_interest & bit)) return;
    if (m_notifyKind == kCallback) {
      if (!m_notifyPosted) m_notifyPosted = PostMessageW(m_notifyWnd, kNotifyMessage, 0, 0) != FALSE;
      if (m_notifyPosted && m_syncOnNotifyThread == 0) m_awaitingDelivery = true;
    } else if (m_notifyKind == kWindow) {
      if (PostMessageW(m_clientWnd, m_clientMsg, m_notifyWParam, m_notifyLParam) && !m_events.empty())
        m_awaitingDelivery = true;
    }
  }

  // The engine thread: one step of the front stream at a time, under the lock; waits (without
  // the lock) for the clock, a delivery, a resume or a release.
  void Engine() {
    Guard g(m_lock);
    for (;;) {
      if (m_shutdown) return;
      DWORD timeout = INFINITE;
      bool waitRelease = false;
      if (Step(&timeout, &waitRelease)) continue;
      HANDLE handles[2] = {m_wake.get(), waitRelease ? ReleaseEvent() : nullptr};
      DWORD count = handles[1] ? 2 : 1;
      DWORD rc;
      {
        Unguard u(m_lock);
        rc = WaitForMultipleObjects(count, handles, FALSE, timeout);
      }
      if (rc == WAIT_OBJECT_0 + 1 && !m_streams.empty()) {
        SpokenStream& front = *m_streams.front();
        if (front.heldAtWord)
          front.heldAtWord = false;
        else if (front.phase == SpokenStream::kHeld)
          front.released = true;
      }
      if (rc == WAIT_FAILED) return;
    }
  }

  // One step with the lock held; false (and how to wait) when nothing can happen now.
  bool Step(DWORD* timeout, bool* waitRelease) {
    if (m_streams.empty()) return false;
    if (m_awaitingDelivery) return false;
    std::shared_ptr<SpokenStream> s = m_streams.front();
    switch (s->phase) {
      case SpokenStream::kQueued:
        m_speaking = true;
        m_currentStream = s->number;
        LogCall(L"StreamStarted", {{L"stream", Dec(s->number)}});
        Emit(SPEI_START_INPUT_STREAM, s->number, 0, 0, 0);
        s->phase = SpokenStream::kWords;
        m_nextStep = GetTickCount() + MsPerWord();
        return true;
      case SpokenStream::kWords: {
        if (s->purged || s->next >= s->words.size()) {
          s->phase = SpokenStream::kHeld;
          return true;
        }
        if (s->heldAtWord) {
          *waitRelease = true;
          return false;
        }
        if (m_pauseCount > 0) return false;
        LONG wait = static_cast<LONG>(m_nextStep - GetTickCount());
        if (wait > 0) {
          *timeout = static_cast<DWORD>(wait);
          return false;
        }
        const Word& w = s->words[s->next];
        if (!s->sentenceAnnounced && w.pos == s->sentences[w.sentence].pos) {
          const Sentence& sent = s->sentences[w.sentence];
          m_sentPos = sent.pos;
          m_sentLen = sent.len;
          s->sentenceAnnounced = true;
          Emit(SPEI_SENTENCE_BOUNDARY, s->number, sent.len, sent.pos, s->audioBytes);
          return true;
        }
        m_wordPos = w.pos;
        m_wordLen = w.len;
        ++s->next;
        s->sentenceAnnounced = false;
        // Decided with the word, before its event goes out: whoever hears of the word finds the
        // stream already stopped after it.
        s->heldAtWord = s->next == HoldAtWord();
        Emit(SPEI_WORD_BOUNDARY, s->number, w.len, w.pos, s->audioBytes);
        if (s->output) {
          std::vector<BYTE> silence(w.len * kAudioBytesPerChar, 0);
          ComPtr<IStream> out = s->output;
          ULONG written = 0;
          {
            Unguard u(m_lock);
            out->Write(silence.data(), static_cast<ULONG>(silence.size()), &written);
          }
          s->audioBytes += written;
        }
        m_nextStep = GetTickCount() + MsPerWord();
        return true;
      }
      case SpokenStream::kHeld:
        if (!s->purged && !s->released && HoldStreams()) {
          *waitRelease = true;
          return false;
        }
        s->phase = SpokenStream::kEnding;
        return true;
      case SpokenStream::kEnding:
        m_streams.pop_front();
        if (m_streams.empty()) {
          m_speaking = false;
          SetEvent(m_idle.get());
        }
        LogCall(L"StreamEnded", {{L"stream", Dec(s->number)}, {L"purged", s->purged ? L"1" : L"0"}});
        Emit(SPEI_END_INPUT_STREAM, s->number, 0, 0, s->audioBytes);
        if (s->done) SetEvent(s->done.get());
        return true;
    }
    return false;
  }

  Lock m_lock;  // guards everything below
  ComPtr<ISpObjectToken> m_token;
  USHORT m_volume = 100;
  LONG m_rate = 0;
  ULONGLONG m_interest = 0;
  ULONGLONG m_queued = 0;
  ComPtr<IStream> m_output;
  SPVPRIORITY m_priority = SPVPRI_NORMAL;
  SPEVENTENUM m_alertBoundary = SPEI_WORD_BOUNDARY;
  ULONG m_syncTimeout = 10000;

  NotifyKind m_notifyKind = kNone;
  SPNOTIFYCALLBACK* m_callback = nullptr;
  WPARAM m_notifyWParam = 0;
  LPARAM m_notifyLParam = 0;
  HWND m_notifyWnd = nullptr;  // hidden window on m_notifyThread
  DWORD m_notifyThread = 0;
  HWND m_clientWnd = nullptr;  // SetNotifyWindowMessage
  UINT m_clientMsg = 0;
  bool m_notifyPosted = false;      // a notification message is on its way
  bool m_awaitingDelivery = false;  // the clock waits until the client has been told
  int m_syncOnNotifyThread = 0;     // synchronous speaks blocking the notifying thread

  std::deque<SPEVENT> m_events;
  std::deque<std::shared_ptr<SpokenStream>> m_streams;
  ULONG m_nextStream = 1;
  ULONG m_lastQueued = 0;
  ULONG m_currentStream = 0;
  bool m_speaking = false;
  ULONG m_wordPos = 0, m_wordLen = 0, m_sentPos = 0, m_sentLen = 0;
  int m_pauseCount = 0;
  DWORD m_nextStep = 0;

  win::UniqueKernelHandle m_thread;
  win::UniqueKernelHandle m_wake;  // auto-reset: something changed for the engine thread
  win::UniqueKernelHandle m_idle;  // manual-reset: no stream queued
  bool m_shutdown = false;
};

}  // namespace

HRESULT CreateVoice(REFIID riid, void** out) {
  FAKE_TRY
  ComPtr<Voice> voice = Adopt(new Voice());
  if (!voice->Valid()) return HRESULT_FROM_WIN32(GetLastError());
  return voice->QueryInterface(riid, out);
  FAKE_CATCH
}

}  // namespace fakesapi
