#include "TTSSapi5.h"

#include "ThreadName.h"

#include <cwchar>

using Microsoft::WRL::ComPtr;

namespace VTTSFramework {

IMPLEMENT_DYNCREATE(CTTS_SAPI5, CTTS_Voice)

const wchar_t kVoiceCategoryId[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";

namespace {

// The interest masks of SAPI carry two reserved check bits besides the events' own bits.
constexpr ULONGLONG kFlagCheck = (1ull << SPEI_RESERVED1) | (1ull << SPEI_RESERVED2);
constexpr ULONGLONG Spfei(SPEVENTENUM e) { return (1ull << e) | kFlagCheck; }
constexpr ULONGLONG kAllEvents = 0xEFFFFFFFFFFFFFFFull;

constexpr ULONGLONG kSpeechInterest = Spfei(SPEI_START_INPUT_STREAM) | Spfei(SPEI_END_INPUT_STREAM) |
                                      Spfei(SPEI_WORD_BOUNDARY) | Spfei(SPEI_SENTENCE_BOUNDARY);
constexpr ULONGLONG kFileInterest =
    Spfei(SPEI_START_INPUT_STREAM) | Spfei(SPEI_END_INPUT_STREAM) | Spfei(SPEI_SENTENCE_BOUNDARY);

// Engine results that reach the client unchanged instead of TTSERR_SPEAK_FAILED.
constexpr HRESULT kPassedOnResult1 = static_cast<HRESULT>(0x80045042);
constexpr HRESULT kPassedOnResult2 = static_cast<HRESULT>(0x80045043);

void Trace(const char* text) { OutputDebugStringA(text); }

void TraceFailure(const char* what, HRESULT hr) {
  char line[160];
  snprintf(line, sizeof(line), "CTTS_SAPI5: %s failed, 0x%08lx\n", what, static_cast<unsigned long>(hr));
  OutputDebugStringA(line);
}

int SpeakErrorCode(HRESULT hr) {
  return (hr == kPassedOnResult1 || hr == kPassedOnResult2) ? static_cast<int>(hr) : TTSERR_SPEAK_FAILED;
}

// Frees what an event's lParam holds, as SAPI leaves it to the receiver.
void ClearEvent(SPEVENT* ev) {
  switch (ev->elParamType) {
    case SPET_LPARAM_IS_POINTER:
    case SPET_LPARAM_IS_STRING:
      CoTaskMemFree(reinterpret_cast<void*>(ev->lParam));
      break;
    case SPET_LPARAM_IS_TOKEN:
    case SPET_LPARAM_IS_OBJECT:
      if (ev->lParam) reinterpret_cast<IUnknown*>(ev->lParam)->Release();
      break;
    default:
      break;
  }
  ev->lParam = 0;
  ev->elParamType = SPET_LPARAM_IS_UNDEFINED;
}

void PostTo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && ::IsWindow(window) && !::PostMessageW(window, message, wParam, lParam))
    Trace("CTTS_SAPI5: PostMessage failed\n");
}

}  // namespace

CTTS_SAPI5::CTTS_SAPI5() = default;

CTTS_SAPI5::~CTTS_SAPI5() = default;

BOOL CTTS_SAPI5::InitInstance() {
  SetThreadName(static_cast<DWORD>(-1), "CTTS_SAPI5");
  if (!CTTS_Voice::InitInstance()) return FALSE;
  ComPtr<ISpObjectTokenCategory> category;
  HRESULT hr = CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&category));
  if (SUCCEEDED(hr)) hr = category->SetId(kVoiceCategoryId, FALSE);
  if (SUCCEEDED(hr)) hr = category->EnumTokens(nullptr, nullptr, &m_pTokens);
  if (FAILED(hr)) {
    // Every initialisation will answer TTSERR_VOICE_NOT_FOUND.
    TraceFailure("enumerating the voice tokens", hr);
    m_pTokens.Reset();
  }
  return TRUE;
}

int CTTS_SAPI5::ExitInstance() {
  // Each engine object is released once: whatever OnDestroy released is null here.
  m_pTokens.Reset();
  if (m_pVoice) {
    m_pVoice->SetNotifySink(nullptr);
    m_pVoice.Reset();
  }
  ReleaseFileStreams();
  m_pWaveFormat.reset();
  return CTTS_Voice::ExitInstance();
}

