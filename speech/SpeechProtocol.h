// The protocol between the reader's windows and the speech framework: the window and thread
// messages, the records that travel with them by pointer, the speak flags, the result and error
// codes, and the blocking requests for the voice list.
//
// Every pointer in these records points into the sender's memory; the sender keeps the record
// alive until SendMessage returns, or until the receiver signals the request's event.
#pragma once

#include <afxwin.h>
#include <afxmt.h>
#include <objidl.h>
#include <wrl/client.h>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VTTSFramework {
class CSpeechControl;
class CTTS_Voice;
class COrvelTTSParams;  // a maker voice's parameters; defined with the voice manager
}  // namespace VTTSFramework
class VoiceManager;

// ---------------------------------------------------------------------------------------------
// Requests to the control window (SendMessage; handled on the control thread).
constexpr UINT WM_SPEECH_SET_VOICE_MANAGER = 0x510;  // wParam VoiceManager*
constexpr UINT WM_SPEECH_CLOSE = 0x511;              // wParam 1 = keep the window, lParam SPEECH_CLOSE_*
constexpr UINT WM_SPEECH_REGISTER_CLIENT = 0x512;    // wParam SpeechClient*
constexpr UINT WM_SPEECH_UNREGISTER_CLIENT = 0x513;  // wParam SpeechClient*
constexpr UINT WM_SPEECH_SPEAK = 0x514;              // wParam SpeakArgs*
constexpr UINT WM_SPEECH_STOP = 0x515;               // wParam SpeechClient*
constexpr UINT WM_SPEECH_PAUSE = 0x516;              // wParam SpeechClient*
constexpr UINT WM_SPEECH_RESUME = 0x517;             // wParam SpeechClient*
constexpr UINT WM_SPEECH_APPLY_VOLUME = 0x518;       // wParam SpeechClient*
constexpr UINT WM_SPEECH_APPLY_RATE = 0x519;         // wParam SpeechClient*
constexpr UINT WM_SPEECH_SKIP = 0x51A;               // wParam SpeechClient*, lParam sentences
constexpr UINT WM_SPEECH_IS_BUSY = 0x520;
constexpr UINT WM_SPEECH_IS_PAUSED = 0x521;     // wParam SpeechClient* (not read)
constexpr UINT WM_SPEECH_SELECT_VOICE = 0x530;  // wParam SpeechClient* (its voice index)
constexpr UINT WM_SPEECH_GET_VOICE = 0x531;
constexpr UINT WM_SPEECH_IS_CLIENT_SPEAKING = 0x532;  // wParam SpeechClient*
constexpr UINT WM_SPEECH_SHOW_ENGINE_DIALOG = 0x533;  // wParam parent HWND, lParam EngineDialogArgs*

// Notifications (PostMessage). From a voice to the control window wParam is the voice
// (VTTSFramework::CTTS_Voice*); the control window passes the client-side form to the listeners.
constexpr UINT WM_SPEECH_STARTED = 0x550;        // listeners: (0, 0)
constexpr UINT WM_SPEECH_WORD = 0x551;           // listeners: (offset read + position, length)
constexpr UINT WM_SPEECH_FILE_SENTENCE = 0x552;  // wave output window: (file number, voice)
constexpr UINT WM_SPEECH_FINISHED = 0x553;       // listeners: (0, 0)
constexpr UINT WM_SPEECH_ERROR = 0x554;          // voice: (voice, code); listeners: (code, voice index)
constexpr UINT WM_SPEECH_VOICE_READY = 0x555;    // listeners: (0, 0)
constexpr UINT WM_SPEECH_PAUSE_CHANGED = 0x556;  // wave output window: (1 paused / 0 resumed, voice)

// Thread messages of the control thread and of the voice threads (PostThreadMessage).
constexpr UINT WM_SPEECHTHREAD_GET_VOICE_LIST = 0x8100;  // wParam VoiceListRequest*
constexpr UINT WM_SPEECHTHREAD_SHUTDOWN = 0x8101;        // wParam SPEECH_CLOSE_*, for its close
constexpr UINT WM_SPEECHTHREAD_GET_VOICE_INFO = 0x8102;  // wParam VoiceInfoRequest*
constexpr UINT WM_VOICE_WAKE = 0x5B7;                    // one command waits in the voice's queue
constexpr UINT WM_VOICE_QUIT = 0x603;                    // the voice releases its engine and ends

// What a close saves: lParam of WM_SPEECH_CLOSE, and wParam of WM_SPEECHTHREAD_SHUTDOWN, whose
// close it becomes.
constexpr LPARAM SPEECH_CLOSE_SAVE = 0;  // the settings, the volume and rate read back from the voice
// The same without waiting on a voice that cannot answer at once (inside its engine's modal
// dialog): the end of the session, which the system gives only a few seconds.
constexpr LPARAM SPEECH_CLOSE_SAVE_AT_ONCE = 1;
constexpr LPARAM SPEECH_CLOSE_SAVE_NOTHING = 2;  // a start that failed: the user chose nothing

