#include "SpeechControl.h"

#include "VoiceSettings.h"
#include "TTSMessages.h"
#include "TTSVoice.h"
#include "VoiceManager.h"

#include <algorithm>
#include <climits>
#include <memory>

namespace VTTSFramework {

namespace {

// Holds the voice pool's lock, so that a voice named by a notification cannot be reaped while it
// is handled.
class PoolGuard {
 public:
  explicit PoolGuard(VoiceManager* manager) : m_lock(manager ? &manager->PoolLock() : nullptr, manager != nullptr) {}

 private:
  CSingleLock m_lock;
};

// Reads the volume or the rate back from a voice, telling "could not be read" apart from every
// value (-1 is a valid rate): the command's result is preset to a value the engine never gives,
// and only an answer from the engine replaces it.
//
// CTTS_Voice keeps its blocking round trip protected; a member pointer formed through a derived
// class reaches it without a cast of the object.
struct VoiceRoundTrip : CTTS_Voice {
  static constexpr auto Call() { return &VoiceRoundTrip::RoundTrip; }
};

// Whether a setting differs from what a close saved last; it counts as saved from now on.
bool Changed(std::optional<int>& saved, int value) {
  if (saved == value) return false;
  saved = value;
  return true;
}

// Nullopt when the voice gave no answer within `timeoutMs`, or an engine error.
std::optional<int> ReadBackControl(CTTS_Voice* voice, int what, DWORD timeoutMs) {
  constexpr int kNotRead = INT_MIN;
  auto query = std::make_unique<CTTSMsg_ctrlSpeak>(what, TTS_CTRL_GET);
  query->result = kNotRead;
  std::unique_ptr<CTTSMsg> answered = (voice->*VoiceRoundTrip::Call())(std::move(query), timeoutMs);
  if (!answered || answered->result == kNotRead) return std::nullopt;
  return answered->result;
}

// A value for the voice, when it is one the voice takes: out of range it keeps its own.
std::optional<int> Given(int value, int low, int high) {
  return value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
}

// How long the end of the session gives a voice to answer both reads: an idle voice thread
// answers in well under a millisecond, and the system ends a reader that takes seconds.
constexpr ULONGLONG kAtOnceMs = 500;

}  // namespace

IMPLEMENT_DYNAMIC(CSpeechControl, CWnd)

BEGIN_MESSAGE_MAP(CSpeechControl, CWnd)
  ON_MESSAGE(WM_SPEECH_SET_VOICE_MANAGER, &CSpeechControl::OnSetVoiceManager)
  ON_MESSAGE(WM_SPEECH_CLOSE, &CSpeechControl::OnSpeechClose)
  ON_MESSAGE(WM_SPEECH_REGISTER_CLIENT, &CSpeechControl::OnRegisterClient)
  ON_MESSAGE(WM_SPEECH_UNREGISTER_CLIENT, &CSpeechControl::OnUnregisterClient)
  ON_MESSAGE(WM_SPEECH_SPEAK, &CSpeechControl::OnSpeak)
  ON_MESSAGE(WM_SPEECH_STOP, &CSpeechControl::OnStop)
  ON_MESSAGE(WM_SPEECH_IS_CLIENT_SPEAKING, &CSpeechControl::OnIsClientSpeaking)
  ON_MESSAGE(WM_SPEECH_IS_BUSY, &CSpeechControl::OnIsBusy)
  ON_MESSAGE(WM_SPEECH_APPLY_VOLUME, &CSpeechControl::OnApplyVolume)
  ON_MESSAGE(WM_SPEECH_APPLY_RATE, &CSpeechControl::OnApplyRate)
  ON_MESSAGE(WM_SPEECH_PAUSE, &CSpeechControl::OnPause)
  ON_MESSAGE(WM_SPEECH_RESUME, &CSpeechControl::OnResume)
  ON_MESSAGE(WM_SPEECH_IS_PAUSED, &CSpeechControl::OnIsPaused)
  ON_MESSAGE(WM_SPEECH_SHOW_ENGINE_DIALOG, &CSpeechControl::OnShowEngineDialog)
  ON_MESSAGE(WM_SPEECH_SELECT_VOICE, &CSpeechControl::OnSelectVoice)
  ON_MESSAGE(WM_SPEECH_GET_VOICE, &CSpeechControl::OnGetVoice)
  ON_MESSAGE(WM_SPEECH_STARTED, &CSpeechControl::OnSpeechStarted)
  ON_MESSAGE(WM_SPEECH_WORD, &CSpeechControl::OnSpeechWord)
  ON_MESSAGE(WM_SPEECH_FINISHED, &CSpeechControl::OnSpeechFinished)
  ON_MESSAGE(WM_SPEECH_SKIP, &CSpeechControl::OnSkip)
  ON_MESSAGE(WM_SPEECH_ERROR, &CSpeechControl::OnSpeechError)
  ON_MESSAGE(WM_SPEECH_VOICE_READY, &CSpeechControl::OnVoiceReady)
END_MESSAGE_MAP()

CSpeechControl::CSpeechControl() {
  WNDCLASSW existing{};
  if (::GetClassInfoW(AfxGetInstanceHandle(), kSpeechControlClass, &existing)) return;
  WNDCLASSW wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ::DefWindowProcW;
  wc.hInstance = AfxGetInstanceHandle();
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  wc.lpszClassName = kSpeechControlClass;
  // Another thread may have registered it in between; that is as good.
  if (!::RegisterClassW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) AfxThrowResourceException();
}

CSpeechControl::~CSpeechControl() {
  m_busyCallback = nullptr;
  // WM_SPEECH_CLOSE normally freed them; a window that never got it must not leak them.
  for (SpeakRequest* r : m_pending) FreeSpeakRequest(r);
  m_pending.clear();
  m_clients.clear();
}

// ---- Rules ---------------------------------------------------------------------------------

bool CSpeechControl::IsRegistered(const SpeechClient* client) const {
  return client && std::find(m_clients.begin(), m_clients.end(), client) != m_clients.end();
}

void CSpeechControl::NotifyClient(SpeechClient* client, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsRegistered(client)) client->NotifyListeners(message, wParam, lParam);
}