// ---- Handlers ----------------------------------------------------------------------------------

void CTTS_SAPI5::OnInit(CTTSMsg_init* msg) {
  const int index = msg ? msg->tokenIndex : -1;
  if (index == -1) {
    ReportError(TTSERR_NO_VOICE);
    CTTS_Voice::OnInit(msg);
    return;
  }
  if (index == m_nTokenIndex) {
    CTTS_Voice::OnInit(msg);
    return;
  }
  ComPtr<ISpObjectToken> token;
  HRESULT hr = FindToken(index, msg->tokenId, &token);
  if (FAILED(hr) || !token) {
    // The voice keeps its previous token, so its index stays what it was.
    ReportError(TTSERR_VOICE_NOT_FOUND);
    CTTS_Voice::OnInit(msg);
    return;
  }
  m_nTokenIndex = index;
  SetThreadNameF(static_cast<DWORD>(-1), "CTTS_SAPI5 (%d)", index);
  if (!m_pVoice) {
    hr = CoCreateInstance(CLSID_SpVoice, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&m_pVoice));
    m_bEnginePaused = false;
    if (FAILED(hr)) {
      TraceFailure("CoCreateInstance(SpVoice)", hr);
      m_pVoice.Reset();
    }
    ForgetEngineSettings();
  }
  // Failures here are not reported to the client: the voice reports ready and a speak fails.
  if (m_pVoice) {
    hr = m_pVoice->SetVoice(token.Get());
    // Another voice may come with volume and rate of its own: the next speak tells them again.
    ForgetEngineSettings();
    if (SUCCEEDED(hr)) {
      if (ListenForSpeech()) SetAudioOutput();
    } else {
      TraceFailure("SetVoice", hr);
    }
  }
  CTTS_Voice::OnInit(msg);
}

HRESULT CTTS_SAPI5::FindToken(int index, const std::wstring& tokenId, ISpObjectToken** token) {
  *token = nullptr;
  if (!m_pTokens) return E_POINTER;
  // Item rather than Reset and Next: it finds the token by position without moving the
  // enumerator, and some implementations cannot reset.
  if (tokenId.empty()) return m_pTokens->Item(static_cast<ULONG>(index), token);
  // The list was read at start-up; this enumeration when the thread started. Voices installed or
  // removed in between move the others, so the position may name another voice by now.
  ULONG count = 0;
  HRESULT hr = m_pTokens->GetCount(&count);
  if (FAILED(hr)) return hr;
  for (ULONG i = 0; i < count; ++i) {
    ComPtr<ISpObjectToken> candidate;
    hr = m_pTokens->Item(i, &candidate);
    if (FAILED(hr) || !candidate) continue;
    wchar_t* rawId = nullptr;
    hr = candidate->GetId(&rawId);
    win::UniqueCoTaskMem<wchar_t> id(rawId);
    // Token identifiers are registry paths, whose names ignore case.
    if (SUCCEEDED(hr) && rawId && ::CompareStringOrdinal(rawId, -1, tokenId.c_str(), -1, TRUE) == CSTR_EQUAL) {
      *token = candidate.Detach();
      return S_OK;
    }
  }
  return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
}

void CTTS_SAPI5::OnDestroy(CTTSMsg_destroy* msg) {
  if (m_pVoice) {
    m_pVoice->SetNotifySink(nullptr);
    m_pVoice.Reset();
  }
  ForgetEngineSettings();
  ReleaseFileStreams();
  m_pTokens.Reset();
  FreeCommand(msg);
  SetQuitting();
  PostQuitMessage(0);
}

void CTTS_SAPI5::ForgetEngineSettings() { m_engine = EngineSettings(); }

bool CTTS_SAPI5::HasStreamToSpeak() {
  SPVOICESTATUS status = {};
  HRESULT hr = m_pVoice->GetStatus(&status, nullptr);
  if (FAILED(hr)) {
    TraceFailure("GetStatus", hr);
    return true;  // as if something were left: the request acts as it would without the status
  }
  return (status.dwRunningState & SPRS_DONE) == 0;
}

