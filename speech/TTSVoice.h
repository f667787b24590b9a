// A voice thread: one per voice in use, with its own message queue and a locked queue of command
// objects (TTSMessages.h). Other threads push commands (PostCommand) and wake the thread with
// WM_VOICE_WAKE; the thread handles the queued commands in order and calls the handler for each
// command's type. Commands that need an answer carry an event on which the caller blocks.
//
// This base class implements the queue, the dispatch, the blocking calls and the reports to the
// owner window; the engine work is done by the overriding handlers (CTTS_SAPI5).
//
// Threads and locks:
// - m_commands: written by the control thread and the cleanup thread, read by the voice thread,
//   always under its own lock.
// - m_active: the requests handed to the engine, shared by the voice thread and the control
//   thread, always under its own lock. The voice thread may hold it while its engine callback
//   runs (the lock is re-entrant on the same thread).
// - m_pOwner: guarded by m_voiceLock; the engine callbacks hold that lock while they post.
// - Lock order: the voice pool's lock may be held while a command-queue lock is taken, never the
//   reverse; m_active's lock may be held while m_commands' lock is taken, never the reverse. No
//   speech lock is held while a blocking caller waits.
// - Everything else belongs to the voice thread, except the pool fields (m_nRefCount,
//   m_nIdleCountdown, m_pManager), which the voice manager keeps under its pool lock.
#pragma once

#include "SpeechProtocol.h"
#include "TTSMessages.h"