LRESULT CSpeechControl::RefuseBusy() {
  if (m_busyCallback) {
    m_busyCallback();
  } else if (!::MessageBeep(MB_ICONEXCLAMATION)) {
    LogSpeechFailure(L"CSpeechControl: MessageBeep failed", ::GetLastError());
  }
  return SPEECH_REFUSED;
}

bool CSpeechControl::MayClientAct(SpeechClient* client) {
  SpeechClient* speaker = nullptr;
  if (!m_pending.empty()) {
    speaker = m_pending.front()->client;
  } else {
    if (!m_pCurrentVoice) return true;
    if (!m_pCurrentVoice->m_bInitialised) PumpUntilVoiceReady(m_pCurrentVoice);
    // Requests handled during the pump may have changed the voice.
    CTTS_Voice* voice = m_pCurrentVoice;
    if (!voice) return true;
    CSingleLock lock(&voice->m_active.lock, TRUE);
    auto& active = voice->m_active.items;
    if (active.empty() || !active.front()) return true;
    speaker = active.front()->client;
  }
  if (!speaker || speaker == client) return true;
  if (!IsRegistered(speaker)) return true;
  return client && client->priority >= speaker->priority;
}

void CSpeechControl::PumpUntilVoiceReady(CTTS_Voice* voice) {
  // QS_POSTMESSAGE counts only messages that arrived since the queue was last looked at, so a
  // posted message for another window (or a thread message) wakes the wait once and is then
  // left for the thread's own loop instead of keeping the wait busy.
  for (;;) {
    MSG msg;
    while (::PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE)) {
      ::DispatchMessageW(&msg);
      if (voice != m_pCurrentVoice || voice->m_bInitialised) return;
    }
    if (voice != m_pCurrentVoice || voice->m_bInitialised) return;
    HANDLE initialised = voice->m_initialisedEvent;
    const DWORD r = ::MsgWaitForMultipleObjects(1, &initialised, FALSE, INFINITE, QS_POSTMESSAGE | QS_SENDMESSAGE);
    if (r != WAIT_OBJECT_0 + 1) {
      if (r == WAIT_FAILED) LogSpeechFailure(L"CSpeechControl: MsgWaitForMultipleObjects failed", ::GetLastError());
      return;
    }
  }
}