void CTTS_SAPI5::ResumeEngine() {
  HRESULT hr = m_pVoice->Resume();
  if (FAILED(hr)) {
    TraceFailure("Resume", hr);
    return;
  }
  m_bPaused = false;
  m_bEnginePaused = false;
}

void CTTS_SAPI5::SetAudioOutput() {
  HRESULT hr = m_pVoice->SetOutput(nullptr, TRUE);
  if (FAILED(hr)) TraceFailure("SetOutput", hr);
  m_engine.audioOutput = SUCCEEDED(hr);
}

void CTTS_SAPI5::EnsureAudioOutput() {
  if (!m_engine.audioOutput) SetAudioOutput();
}

void CTTS_SAPI5::SetEngineVolume(int volume) {
  // The engine takes the volume as 16 bits; that is what it holds afterwards.
  volume = static_cast<USHORT>(volume);
  if (volume == m_engine.volume) return;
  HRESULT hr = m_pVoice->SetVolume(static_cast<USHORT>(volume));
  if (FAILED(hr)) TraceFailure("SetVolume", hr);
  m_engine.volume = SUCCEEDED(hr) ? volume : kUnknown;
}

void CTTS_SAPI5::SetEngineRate(int rate) {
  if (rate == m_engine.rate) return;
  HRESULT hr = m_pVoice->SetRate(rate);
  if (FAILED(hr)) TraceFailure("SetRate", hr);
  m_engine.rate = SUCCEEDED(hr) ? rate : kUnknown;
}

HRESULT CTTS_SAPI5::SpeakRequestStream(SpeakRequest* request, bool async) {
  bool hasClient = false;
  int volume = 0, rate = 0;
  {
    // An unregistered client may be gone as soon as this lock is free: read it under the lock
    // through which DetachClient clears it.
    CSingleLock lock(&m_active.lock, TRUE);
    TakeInHandClient(request);
    if (request->client) {
      hasClient = true;
      volume = request->client->volume;
      rate = request->client->rate;
    }
  }
  if (hasClient) {
    SetEngineVolume(volume);
    SetEngineRate(rate);
  }
  if (!request->BuildStream()) return E_OUTOFMEMORY;
  DWORD flags = (request->flags & SPEAKF_XML) ? SPF_IS_XML : SPF_IS_NOT_XML;
  if (async) flags |= SPF_ASYNC;
  if (request->flags & SPEAKF_PURGE) flags |= SPF_PURGEBEFORESPEAK;
  ULONG streamNumber = 0;
  return m_pVoice->SpeakStream(request->stream.Get(), flags, &streamNumber);
}

void CTTS_SAPI5::OnSpeak(CTTSMsg_speak* msg) {
  SpeakRequest* request = msg ? msg->TakeRequest() : nullptr;
  FreeCommand(msg);
  if (!request) return;
  if (m_pVoice) EnsureAudioOutput();
  HRESULT hr;
  {
    CSingleLock lock(&m_active.lock, TRUE);
    TakeInHandClient(request);
    m_active.items.push_back(request);
    // A voice whose last stream ended while it was paused is still paused with nothing to say:
    // this request would wait on it unheard.
    if (m_pVoice && m_bEnginePaused && !HasStreamToSpeak()) ResumeEngine();
    hr = m_pVoice ? SpeakRequestStream(request, (request->flags & SPEAKF_ASYNC) != 0) : E_POINTER;
  }
  if (FAILED(hr)) {
    TraceFailure("SpeakStream", hr);
    ReportSpeakError(request, SpeakErrorCode(hr));
  }
}

void CTTS_SAPI5::OnStop(CTTSMsg_stop* msg) {
  if (m_pVoice) {
    CSingleLock lock(&m_active.lock, TRUE);
    // Synchronous: purges what is queued and spoken. The empty stream has start and end events
    // of its own, which the placeholder stands for.
    HRESULT hr = m_pVoice->Speak(L"", SPF_PURGEBEFORESPEAK, nullptr);
    if (SUCCEEDED(hr)) {
      m_active.items.push_back(nullptr);
      if (m_bEnginePaused) ResumeEngine();
    } else {
      TraceFailure("Speak (purge)", hr);
    }
  }
  FreeCommand(msg);
}