// Results of the control window's requests.
constexpr LRESULT SPEECH_DONE = 0;
constexpr LRESULT SPEECH_REFUSED = 1;  // refused by priority
constexpr LRESULT SPEECH_FAILED = -1;

// Error codes of WM_SPEECH_ERROR; engine results 0x80045042 and 0x80045043 pass unchanged.
constexpr int TTSERR_NO_VOICE = -1;         // initialisation without a voice index
constexpr int TTSERR_VOICE_NOT_FOUND = -2;  // the engine has no token at that index
constexpr int TTSERR_SPEAK_FAILED = -3;     // speaking failed

// Speak flags.
constexpr DWORD SPEAKF_ASYNC = 1;              // the control window adds it to every request
constexpr DWORD SPEAKF_PURGE = 2;              // interrupt what the voice is saying
constexpr DWORD SPEAKF_ADOPT_TEXT = 4;         // the request takes the caller's new[] text array
constexpr DWORD SPEAKF_XML = 8;                // the text is SAPI XML
constexpr DWORD SPEAKF_NUMBERED_FILE = 0x100;  // wave output: the file name formats a running number

// ---------------------------------------------------------------------------------------------
// A double-ended queue paired with the critical section that guards it. Every access to `items`
// is made while holding `lock`, explicitly (CSingleLock) or through the helpers below.
template <typename T>
struct LockedDeque {
  std::deque<T> items;
  CCriticalSection lock;

  void PushBack(T value) {
    CSingleLock guard(&lock, TRUE);
    items.push_back(std::move(value));
  }
  // Takes the first element; false when the queue is empty.
  bool PopFront(T& out) {
    CSingleLock guard(&lock, TRUE);
    if (items.empty()) return false;
    out = std::move(items.front());
    items.pop_front();
    return true;
  }
  // Runs f(items) under the lock and answers its result.
  template <typename F>
  auto WithLock(F&& f) {
    CSingleLock guard(&lock, TRUE);
    return f(items);
  }
};

// ---------------------------------------------------------------------------------------------
struct SpeechListener {
  LONG refCount = 0;
  HWND hWnd = nullptr;
};

// One per client window that speaks; owned and embedded by that window, read by the control
// window. Only the client's thread changes the numeric fields; the listener list has its lock.
struct SpeechClient {
  // The VTTSFramework::CSpeechControl window that accepted the client (written by
  // WM_SPEECH_REGISTER_CLIENT); the client sends its later requests to this window's handle.
  CWnd* controlWindow = nullptr;
  int priority = 0;     // a client may act on speech of clients with a priority <= its own
  int volume = 100;     // 0..100
  int rate = 0;         // -10..10
  int voiceIndex = -1;  // index into the voice list, -1 for none
  DWORD reserved = 0;
  DWORD resumeAfterVoiceChange = 0;  // 1: a voice change re-speaks the unread rest
  LockedDeque<SpeechListener> listeners;

  // Adds hWnd to the listeners, or raises its count when it is already listed.
  void AddListener(HWND hWnd);
  // Posts the message once to every listed window that still exists. The list has no removal:
  // it lives as long as the client, and windows that are gone are skipped.
  void NotifyListeners(UINT message, WPARAM wParam, LPARAM lParam);
  // The control window's handle, or NULL before registration.
  HWND ControlHwnd() const { return controlWindow ? controlWindow->GetSafeHwnd() : nullptr; }
};

// wParam of WM_SPEECH_SPEAK, on the sender's stack.
struct SpeakArgs {
  SpeechClient* client = nullptr;
  const wchar_t* text = nullptr;  // NUL-terminated; with SPEAKF_ADOPT_TEXT an array from new[]
  DWORD flags = 0;
};

// Output record of a request that is spoken to wave files instead of the audio device.
struct WaveOutputArgs {
  std::wstring pathPrefix;
  std::wstring fileName;  // with SPEAKF_NUMBERED_FILE a format taking one integer
  std::vector<std::wstring> names;
  DWORD result = 0;  // number of files written
  HWND notifyWindow = nullptr;
};

struct WordEvent {
  DWORD position = 0;  // in UTF-16 units of the text as stored
  DWORD length = 0;
};

// One request to speak, owned by whoever holds it (the control window's pending queue, a speak
// command, or a voice's active list). A stop leaves null entries in an active list, not requests.
class SpeakRequest {
 public:
  explicit SpeakRequest(SpeechClient* pClient = nullptr, DWORD dwFlags = 0) : client(pClient), flags(dwFlags) {}
  ~SpeakRequest() = default;
  SpeakRequest(const SpeakRequest&) = delete;
  SpeakRequest& operator=(const SpeakRequest&) = delete;