void CSpeechControl::StartNextPending() {
  // Never hand a request to a missing voice: without a current voice it waits for the next one.
  if (m_pending.empty() || !m_pCurrentVoice) return;
  SpeakRequest* next = m_pending.front();
  m_pending.pop_front();
  m_pCurrentVoice->Speak(next);
}

bool CSpeechControl::IsLiveVoice(CTTS_Voice* voice) {
  return voice && m_pVoiceManager && m_pVoiceManager->IsPooled(voice);
}

void CSpeechControl::DetachClient(SpeechClient* client) {
  // Its waiting requests would be spoken to nobody: free them.
  for (auto it = m_pending.begin(); it != m_pending.end();) {
    if ((*it)->client == client) {
      FreeSpeakRequest(*it);
      it = m_pending.erase(it);
    } else {
      ++it;
    }
  }
  if (!m_pVoiceManager) return;
  // A voice thread reads the client of a request when it starts speaking it (volume and rate),
  // and the request may be queued, on its way to the engine or active. Each voice clears the
  // client under its own locks, without a round trip: a voice inside its engine's modal dialog
  // answers nothing until the dialog closes, and the reader's close must not wait for that. No
  // new request of this client can appear: requests are made only on this thread.
  m_pVoiceManager->ForEachPooledVoice([client](CTTS_Voice* voice) { voice->DetachClient(client); });
}

// ---- Requests ------------------------------------------------------------------------------