void CTTS_SAPI5::OnSkip(CTTSMsg_skip* msg) {
  if (msg && m_pVoice) {
    CSingleLock lock(&m_active.lock, TRUE);
    ULONG skipped = 0;
    HRESULT hr = m_pVoice->Skip(L"SENTENCE", msg->sentences, &skipped);
    if (FAILED(hr)) TraceFailure("Skip", hr);
  }
  FreeCommand(msg);
}

void CTTS_SAPI5::OnPauseResume(CTTSMsg_pr* msg) {
  if (!msg) return;
  int answer = -1;
  if (m_pVoice) {
    CSingleLock lock(&m_active.lock, TRUE);
    if (!m_active.items.empty()) {
      bool changed = false;
      // The last entry leaves the list only when the control window handles its end: a pause
      // that comes after the end of the last stream finds it still listed, but nothing left to
      // speak. SAPI would pause the idle voice and keep it paused for the next read.
      if (msg->argument == TTS_PR_PAUSE && !m_bPaused && HasStreamToSpeak()) {
        HRESULT hr = m_pVoice->Pause();
        // A voice that did not pause is not reported as paused.
        if (SUCCEEDED(hr))
          m_bPaused = m_bEnginePaused = changed = true;
        else
          TraceFailure("Pause", hr);
      } else if (msg->argument == TTS_PR_RESUME && m_bPaused) {
        ResumeEngine();
        changed = !m_bPaused;
      }
      SpeakRequest* first = m_active.items.front();
      if (changed && first && first->output)
        PostTo(first->output->notifyWindow, WM_SPEECH_PAUSE_CHANGED, m_bPaused ? 1 : 0, reinterpret_cast<LPARAM>(this));
      answer = m_bPaused ? 1 : 0;
    }
  }
  msg->result = answer;
  FreeCommand(msg);
}

void CTTS_SAPI5::OnIsUISupported(CTTSMsg_iuis* msg) {
  if (!msg) return;
  if (m_pVoice) {
    BOOL ignored = FALSE;
    HRESULT hr = m_pVoice->IsUISupported(msg->typeOfUI, msg->extraData, msg->extraDataSize,
                                         msg->supported ? msg->supported : &ignored);
    msg->engineResult = hr;
    msg->result = static_cast<int>(hr);
  }
  FreeCommand(msg);
}

void CTTS_SAPI5::OnShowDialog(CTTSMsg_dialog* msg) {
  if (msg && m_pVoice && msg->parent && ::IsWindow(msg->parent)) {
    const wchar_t* type = nullptr;
    void* data = nullptr;
    ULONG size = 0;
    switch (msg->kind) {
      case TTS_DIALOG_ADD_REMOVE_WORD:
        type = L"AddRemoveWord";
        break;
      case TTS_DIALOG_ENGINE_PROPERTIES:
      case TTS_DIALOG_ENGINE_PROPERTIES_2:
        type = L"EngineProperties";
        break;
      case TTS_DIALOG_EDIT_SIMPLE_LEX:
        type = L"Orvel Edit Simple Lex";
        data = msg->text.get();
        // The extra data of DisplayUI is measured in bytes.
        size = msg->textLength * static_cast<ULONG>(sizeof(wchar_t));
        break;
      default:
        break;
    }
    if (type) {
      // The engine's dialog runs a modal loop of its own on this thread.
      HRESULT hr = m_pVoice->DisplayUI(msg->parent, nullptr, type, data, size);
      if (FAILED(hr) && msg->kind != TTS_DIALOG_ADD_REMOVE_WORD) {
        // Some engines' dialogs need COM initialised by their caller once more; try again so.
        HRESULT init = CoInitialize(nullptr);
        hr = m_pVoice->DisplayUI(msg->parent, nullptr, type, data, size);
        if (SUCCEEDED(init)) CoUninitialize();
      }
      if (FAILED(hr)) TraceFailure("DisplayUI", hr);
    }
  }
  FreeCommand(msg);
}

