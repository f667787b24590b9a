#include "TTSVoice.h"

#include <algorithm>
#include <utility>

namespace VTTSFramework {

IMPLEMENT_DYNCREATE(CTTS_Voice, CWinThread)

namespace {

// The voice whose thread is running here; read by the message hook.
thread_local CTTS_Voice* t_voice = nullptr;

void Trace(const char* text) { OutputDebugStringA(text); }

}  // namespace

// A modal loop that runs inside a handler (an engine's dialog) takes this thread's messages and
// drops the thread messages among them, as it has no window to send them to. A lost wake costs
// nothing, since the dispatch looks at the queue again after every handler; a lost quit would
// leave the manager waiting for ever, so this hook notes it for when the handler returns.
class CTTS_Voice::MessageHook {
 public:
  static LRESULT CALLBACK Proc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE && t_voice) {
      const MSG* msg = reinterpret_cast<const MSG*>(lParam);
      if (!msg->hwnd && msg->message == WM_VOICE_QUIT && t_voice->m_nHandlerDepth > 0) t_voice->m_bQuitSeen = true;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
};

void CTTS_Voice::TracedHookTraits::Close(HHOOK hook) {
  if (!UnhookWindowsHookEx(hook)) Trace("CTTS_Voice: UnhookWindowsHookEx failed\n");
}

CTTS_Voice::CTTS_Voice() = default;

CTTS_Voice::~CTTS_Voice() {
  // Normally emptied by ExitInstance; a thread object that never ran still owns what was queued.
  CTTSMsg* msg = nullptr;
  while (m_commands.PopFront(msg)) {
    if (msg->done)
      msg->done->SetEvent();
    else
      delete msg;
  }
  SpeakRequest* request = nullptr;
  while (m_active.PopFront(request)) FreeSpeakRequest(request);
  for (const ErrorSubject& s : m_errorSubjects) FreeSpeakRequest(s.request);
}

BOOL CTTS_Voice::InitInstance() {
  m_pMainWnd = nullptr;
  HRESULT hr = CoInitialize(nullptr);
  m_bComInitialised = SUCCEEDED(hr);
  if (!m_bComInitialised) Trace("CTTS_Voice: CoInitialize failed\n");
  MSG msg;
  PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // makes this thread's message queue
  t_voice = this;
  m_messageHook.reset(SetWindowsHookExW(WH_GETMESSAGE, &MessageHook::Proc, nullptr, GetCurrentThreadId()));
  if (!m_messageHook) Trace("CTTS_Voice: SetWindowsHookEx failed; a quit during an engine dialog is lost\n");
  m_bReady = true;
  m_readyEvent.SetEvent();
  return TRUE;
}

int CTTS_Voice::ExitInstance() {
  m_messageHook.reset();
  t_voice = nullptr;
  {
    CSingleLock lock(&m_commands.lock, TRUE);
    for (CTTSMsg* msg : m_commands.items) {
      // A blocking caller waits for its command: wake it (the answer stays -1); it frees it.
      if (msg->done)
        msg->done->SetEvent();
      else
        delete msg;
    }
    m_commands.items.clear();
  }
  {
    CSingleLock lock(&m_active.lock, TRUE);
    for (SpeakRequest* request : m_active.items) FreeSpeakRequest(request);
    m_active.items.clear();
    for (const ErrorSubject& s : m_errorSubjects) FreeSpeakRequest(s.request);
    m_errorSubjects.clear();
  }
  if (m_bComInitialised) CoUninitialize();
  m_bComInitialised = false;
  return CWinThread::ExitInstance();
}

BOOL CTTS_Voice::PreTranslateMessage(MSG* pMsg) {
  if (!pMsg->hwnd) {
    if (pMsg->message == WM_VOICE_WAKE) {
      // Inside a handler (a modal loop that pre-translates) the running dispatch takes the
      // command once the handler returns.
      if (m_nHandlerDepth == 0) HandleQueuedCommands();
      return TRUE;
    }
    if (pMsg->message == WM_VOICE_QUIT) {
      if (m_nHandlerDepth > 0)
        m_bQuitSeen = true;
      else if (!m_bQuitting)
        QuitFromMessage();
      return TRUE;
    }
  }
  return CWinThread::PreTranslateMessage(pMsg);
}

void CTTS_Voice::QuitFromMessage() {
  m_pMainWnd = nullptr;
  SetQuitting();
  OnDestroy(nullptr);
  PostQuitMessage(0);
}

// Handles every queued command, in order, looking at the queue again after each handler, so that
// commands pushed meanwhile (whose wake a modal loop may have swallowed) are not stranded.
void CTTS_Voice::HandleQueuedCommands() {
  for (;;) {
    if (m_bQuitSeen && !m_bQuitting) {
      m_bQuitSeen = false;
      QuitFromMessage();
    }
    if (m_bQuitting) return;  // what is left is freed by ExitInstance
    CTTSMsg* msg = nullptr;
    {
      CSingleLock activeLock(&m_active.lock, TRUE);
      if (!m_commands.PopFront(msg)) return;
      const int type = msg->GetType();
      if (type == TTSMSG_SPEAK || type == TTSMSG_SPEAK_TO_FILE) {
        const SpeakRequest* request = static_cast<CTTSMsg_speak*>(msg)->request;
        m_bSpeakInHand = true;
        m_pInHandClient = request ? request->client : nullptr;
      }
    }
    CEvent* done = msg->done;  // the handler may delete a command that has none
    ++m_nHandlerDepth;
    try {
      DispatchCommand(msg);
    } catch (...) {
      AfxReportCaughtException("voice command handler");
    }
    --m_nHandlerDepth;
    {
      CSingleLock activeLock(&m_active.lock, TRUE);
      m_bSpeakInHand = false;
      m_pInHandClient = nullptr;
    }
    if (done) done->SetEvent();
  }
}

void CTTS_Voice::DispatchCommand(CTTSMsg* msg) {
  switch (msg->GetType()) {
    case TTSMSG_BASE:
      OnBaseCommand(msg);
      break;
    case TTSMSG_INIT:
      OnInit(static_cast<CTTSMsg_init*>(msg));
      break;
    case TTSMSG_DESTROY:
      OnDestroy(static_cast<CTTSMsg_destroy*>(msg));
      break;
    case TTSMSG_SPEAK:
      OnSpeak(static_cast<CTTSMsg_speak*>(msg));
      break;
    case TTSMSG_SPEAK_TO_FILE:
      OnSpeakToFile(static_cast<CTTSMsg_speakToFile*>(msg));
      break;
    case TTSMSG_STOP:
      OnStop(static_cast<CTTSMsg_stop*>(msg));
      break;
    case TTSMSG_SKIP:
      OnSkip(static_cast<CTTSMsg_skip*>(msg));
      break;
    case TTSMSG_PAUSE_RESUME:
      OnPauseResume(static_cast<CTTSMsg_pr*>(msg));
      break;
    case TTSMSG_IS_UI_SUPPORTED:
      OnIsUISupported(static_cast<CTTSMsg_iuis*>(msg));
      break;
    case TTSMSG_DIALOG:
      OnShowDialog(static_cast<CTTSMsg_dialog*>(msg));
      break;
    case TTSMSG_CONTROL:
      OnControl(static_cast<CTTSMsg_ctrlSpeak*>(msg));
      break;
    default:
      FreeCommand(msg);
      break;  // an unknown type calls no handler
  }
}

void CTTS_Voice::FreeCommand(CTTSMsg* msg) {
  if (msg && !msg->done) delete msg;
}

HWND CTTS_Voice::OwnerHwnd() const {
  HWND owner = m_pOwner ? m_pOwner->GetSafeHwnd() : nullptr;
  return (owner && ::IsWindow(owner)) ? owner : nullptr;
}

void CTTS_Voice::PostToOwner(UINT message, WPARAM wParam, LPARAM lParam) {
  CSingleLock lock(&m_voiceLock, TRUE);
  HWND owner = OwnerHwnd();
  if (owner && !::PostMessageW(owner, message, wParam, lParam)) Trace("CTTS_Voice: PostMessage to the owner failed\n");
}

// ---- Base handlers -----------------------------------------------------------------------------

void CTTS_Voice::OnBaseCommand(CTTSMsg* msg) { FreeCommand(msg); }

void CTTS_Voice::OnInit(CTTSMsg_init* msg) {
  PostToOwner(WM_SPEECH_VOICE_READY, reinterpret_cast<WPARAM>(this), 0);
  FreeCommand(msg);
}

void CTTS_Voice::OnDestroy(CTTSMsg_destroy* msg) {
  FreeCommand(msg);
  SetQuitting();
  PostQuitMessage(0);
}

void CTTS_Voice::OnSpeak(CTTSMsg_speak* msg) { FreeCommand(msg); }
void CTTS_Voice::OnSpeakToFile(CTTSMsg_speakToFile* msg) { FreeCommand(msg); }
void CTTS_Voice::OnStop(CTTSMsg_stop* msg) { FreeCommand(msg); }
void CTTS_Voice::OnSkip(CTTSMsg_skip* msg) { FreeCommand(msg); }
void CTTS_Voice::OnPauseResume(CTTSMsg_pr* msg) { FreeCommand(msg); }
void CTTS_Voice::OnIsUISupported(CTTSMsg_iuis* msg) { FreeCommand(msg); }
void CTTS_Voice::OnShowDialog(CTTSMsg_dialog* msg) { FreeCommand(msg); }
void CTTS_Voice::OnControl(CTTSMsg_ctrlSpeak* msg) { FreeCommand(msg); }

// ---- Errors ------------------------------------------------------------------------------------

void CTTS_Voice::ReportError(int code) {
  m_nLastError = code;
  CSingleLock voiceLock(&m_voiceLock, TRUE);
  HWND owner = OwnerHwnd();
  if (!owner) return;
  {
    CSingleLock lock(&m_active.lock, TRUE);
    m_errorSubjects.push_back({true, nullptr});
  }
  if (!::PostMessageW(owner, WM_SPEECH_ERROR, reinterpret_cast<WPARAM>(this), static_cast<LPARAM>(code))) {
    Trace("CTTS_Voice: PostMessage(WM_SPEECH_ERROR) failed\n");
    CSingleLock lock(&m_active.lock, TRUE);
    m_errorSubjects.pop_back();  // only this thread adds subjects
  }
}

void CTTS_Voice::ReportSpeakError(SpeakRequest* request, int code) {
  m_nLastError = code;
  CSingleLock voiceLock(&m_voiceLock, TRUE);
  HWND owner = OwnerHwnd();
  {
    CSingleLock lock(&m_active.lock, TRUE);
    auto& items = m_active.items;
    auto it = std::find(items.begin(), items.end(), request);
    if (it != items.end()) items.erase(it);
    if (owner) m_errorSubjects.push_back({false, request});
  }
  if (owner && ::PostMessageW(owner, WM_SPEECH_ERROR, reinterpret_cast<WPARAM>(this), static_cast<LPARAM>(code)))
    return;
  if (owner) {
    Trace("CTTS_Voice: PostMessage(WM_SPEECH_ERROR) failed\n");
    CSingleLock lock(&m_active.lock, TRUE);
    m_errorSubjects.pop_back();
  }
  FreeSpeakRequest(request);  // nobody will ask for it
}

bool CTTS_Voice::TakeErrorEntry(SpeakRequest** request) {
  *request = nullptr;
  CSingleLock lock(&m_active.lock, TRUE);
  if (!m_errorSubjects.empty()) {
    ErrorSubject subject = m_errorSubjects.front();
    m_errorSubjects.pop_front();
    if (!subject.firstActive) {
      *request = subject.request;
      return true;
    }
  }
  if (m_active.items.empty()) return false;
  *request = m_active.items.front();
  m_active.items.pop_front();
  return true;
}

namespace {

bool IsCarrier(const SpeakRequest* entry) { return entry && !entry->text; }

// The voice thread files each word event under the request at the head of the active list. An
// entry leaves the list only when its end (or, for a carrier, the voice's ready report) reaches
// the control window, so the words of the stream after it can land on it meanwhile: a request
// spoken with SPEAKF_PURGE starts before the end of the one it interrupts is handled there, and
// the request after a carrier may speak before the ready report is handled. Their WM_SPEECH_WORD
// messages come after the one that removes the entry, so by then every event left on it belongs
// to the next stream: it goes to the next stream entry, ahead of that entry's own. Call it holding
// the active list's lock, after `from` has left the list.
void PassOnWordEvents(SpeakRequest* from, std::deque<SpeakRequest*>& active) {
  if (!from) return;
  std::deque<WordEvent> left;
  from->wordEvents.WithLock([&left](std::deque<WordEvent>& words) { left.swap(words); });
  if (left.empty()) return;
  auto next = FirstStreamEntry(active);
  if (next == active.end() || !*next) return;  // no request to speak them: they are void
  (*next)->wordEvents.WithLock(
      [&left](std::deque<WordEvent>& words) { words.insert(words.begin(), left.begin(), left.end()); });
}

}  // namespace

std::deque<SpeakRequest*>::iterator FirstStreamEntry(std::deque<SpeakRequest*>& active) {
  return std::find_if(active.begin(), active.end(), [](SpeakRequest* e) { return !IsCarrier(e); });
}

bool CTTS_Voice::TakeActiveEntry(ActiveEntry which, SpeakRequest** request) {
  *request = nullptr;
  CSingleLock lock(&m_active.lock, TRUE);
  auto& active = m_active.items;
  const auto it =
      which == ActiveEntry::kStream ? FirstStreamEntry(active) : std::find_if(active.begin(), active.end(), IsCarrier);
  if (it == active.end()) return false;
  *request = *it;
  active.erase(it);
  PassOnWordEvents(*request, active);
  return true;
}

bool CTTS_Voice::HasNoError() { return m_nLastError == 0; }

// ---- Clients -----------------------------------------------------------------------------------

void CTTS_Voice::TakeInHandClient(SpeakRequest* request) {
  if (!m_bSpeakInHand || !request) return;
  request->client = m_pInHandClient;
  m_bSpeakInHand = false;
  m_pInHandClient = nullptr;
}

void CTTS_Voice::DetachClient(const SpeechClient* client) {
  if (!client) return;
  {
    CSingleLock lock(&m_commands.lock, TRUE);
    for (CTTSMsg* msg : m_commands.items) {
      const int type = msg->GetType();
      if (type != TTSMSG_SPEAK && type != TTSMSG_SPEAK_TO_FILE) continue;
      SpeakRequest* request = static_cast<CTTSMsg_speak*>(msg)->request;
      if (request && request->client == client) request->client = nullptr;
    }
  }
  CSingleLock lock(&m_active.lock, TRUE);
  if (m_bSpeakInHand && m_pInHandClient == client) m_pInHandClient = nullptr;
  for (SpeakRequest* request : m_active.items)
    if (request && request->client == client) request->client = nullptr;
}

// ---- Commands ----------------------------------------------------------------------------------

void CTTS_Voice::WaitUntilReady() {
  if (m_bReady) return;
  HANDLE handles[2] = {m_readyEvent.m_hObject, m_hThread};
  DWORD count = m_hThread ? 2 : 1;
  DWORD rc = ::WaitForMultipleObjects(count, handles, FALSE, INFINITE);
  if (rc == WAIT_OBJECT_0) {
    // The event resets as it wakes one waiter: pass it on to any other thread waiting here.
    m_readyEvent.SetEvent();
  } else if (rc == WAIT_FAILED) {
    Trace("CTTS_Voice: waiting for the voice thread failed\n");
  }
}

bool CTTS_Voice::Unqueue(CTTSMsg* command) {
  CSingleLock lock(&m_commands.lock, TRUE);
  auto& items = m_commands.items;
  auto it = std::find(items.begin(), items.end(), command);
  if (it == items.end()) return false;
  items.erase(it);
  return true;
}

void CTTS_Voice::PostCommand(CTTSMsg* command) {
  if (!command) return;
  WaitUntilReady();
  m_commands.PushBack(command);
  if (PostThreadMessage(WM_VOICE_WAKE, 0, 0)) return;
  // No wake can reach the thread. While it runs, a later wake still handles the command; a
  // thread that has ended will never take it.
  Trace("CTTS_Voice: PostThreadMessage(WM_VOICE_WAKE) failed\n");
  if (m_hThread && ::WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT) return;
  if (Unqueue(command)) {
    if (command->done)
      command->done->SetEvent();
    else
      delete command;
  }
}

std::unique_ptr<CTTSMsg> CTTS_Voice::RoundTrip(std::unique_ptr<CTTSMsg> command, DWORD timeoutMs) {
  if (m_nThreadID == ::GetCurrentThreadId()) return nullptr;
  command->AttachDoneEvent();
  CTTSMsg* raw = command.release();
  HANDLE done = raw->done->m_hObject;
  PostCommand(raw);  // the queue owns it until the event is set; then it is ours again
  DWORD wait = ::WaitForSingleObject(done, timeoutMs);
  if (wait == WAIT_TIMEOUT) {
    if (Unqueue(raw)) {
      delete raw;
      return nullptr;
    }
    wait = ::WaitForSingleObject(done, INFINITE);
  }
  if (wait != WAIT_OBJECT_0) Trace("CTTS_Voice: waiting for an answer failed\n");
  return std::unique_ptr<CTTSMsg>(raw);
}

void CTTS_Voice::Init(int tokenIndex, const std::wstring& tokenId) {
  PostCommand(new CTTSMsg_init(tokenIndex, tokenId));
}

void CTTS_Voice::Speak(SpeakRequest* request) {
  std::unique_ptr<SpeakRequest> owned(request);
  auto command = std::make_unique<CTTSMsg_speak>();
  command->request = owned.release();
  PostCommand(command.release());
}

void CTTS_Voice::Stop() { PostCommand(new CTTSMsg_stop()); }

void CTTS_Voice::Skip(int sentences) { PostCommand(new CTTSMsg_skip(sentences)); }

void CTTS_Voice::Destroy() { PostCommand(new CTTSMsg_destroy()); }

bool CTTS_Voice::SetVolume(int volume) {
  if (volume < 0 || volume > 100) return false;
  PostCommand(new CTTSMsg_ctrlSpeak(TTS_CTRL_VOLUME, TTS_CTRL_SET, volume));
  return true;
}

bool CTTS_Voice::SetRate(int rate) {
  if (rate < -10 || rate > 10) return false;
  PostCommand(new CTTSMsg_ctrlSpeak(TTS_CTRL_RATE, TTS_CTRL_SET, rate));
  return true;
}

int CTTS_Voice::GetVolume() {
  auto answered = RoundTrip(std::make_unique<CTTSMsg_ctrlSpeak>(TTS_CTRL_VOLUME, TTS_CTRL_GET));
  return answered ? answered->result : -1;
}

int CTTS_Voice::GetRate() {
  auto answered = RoundTrip(std::make_unique<CTTSMsg_ctrlSpeak>(TTS_CTRL_RATE, TTS_CTRL_GET));
  return answered ? answered->result : -1;
}

void CTTS_Voice::Pause() { PostCommand(new CTTSMsg_pr(TTS_PR_PAUSE)); }

void CTTS_Voice::Resume() { PostCommand(new CTTSMsg_pr(TTS_PR_RESUME)); }

bool CTTS_Voice::IsPaused() {
  auto answered = RoundTrip(std::make_unique<CTTSMsg_pr>(TTS_PR_QUERY));
  return answered && answered->result == 1;
}

void CTTS_Voice::ShowDialog(HWND parent, int kind, const std::wstring* text) {
  auto command = std::make_unique<CTTSMsg_dialog>();
  command->parent = parent;
  command->kind = kind;
  if (text) {
    command->text.reset(new wchar_t[text->size() + 1]);
    std::copy(text->begin(), text->end(), command->text.get());
    command->textLength = static_cast<ULONG>(text->size());
  }
  PostCommand(command.release());
}

HRESULT CTTS_Voice::IsUISupported(const wchar_t* typeOfUI, void* extraData, ULONG extraDataSize, BOOL* supported) {
  auto command = std::make_unique<CTTSMsg_iuis>();
  command->typeOfUI = typeOfUI;
  command->extraData = extraData;
  command->extraDataSize = extraDataSize;
  command->supported = supported;
  auto answered = RoundTrip(std::move(command));
  return answered ? static_cast<CTTSMsg_iuis*>(answered.get())->engineResult : E_FAIL;
}

}  // namespace VTTSFramework