LRESULT CSpeechControl::OnSetVoiceManager(WPARAM wParam, LPARAM) {
  m_pVoiceManager = reinterpret_cast<VoiceManager*>(wParam);
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnRegisterClient(WPARAM wParam, LPARAM) {
  auto* client = reinterpret_cast<SpeechClient*>(wParam);
  if (!client) return SPEECH_FAILED;
  client->controlWindow = this;
  m_clients.push_back(client);
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnUnregisterClient(WPARAM wParam, LPARAM) {
  auto* client = reinterpret_cast<SpeechClient*>(wParam);
  auto it = std::find(m_clients.begin(), m_clients.end(), client);
  if (it == m_clients.end()) return SPEECH_DONE;
  m_clients.erase(it);
  // The client may be destroyed as soon as this returns. Unless it is still listed (registered
  // twice), no request may keep pointing at it.
  if (!IsRegistered(client)) DetachClient(client);
  return SPEECH_DONE;
}

// Requests that act on the current voice answer SPEECH_FAILED (-1) when there is none (no voice
// installed, or a failed selection): the protocol's "failed" answer, as a voice change to a voice
// that cannot be acquired gives. It is distinct from the priority refusal (1), which beeps; a
// missing voice is not the client's turn being taken. Nothing is built or sent, and a speak
// request's text adopted with SPEAKF_ADOPT_TEXT is freed. IS_PAUSED and IS_BUSY answer 0.

LRESULT CSpeechControl::OnSpeak(WPARAM wParam, LPARAM) {
  const auto* args = reinterpret_cast<const SpeakArgs*>(wParam);
  if (!args) return SPEECH_FAILED;
  // With SPEAKF_ADOPT_TEXT the caller's array belongs to the framework once it is sent, whatever
  // the answer: a request that is not built frees it here.
  std::unique_ptr<wchar_t[]> adopted;
  if ((args->flags & SPEAKF_ADOPT_TEXT) && args->text) adopted.reset(const_cast<wchar_t*>(args->text));

  if (!MayClientAct(args->client)) return RefuseBusy();
  if (!m_pCurrentVoice) return SPEECH_FAILED;

  std::unique_ptr<SpeakRequest> request(new SpeakRequest(args->client, args->flags | SPEAKF_ASYNC));
  request->PrepareText(adopted ? adopted.release() : args->text);
  // The voice takes the speaker's volume and rate when it starts the request.
  if (args->client) {
    m_given.volume = Given(args->client->volume, 0, 100);
    m_given.rate = Given(args->client->rate, -10, 10);
  }

  CTTS_Voice* voice = m_pCurrentVoice;
  bool wait = false;
  {
    // A carrier is no speech to wait behind: its voice is still starting up.
    CSingleLock lock(&voice->m_active.lock, TRUE);
    auto& active = voice->m_active.items;
    auto first = FirstStreamEntry(active);
    wait = first != active.end() && *first != nullptr && !(request->flags & SPEAKF_PURGE);
  }
  if (wait) {
    m_pending.push_back(request.release());
  } else {
    voice->Speak(request.release());
  }
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnStop(WPARAM wParam, LPARAM) {
  if (!MayClientAct(reinterpret_cast<SpeechClient*>(wParam))) return RefuseBusy();
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  m_pCurrentVoice->Stop();
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnPause(WPARAM wParam, LPARAM) {
  if (!MayClientAct(reinterpret_cast<SpeechClient*>(wParam))) return RefuseBusy();
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  m_pCurrentVoice->Pause();
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnResume(WPARAM wParam, LPARAM) {
  if (!MayClientAct(reinterpret_cast<SpeechClient*>(wParam))) return RefuseBusy();
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  m_pCurrentVoice->Resume();
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnSkip(WPARAM wParam, LPARAM lParam) {
  if (!MayClientAct(reinterpret_cast<SpeechClient*>(wParam))) return RefuseBusy();
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  m_pCurrentVoice->Skip(static_cast<int>(lParam));
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnApplyVolume(WPARAM wParam, LPARAM) {
  auto* client = reinterpret_cast<SpeechClient*>(wParam);
  if (!client || !MayClientAct(client)) return SPEECH_REFUSED;
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  if (m_pCurrentVoice->SetVolume(client->volume)) m_given.volume = client->volume;  // out of range: dropped
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnApplyRate(WPARAM wParam, LPARAM) {
  auto* client = reinterpret_cast<SpeechClient*>(wParam);
  if (!client || !MayClientAct(client)) return SPEECH_REFUSED;
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  if (m_pCurrentVoice->SetRate(client->rate)) m_given.rate = client->rate;
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnIsPaused(WPARAM, LPARAM) {
  if (!m_pCurrentVoice) return 0;
  return m_pCurrentVoice->IsPaused() ? 1 : 0;
}

LRESULT CSpeechControl::OnIsBusy(WPARAM, LPARAM) {
  if (!m_pCurrentVoice) return 0;
  CSingleLock lock(&m_pCurrentVoice->m_active.lock, TRUE);
  auto& active = m_pCurrentVoice->m_active.items;
  return (!active.empty() && active.front() && active.front()->client) ? 1 : 0;
}

LRESULT CSpeechControl::OnIsClientSpeaking(WPARAM wParam, LPARAM) {
  if (!m_pCurrentVoice) return 0;
  const auto* client = reinterpret_cast<const SpeechClient*>(wParam);
  CSingleLock lock(&m_pCurrentVoice->m_active.lock, TRUE);
  auto& active = m_pCurrentVoice->m_active.items;
  return (!active.empty() && active.front() && active.front()->client && active.front()->client == client) ? 1 : 0;
}

LRESULT CSpeechControl::OnShowEngineDialog(WPARAM wParam, LPARAM lParam) {
  if (!m_pCurrentVoice) return SPEECH_FAILED;
  const auto* args = reinterpret_cast<const EngineDialogArgs*>(lParam);
  m_pCurrentVoice->ShowDialog(reinterpret_cast<HWND>(wParam), args ? args->kind : 0, args ? args->text : nullptr);
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnSelectVoice(WPARAM wParam, LPARAM) {
  auto* client = reinterpret_cast<SpeechClient*>(wParam);
  if (!client || !MayClientAct(client)) return SPEECH_REFUSED;

  std::unique_ptr<SpeakRequest> carrier(new SpeakRequest(client));
  const bool resume = m_bSpeaking && client->resumeAfterVoiceChange == 1;
  if (m_pCurrentVoice) {
    if (m_bSpeaking) m_pCurrentVoice->Stop();
    if (m_pVoiceManager) m_pVoiceManager->ReleaseVoice(m_pCurrentVoice);
    m_pCurrentVoice = nullptr;
  }
  m_nCurrentVoiceIndex = client->voiceIndex;
  CTTS_Voice* voice =
      m_pVoiceManager ? m_pVoiceManager->AcquireVoice(m_nCurrentVoiceIndex, this, carrier.get()) : nullptr;
  if (!voice) {
    // No voice to re-speak the rest with: the old request just ends.
    m_bResumePending = false;
    FreeSpeakRequest(carrier.release());  // the caller frees a carrier that no voice took
    return SPEECH_FAILED;
  }
  carrier.release();  // the voice's active list holds it now
  m_pCurrentVoice = voice;
  // From now on the voice holds the client's volume and rate, as a speak would give them: a voice
  // not used yet in this run has the engine's own, one taken back from the pool those of its last
  // use, and the close saves what it reads back from the voice.
  m_given.volume = voice->SetVolume(client->volume) ? std::optional<int>(client->volume) : std::nullopt;
  m_given.rate = voice->SetRate(client->rate) ? std::optional<int>(client->rate) : std::nullopt;
  if (resume) m_bResumePending = true;
  return SPEECH_DONE;
}

LRESULT CSpeechControl::OnGetVoice(WPARAM, LPARAM) { return m_nCurrentVoiceIndex; }

// ---- Notifications of the voice threads ----------------------------------------------------

LRESULT CSpeechControl::OnSpeechStarted(WPARAM wParam, LPARAM) {
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  PoolGuard pool(m_pVoiceManager);
  if (!IsLiveVoice(voice)) return 0;
  CSingleLock lock(&voice->m_active.lock, TRUE);
  auto it = FirstStreamEntry(voice->m_active.items);
  // The empty stream of a stop (its placeholder) is no speech: a voice change while it runs has
  // nothing to stop or re-speak, and its end would find no request to take the pending resume,
  // which would then re-speak the tail of whatever request ends next.
  if (it == voice->m_active.items.end() || !*it) return 0;
  m_bSpeaking = true;
  NotifyClient((*it)->client, WM_SPEECH_STARTED, 0, 0);
  return 0;
}

LRESULT CSpeechControl::OnSpeechWord(WPARAM wParam, LPARAM) {
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  PoolGuard pool(m_pVoiceManager);
  if (!IsLiveVoice(voice)) return 0;
  CSingleLock lock(&voice->m_active.lock, TRUE);
  auto it = FirstStreamEntry(voice->m_active.items);
  if (it == voice->m_active.items.end() || !*it) return 0;
  SpeakRequest* request = *it;
  WordEvent word;
  if (!request->wordEvents.PopFront(word)) return 0;
  request->lastWordPosition = word.position;
  request->lastWordLength = word.length;
  NotifyClient(request->client, WM_SPEECH_WORD, static_cast<WPARAM>(request->offsetRead + word.position),
               static_cast<LPARAM>(word.length));
  return 0;
}

LRESULT CSpeechControl::OnSpeechFinished(WPARAM wParam, LPARAM) {
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  PoolGuard pool(m_pVoiceManager);
  if (!IsLiveVoice(voice)) return 0;
  SpeakRequest* request = nullptr;
  voice->TakeActiveEntry(CTTS_Voice::ActiveEntry::kStream, &request);
  m_bSpeaking = false;
  if (!request) return 0;  // a stop's placeholder (or nothing)

  NotifyClient(request->client, WM_SPEECH_FINISHED, 0, 0);
  // The rest is re-spoken only with a voice to speak it (resume pending is set only when the new
  // voice was acquired, but a later failed change may have taken it away again).
  if (m_bResumePending && m_pCurrentVoice && request->client && request->text) {
    const DWORD readEnd = request->lastWordPosition + request->lastWordLength;
    if (readEnd < request->length) {
      request->KeepTail(request->length - readEnd);
      request->offsetRead += readEnd;
      // Word positions of the shortened text start again at 0.
      request->lastWordPosition = 0;
      request->lastWordLength = 0;
      m_pending.push_back(request);
      request = nullptr;
    }
  }
  FreeSpeakRequest(request);
  m_bResumePending = false;
  StartNextPending();
  return 0;
}

LRESULT CSpeechControl::OnSpeechError(WPARAM wParam, LPARAM lParam) {
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  PoolGuard pool(m_pVoiceManager);
  if (!IsLiveVoice(voice)) return 0;
  SpeakRequest* request = nullptr;
  if (!voice->TakeErrorEntry(&request)) return 0;
  if (request && IsRegistered(request->client))
    request->client->NotifyListeners(WM_SPEECH_ERROR, static_cast<WPARAM>(lParam),
                                     static_cast<LPARAM>(request->client->voiceIndex));
  FreeSpeakRequest(request);
  return 0;
}

LRESULT CSpeechControl::OnVoiceReady(WPARAM wParam, LPARAM) {
  auto* voice = reinterpret_cast<CTTS_Voice*>(wParam);
  PoolGuard pool(m_pVoiceManager);
  if (!IsLiveVoice(voice)) return 0;
  SpeakRequest* carrier = nullptr;
  voice->TakeActiveEntry(CTTS_Voice::ActiveEntry::kCarrier, &carrier);
  // Only to a client that is still registered: the client lives inside its window, which may
  // be gone by now.
  if (carrier) NotifyClient(carrier->client, WM_SPEECH_VOICE_READY, 0, 0);
  FreeSpeakRequest(carrier);
  voice->m_bInitialised = true;
  voice->m_initialisedEvent.SetEvent();
  // Requests left waiting while there was no voice (a failed voice change) start with the new
  // one, unless it is already speaking, when its end starts them.
  if (voice == m_pCurrentVoice && !m_pending.empty()) {
    bool idle;
    {
      CSingleLock lock(&voice->m_active.lock, TRUE);
      idle = FirstStreamEntry(voice->m_active.items) == voice->m_active.items.end();
    }
    if (idle) StartNextPending();
  }
  return 0;
}

// ---- Closing -------------------------------------------------------------------------------

LRESULT CSpeechControl::OnSpeechClose(WPARAM wParam, LPARAM lParam) {
  if (lParam != SPEECH_CLOSE_SAVE_NOTHING) SaveSettings(lParam == SPEECH_CLOSE_SAVE_AT_ONCE);
  for (SpeakRequest* r : m_pending) FreeSpeakRequest(r);
  m_pending.clear();
  if (wParam != 1) DestroyWindow();
  return SPEECH_DONE;
}

void CSpeechControl::SaveSettings(bool atOnce) {
  if (!m_saved.firstRunDone) {
    WriteFirstRunDone();
    m_saved.firstRunDone = true;
  }
  if (Changed(m_saved.voice, m_nCurrentVoiceIndex)) WriteCurrentVoice(m_nCurrentVoiceIndex);
  if (!m_pCurrentVoice) return;
  // Only values that were read back are written: a failed read (or an engine value out of range)
  // would replace the user's setting with garbage. At once, a voice that does not answer in time
  // is inside its engine's dialog (or stuck), and what this window last gave it stands in.
  const ULONGLONG deadline = ::GetTickCount64() + kAtOnceMs;
  const auto read = [&](int what, const std::optional<int>& given) {
    if (!atOnce) return ReadBackControl(m_pCurrentVoice, what, INFINITE);
    const ULONGLONG now = ::GetTickCount64();
    const std::optional<int> value =
        ReadBackControl(m_pCurrentVoice, what, now < deadline ? static_cast<DWORD>(deadline - now) : 0);
    return value ? value : given;
  };
  const std::optional<int> volume = read(TTS_CTRL_VOLUME, m_given.volume);
  if (volume && *volume >= 0 && *volume <= 100 && Changed(m_saved.volume, *volume))
    WriteAppDword(L"cur_volume", static_cast<DWORD>(*volume));
  const std::optional<int> rate = read(TTS_CTRL_RATE, m_given.rate);
  if (rate && *rate >= -10 && *rate <= 10 && Changed(m_saved.speed, *rate + 10))
    WriteAppDword(L"cur_speed", static_cast<DWORD>(*rate + 10));
}

}  // namespace VTTSFramework