void CTTS_SAPI5::OnControl(CTTSMsg_ctrlSpeak* msg) {
  if (msg && m_pVoice) {
    HRESULT hr = S_OK;
    // An explicit command always reaches the engine; what it leaves there is remembered.
    if (msg->what == TTS_CTRL_VOLUME && msg->argument == TTS_CTRL_SET) {
      const USHORT volume = static_cast<USHORT>(msg->value);
      hr = m_pVoice->SetVolume(volume);
      m_engine.volume = SUCCEEDED(hr) ? volume : kUnknown;
    } else if (msg->what == TTS_CTRL_VOLUME && msg->argument == TTS_CTRL_GET) {
      USHORT volume = 0;
      hr = m_pVoice->GetVolume(&volume);
      if (SUCCEEDED(hr)) msg->result = m_engine.volume = volume;
    } else if (msg->what == TTS_CTRL_RATE && msg->argument == TTS_CTRL_GET) {
      LONG rate = 0;
      hr = m_pVoice->GetRate(&rate);
      if (SUCCEEDED(hr)) msg->result = m_engine.rate = static_cast<int>(rate);
    } else if (msg->what == TTS_CTRL_RATE && msg->argument == TTS_CTRL_SET) {
      hr = m_pVoice->SetRate(msg->value);
      m_engine.rate = SUCCEEDED(hr) ? msg->value : kUnknown;
    }
    if (FAILED(hr)) TraceFailure("volume or rate", hr);
  }
  FreeCommand(msg);
}

// ---- Speech events -----------------------------------------------------------------------------

bool CTTS_SAPI5::ListenForSpeech() {
  HRESULT hr = m_pVoice->SetNotifyCallbackFunction(&CTTS_SAPI5::SpeechCallback, 0, reinterpret_cast<LPARAM>(this));
  if (SUCCEEDED(hr)) hr = m_pVoice->SetInterest(kSpeechInterest, kSpeechInterest);
  if (FAILED(hr)) TraceFailure("listening for speech events", hr);
  return SUCCEEDED(hr);
}

void __stdcall CTTS_SAPI5::SpeechCallback(WPARAM, LPARAM lParam) {
  try {
    reinterpret_cast<CTTS_SAPI5*>(lParam)->OnSpeechEvents();
  } catch (...) {
    AfxReportCaughtException("speech callback");
  }
}

SpeakRequest* CTTS_SAPI5::FirstActiveRequest() { return m_active.items.empty() ? nullptr : m_active.items.front(); }

void CTTS_SAPI5::OnSpeechEvents() {
  // The voice lock keeps the owner as it is while we post to it.
  CSingleLock voiceLock(&m_voiceLock, TRUE);
  HWND owner = OwnerHwnd();
  if (!owner || !m_pVoice) return;
  const WPARAM self = reinterpret_cast<WPARAM>(static_cast<CTTS_Voice*>(this));
  for (;;) {
    SPEVENT ev = {};
    ULONG fetched = 0;
    // S_FALSE means fewer events than asked for: none is left.
    if (m_pVoice->GetEvents(1, &ev, &fetched) != S_OK || fetched != 1) break;
    switch (ev.eEventId) {
      case SPEI_START_INPUT_STREAM:
        m_bSpeaking = true;
        PostTo(owner, WM_SPEECH_STARTED, self, 0);
        break;
      case SPEI_END_INPUT_STREAM:
        m_bSpeaking = false;
        m_bPaused = false;
        PostTo(owner, WM_SPEECH_FINISHED, self, 0);
        break;
      case SPEI_WORD_BOUNDARY:
        if (m_bSpeaking) {
          SPVOICESTATUS status = {};
          HRESULT hr = m_pVoice->GetStatus(&status, nullptr);
          if (SUCCEEDED(hr) && (status.dwRunningState & SPRS_IS_SPEAKING)) {
            CSingleLock lock(&m_active.lock, TRUE);
            if (SpeakRequest* first = FirstActiveRequest()) {
              first->wordEvents.PushBack(WordEvent{status.ulInputWordPos, status.ulInputWordLen});
              PostTo(owner, WM_SPEECH_WORD, self, 0);
            }
          }
        }
        break;
      default:
        break;
    }
    ClearEvent(&ev);
  }
}