#include <UniqueHandle.h>

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace VTTSFramework {

// The entry of an active list that the next stream notification is about: the first entry that
// is not a carrier (a placeholder, null, counts). A carrier is the request that AcquireVoice puts
// at the head of a voice's active list to learn who asked for the voice: it has a client but no
// text. It stands for no stream, so the stream notifications (started, word, finished) pass over
// it, and only WM_SPEECH_VOICE_READY takes it. end() when there is none. Call it holding the
// list's lock.
std::deque<SpeakRequest*>::iterator FirstStreamEntry(std::deque<SpeakRequest*>& active);

class CTTS_Voice : public CWinThread {
  DECLARE_DYNCREATE(CTTS_Voice)

 public:
  CTTS_Voice();
  ~CTTS_Voice() override;

  BOOL InitInstance() override;
  BOOL PreTranslateMessage(MSG* pMsg) override;
  int ExitInstance() override;

  // ---- Handlers, called on the voice thread by command type. Each frees its command (unless it
  // is blocking). A handler reached from the quit path gets no command (null).
  virtual void OnBaseCommand(CTTSMsg* msg);              // type 0
  virtual void OnInit(CTTSMsg_init* msg);                // type 1
  virtual void OnDestroy(CTTSMsg_destroy* msg);          // type 2
  virtual void OnSpeak(CTTSMsg_speak* msg);              // type 3
  virtual void OnSpeakToFile(CTTSMsg_speakToFile* msg);  // type 4
  virtual void OnStop(CTTSMsg_stop* msg);                // type 5
  virtual void OnSkip(CTTSMsg_skip* msg);                // type 6
  virtual void OnPauseResume(CTTSMsg_pr* msg);           // type 7
  virtual void OnIsUISupported(CTTSMsg_iuis* msg);       // type 8
  virtual void OnShowDialog(CTTSMsg_dialog* msg);        // type 9
  virtual void OnControl(CTTSMsg_ctrlSpeak* msg);        // type 10

  // Stores the code as the last error and posts WM_SPEECH_ERROR (this, code) to the owner. The
  // error is about the first active entry (see TakeErrorEntry).
  virtual void ReportError(int code);
  virtual bool HasNoError();
  virtual void Pause();
  virtual void Resume();
  virtual bool IsPaused();  // blocking
  // The text, when given, is copied.
  virtual void ShowDialog(HWND parent, int kind, const std::wstring* text);
  // Blocking; answers the engine's result code.
  virtual HRESULT IsUISupported(const wchar_t* typeOfUI, void* extraData, ULONG extraDataSize, BOOL* supported);

  // ---- Commands, built on the control thread or the cleanup thread (never on this thread).
  // Queues a command and wakes the thread; waits first, without limit, until the thread is ready.
  // Takes ownership of the command.
  void PostCommand(CTTSMsg* command);
  // The voice of the list entry: its token by `tokenId` when given, else by position.
  void Init(int tokenIndex, const std::wstring& tokenId = std::wstring());
  void Speak(SpeakRequest* request);  // takes ownership of the request
  void Stop();
  void Skip(int sentences);
  void Destroy();
  bool SetVolume(int volume);  // false, sending nothing, outside 0..100
  bool SetRate(int rate);      // false, sending nothing, outside -10..10
  int GetVolume();             // blocking; -1 when the voice could not answer
  int GetRate();               // blocking; -1 when the voice could not answer
  // Waits, without limit, until the thread has its message queue.
  void WaitUntilReady();
  // Blocking round trip: attaches an event, posts the command and waits until it was handled (or
  // dropped, when the thread is gone); answers the command for its results, so that a caller can
  // tell an answer from the preset result. Null when it cannot wait: on this voice's own thread,
  // which would wait for itself. With a time-out, a command that the thread has not taken by then
  // (it is busy inside a handler, such as an engine's modal dialog) is taken back unanswered, and
  // the answer is null; one that the thread has taken is being answered and is waited for.
  std::unique_ptr<CTTSMsg> RoundTrip(std::unique_ptr<CTTSMsg> command, DWORD timeoutMs = INFINITE);

  // Clears the client from every request of this voice that points at it: queued, being handed to
  // the engine, or active. Called on the control thread when a client is unregistered; it takes
  // only this voice's own locks, one after the other, and waits for nothing the voice thread
  // does, so that a voice inside its engine's modal dialog cannot hold it up.
  void DetachClient(const SpeechClient* client);

  // The entry that a WM_SPEECH_ERROR from this voice is about, taken off the active list; call it
  // once for each such message, on the thread that receives it. For a failed speak it is the
  // failed request itself, wherever it stood in the list; for other errors (initialisation) it
  // is the first active entry. *request receives the request (null for a placeholder), owned by
  // the caller now. False when there is no such entry.
  bool TakeErrorEntry(SpeakRequest** request);

  // The entries that the control window's notifications take off the active list.
  enum class ActiveEntry {
    kStream,   // FirstStreamEntry: the stream whose end was reported
    kCarrier,  // the first carrier: the request whose voice reported ready
  };
  // Takes that entry off the active list and hands the word events filed under it to the next
  // stream entry; call it on the thread that handles the notification. *request receives the
  // entry (null for a placeholder), owned by the caller now. False when there is no such entry.
  bool TakeActiveEntry(ActiveEntry which, SpeakRequest** request);

  // ---- Fields.
  bool m_bPaused = false;                   // voice thread
  LockedDeque<CTTSMsg*> m_commands;         // owns the queued commands
  VoiceManager* m_pManager = nullptr;       // set on acquisition
  std::atomic<bool> m_bReady{false};        // the thread has its message queue
  CEvent m_readyEvent;                      // auto-reset, set once the thread is ready
  std::atomic<bool> m_bInitialised{false};  // the control window saw WM_SPEECH_VOICE_READY
  CEvent m_initialisedEvent;                // auto-reset, set by the control window
  CCriticalSection m_voiceLock;             // guards m_pOwner and the engine callbacks
  CWnd* m_pOwner = nullptr;                 // the control window that gets this voice's reports
  int m_nTokenIndex = -1;                   // voice thread
  int m_nLastError = 0;                     // voice thread
  int m_nRefCount = 0;                      // voice manager, under its pool lock
  int m_nIdleCountdown = 5;                 // voice manager, under its pool lock
  LockedDeque<SpeakRequest*> m_active;      // owns its requests; null entries are placeholders

 protected:
  // Deletes the command unless a blocking caller waits for it.
  static void FreeCommand(CTTSMsg* msg);
  // Posts to the owner window, if there is one, under the voice lock.
  void PostToOwner(UINT message, WPARAM wParam, LPARAM lParam);
  // Gives the request of the speak command being handled the client that DetachClient left it:
  // between leaving the command queue and joining the active list a request is reachable only
  // through the in-hand slot. Call it holding m_active's lock, before the request's client is
  // read or the request joins the active list.
  void TakeInHandClient(SpeakRequest* request);
  // Reports a failed speak: the request leaves the active list (if it is there) and becomes the
  // subject of the error, so that the owner frees exactly that request and tells its client.
  void ReportSpeakError(SpeakRequest* request, int code);
  // The owner's window handle, or null; call it holding m_voiceLock.
  HWND OwnerHwnd() const;
  void SetQuitting() { m_bQuitting = true; }

 private:
  class MessageHook;
  friend class MessageHook;

  void DispatchCommand(CTTSMsg* msg);
  void HandleQueuedCommands();
  void QuitFromMessage();
  // Removes a command that could not be announced; true when it was still queued.
  bool Unqueue(CTTSMsg* command);

  // Subjects of the WM_SPEECH_ERROR messages posted and not yet taken, in posting order.
  // Guarded by m_active's lock; the requests in it are owned here until taken.
  struct ErrorSubject {
    bool firstActive;       // the error is about the first active entry
    SpeakRequest* request;  // otherwise this request, already off the active list
  };
  std::deque<ErrorSubject> m_errorSubjects;
  // The client of the speak command that the voice thread has taken off m_commands and not yet
  // put on m_active, while m_bSpeakInHand is set. Guarded by m_active's lock, which the voice
  // thread holds around taking a command off the queue: a thread holding the queue's lock and
  // then the active list's lock finds every request in one of the three places.
  bool m_bSpeakInHand = false;
  SpeechClient* m_pInHandClient = nullptr;

  bool m_bComInitialised = false;  // voice thread
  bool m_bQuitting = false;        // voice thread: a destroy or quit was handled
  int m_nHandlerDepth = 0;         // voice thread: handlers running (a modal loop may nest)
  bool m_bQuitSeen = false;        // voice thread: WM_VOICE_QUIT arrived inside a handler
  // win::HookTraits, with a trace when the unhook fails.
  struct TracedHookTraits : win::HookTraits {
    static void Close(HHOOK hook);
  };
  win::UniqueHandle<HHOOK, TracedHookTraits> m_messageHook;  // voice thread
};

}  // namespace VTTSFramework