  // Stores the text: a copy with one blank (U+0020) appended, or, with SPEAKF_ADOPT_TEXT in
  // flags, the caller's new[] array itself (no blank). A null source counts as empty text (and
  // is not adopted).
  void PrepareText(const wchar_t* source);
  // Keeps only the last n units of the text; nothing happens when the text is shorter than n.
  void KeepTail(DWORD n);
  // Builds the engine's stream: movable global memory of length * 2 + 4 bytes holding U+FEFF, the
  // text and a terminating NUL, freed when the stream is released. Any earlier stream is released
  // first. False, with no stream, when the memory or the stream cannot be made.
  bool BuildStream();

  const wchar_t* Text() const { return text ? text.get() : L""; }

  SpeechClient* client = nullptr;
  std::unique_ptr<wchar_t[]> text;
  Microsoft::WRL::ComPtr<IStream> stream;
  DWORD length = 0;                        // UTF-16 units of the text as stored
  std::unique_ptr<WaveOutputArgs> output;  // null for speech to the audio device
  DWORD flags = 0;
  LockedDeque<WordEvent> wordEvents;  // filled by the voice thread, taken by the control window
  DWORD lastWordPosition = 0;
  DWORD lastWordLength = 0;
  DWORD offsetRead = 0;  // units of the client's full text before this text
};

// ---------------------------------------------------------------------------------------------
// One installed voice as the voice list holds it; copied by value to clients.
constexpr int VOICE_ENGINE_SAPI5 = 2;
constexpr int VOICE_RESERVED_ENUMERATED = 31;
constexpr DWORD VOICE_DIALOG_ADD_REMOVE_WORD = 2;    // "AddRemoveWord"
constexpr DWORD VOICE_DIALOG_ENGINE_PROPERTIES = 4;  // "EngineProperties"
constexpr DWORD VOICE_DIALOG_EDIT_SIMPLE_LEX = 8;    // "Orvel Edit Simple Lex"

struct VoiceInfo {
  int index = -1;      // position in the engine's token enumeration
  bool valid = false;  // every attribute of the token was read
  int reserved = 0;    // VOICE_RESERVED_ENUMERATED for every enumerated voice
  int engineKind = VOICE_ENGINE_SAPI5;
  std::wstring tokenId;      // the token's identifier, as the category answers it
  std::wstring description;  // the token's default value
  std::wstring name;         // shown to the user
  std::wstring plainName;    // the "Name" attribute, type 4 only
  std::wstring vendor;
  LANGID language = 0;
  int languageRow = -1;   // row of the language table, -1 when absent
  DWORD dialogs = 0;      // VOICE_DIALOG_ bits
  int type = 1;           // 1: no maker parameters; 2, 3, 4: maker voice editions
  int samplingRate = -1;  // kHz of a maker voice, -1 otherwise
  std::shared_ptr<VTTSFramework::COrvelTTSParams> params;
};

// wParam of WM_SPEECHTHREAD_GET_VOICE_LIST; all pointers into the caller's stack.
struct VoiceListRequest {
  CEvent* done = nullptr;
  std::deque<VoiceInfo>* list = nullptr;
  int* count = nullptr;
};

// wParam of WM_SPEECHTHREAD_GET_VOICE_INFO.
struct VoiceInfoRequest {
  CEvent* done = nullptr;
  int index = -1;
  VoiceInfo* out = nullptr;
  bool* found = nullptr;
};

// lParam of WM_SPEECH_SHOW_ENGINE_DIALOG.
struct EngineDialogArgs {
  int kind = 0;                        // a VOICE_DIALOG_ bit
  const std::wstring* text = nullptr;  // or null
};

// Answers of the control thread: copy the list (or one entry when 0 <= index < count; else the
// caller's entry stays unchanged and found is false), then signal the request's event.
void AnswerVoiceListRequest(const VoiceListRequest& request, const std::deque<VoiceInfo>& voices);
void AnswerVoiceInfoRequest(const VoiceInfoRequest& request, const std::deque<VoiceInfo>& voices);

// The blocking requests of a UI thread to the control thread (the shape of
// CThSpeechControl::GetVoiceList / GetVoiceInfo): build an auto-reset event and the request on
// the stack, post the thread message to controlThreadId and wait for the answer. They answer
// 0 / false at once, without waiting, when called on the control thread itself or when the
// message cannot be posted, since no answer could ever come.
int RequestVoiceList(DWORD controlThreadId, std::deque<VoiceInfo>& out);
bool RequestVoiceInfo(DWORD controlThreadId, int index, VoiceInfo& out);

// Pauses or resumes the client's speech: asks WM_SPEECH_IS_PAUSED; -1 is returned as -1; 0 sends
// WM_SPEECH_PAUSE and answers 1; any other answer sends WM_SPEECH_RESUME and answers 0.
// Answers -1 for a client without control window.
int TogglePause(SpeechClient* client);