// ---- Wave-file output --------------------------------------------------------------------------

bool CTTS_SAPI5::FormatWaveFileName(const WaveOutputArgs& output, bool numbered, int number, std::wstring* name) {
  if (!numbered) {
    *name = output.pathPrefix + output.fileName;
    return true;
  }
  const std::wstring& format = output.fileName;
  std::wstring formatted;
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != L'%') {
      formatted += format[i];
      continue;
    }
    if (++i >= format.size()) return false;
    if (format[i] == L'%') {
      formatted += L'%';
      continue;
    }
    std::wstring spec = L"%";
    while (i < format.size() && wcschr(L"-+ 0#", format[i])) spec += format[i++];
    size_t widthDigits = 0;
    while (i < format.size() && iswdigit(format[i])) {
      if (++widthDigits > 2) return false;
      spec += format[i++];
    }
    if (i >= format.size() || !wcschr(L"diu", format[i]) || ++conversions > 1) return false;
    spec += format[i];
    wchar_t digits[64];
    if (swprintf(digits, 64, spec.c_str(), number) < 0) return false;
    formatted += digits;
  }
  if (conversions != 1) return false;
  *name = output.pathPrefix + formatted;
  return true;
}

HRESULT CTTS_SAPI5::BindNextWaveFile(SpeakRequest* request) {
  const bool numbered = (request->flags & SPEAKF_NUMBERED_FILE) != 0;
  std::wstring name;
  if (!FormatWaveFileName(*request->output, numbered, m_nFileCounter, &name)) return E_INVALIDARG;
  if (numbered) ++m_nFileCounter;
  HRESULT hr = S_OK;
  if (!m_pFileStream) hr = CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&m_pFileStream));
  if (SUCCEEDED(hr))
    hr = m_pFileStream->BindToFile(name.c_str(), SPFM_CREATE_ALWAYS, &m_formatId, m_pWaveFormat.get(), kAllEvents);
  return hr;
}

void CTTS_SAPI5::ReleaseFileStreams() {
  if (m_pOutputStream) {
    m_pOutputStream->Close();
    m_pOutputStream.Reset();
  }
  if (m_pFileStream) {
    m_pFileStream->Close();
    m_pFileStream.Reset();
  }
}

void CTTS_SAPI5::RestoreSpeechOutput() {
  if (!m_pVoice) return;
  SetAudioOutput();
  ListenForSpeech();
}

void CTTS_SAPI5::OnSpeakToFile(CTTSMsg_speakToFile* msg) {
  SpeakRequest* request = msg ? msg->TakeRequest() : nullptr;
  FreeCommand(msg);
  if (!request) return;
  if (!m_pVoice || !request->output) {
    ReportSpeakError(request, TTSERR_SPEAK_FAILED);
    return;
  }
  // 16-bit mono PCM at 22050 samples per second.
  auto* format = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
  if (!format) {
    ReportSpeakError(request, TTSERR_SPEAK_FAILED);
    return;
  }
  *format = WAVEFORMATEX();
  format->wFormatTag = WAVE_FORMAT_PCM;
  format->nChannels = 1;
  format->nSamplesPerSec = 22050;
  format->nAvgBytesPerSec = 44100;
  format->nBlockAlign = 2;
  format->wBitsPerSample = 16;
  format->cbSize = 0;
  m_pWaveFormat.reset(format);
  m_formatId = SPDFID_WaveFormatEx;

  m_nFileCounter = 0;
  m_bFirstSentence = true;
  const bool async = (request->flags & SPEAKF_ASYNC) != 0;
  ReleaseFileStreams();

  HRESULT hr = BindNextWaveFile(request);
  if (SUCCEEDED(hr)) hr = CoCreateInstance(CLSID_SpStream, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&m_pOutputStream));
  if (SUCCEEDED(hr)) hr = m_pOutputStream->SetBaseStream(m_pFileStream.Get(), m_formatId, m_pWaveFormat.get());
  if (SUCCEEDED(hr)) {
    m_engine.audioOutput = false;  // whatever the call does, the next speak sets the device again
    hr = m_pVoice->SetOutput(m_pOutputStream.Get(), TRUE);
  }
  if (SUCCEEDED(hr) && async) {
    hr = m_pVoice->SetNotifyCallbackFunction(&CTTS_SAPI5::FileCallback, 0, reinterpret_cast<LPARAM>(this));
    if (SUCCEEDED(hr)) hr = m_pVoice->SetInterest(kFileInterest, kFileInterest);
  } else if (SUCCEEDED(hr)) {
    // A synchronous file is done when the speak returns. Its events would reach the owner as
    // speech of a request that is not in the active list, so none is asked for meanwhile.
    hr = m_pVoice->SetInterest(0, 0);
  }
  if (SUCCEEDED(hr)) {
    if (async) {
      CSingleLock lock(&m_active.lock, TRUE);
      TakeInHandClient(request);
      m_active.items.push_back(request);
      hr = SpeakRequestStream(request, true);
    } else {
      hr = SpeakRequestStream(request, false);
    }
  }
  if (FAILED(hr)) {
    TraceFailure("speaking to a wave file", hr);
    ReleaseFileStreams();
    RestoreSpeechOutput();
    ReportSpeakError(request, TTSERR_SPEAK_FAILED);
    return;
  }
  if (!async) {
    // Spoken already: the file is complete.
    ReleaseFileStreams();
    RestoreSpeechOutput();
    request->output->result = 1;
    FreeSpeakRequest(request);
  }
}

void __stdcall CTTS_SAPI5::FileCallback(WPARAM, LPARAM lParam) {
  try {
    reinterpret_cast<CTTS_SAPI5*>(lParam)->OnFileEvents();
  } catch (...) {
    AfxReportCaughtException("wave file callback");
  }
}

void CTTS_SAPI5::OnFileEvents() {
  CSingleLock voiceLock(&m_voiceLock, TRUE);
  if (!m_pVoice) return;
  const WPARAM self = reinterpret_cast<WPARAM>(static_cast<CTTS_Voice*>(this));
  bool ended = false;
  while (!ended) {
    SPEVENT ev = {};
    ULONG fetched = 0;
    if (m_pVoice->GetEvents(1, &ev, &fetched) != S_OK || fetched != 1) break;
    SpeakRequest* first = nullptr;
    {
      CSingleLock lock(&m_active.lock, TRUE);
      first = FirstActiveRequest();
    }
    WaveOutputArgs* output = first ? first->output.get() : nullptr;
    HWND notify = output ? output->notifyWindow : nullptr;
    const bool numbered = first && (first->flags & SPEAKF_NUMBERED_FILE);
    switch (ev.eEventId) {
      case SPEI_START_INPUT_STREAM:
        m_bSpeaking = true;
        PostTo(notify, WM_SPEECH_STARTED, self, 0);
        break;
      case SPEI_END_INPUT_STREAM:
        RestoreSpeechOutput();
        ReleaseFileStreams();
        if (output) output->result = numbered ? static_cast<DWORD>(m_nFileCounter) : 1;
        PostTo(notify, WM_SPEECH_FINISHED, self, 0);
        m_bSpeaking = false;
        m_bPaused = false;
        ended = true;  // later events are speech events again
        break;
      case SPEI_SENTENCE_BOUNDARY:
        if (m_bSpeaking && first) {
          if (numbered && !m_bFirstSentence && m_pFileStream) {
            m_pFileStream->Close();
            HRESULT hr = BindNextWaveFile(first);
            if (FAILED(hr)) TraceFailure("binding the next wave file", hr);
          }
          first->wordEvents.PushBack(WordEvent{static_cast<DWORD>(ev.lParam), static_cast<DWORD>(ev.wParam)});
          const int fileNumber = numbered ? m_nFileCounter - 1 : 0;
          PostTo(notify, WM_SPEECH_FILE_SENTENCE, static_cast<WPARAM>(fileNumber), static_cast<LPARAM>(self));
          m_bFirstSentence = false;
        }
        break;
      default:
        break;
    }
    ClearEvent(&ev);
  }
  if (ended) OnSpeechEvents();  // events queued behind the end belong to speech again
}

}  // namespace VTTSFramework
