// The hidden control window of the speech framework.
//
// Client windows send their requests to this window with SendMessage, so every request runs on
// the control thread in arrival order. The window decides whether a client may act (priorities),
// keeps the requests that must wait, hands requests to the current voice thread, turns the voice
// threads' posted events into notifications for the clients, switches voices (re-speaking the
// unread rest when the client asks for it) and saves the speech settings when it closes.
//
// Threads: everything here belongs to the control thread. A voice's active list is shared with
// that voice's thread and is read and changed only under its lock. While PumpUntilVoiceReady
// waits inside a request, posted notifications (and requests sent by other threads) are handled
// re-entrantly on the same thread.
#pragma once

#include "SpeechProtocol.h"

#include <afxwin.h>

#include <deque>
#include <functional>
#include <optional>

namespace VTTSFramework {

class CTTS_Voice;

// The window class of the control window.
constexpr const wchar_t* kSpeechControlClass = L"SCclass";
constexpr const wchar_t* kSpeechControlName = L"SCwnd";

class CSpeechControl : public CWnd {
  DECLARE_DYNAMIC(CSpeechControl)

 public:
  // Registers the window class "SCclass" unless it already is; throws CResourceException* when
  // it cannot be registered.
  CSpeechControl();
  ~CSpeechControl() override;

  // Called instead of the warning beep when a request is refused for priority. Empty in the
  // reader; set before the first request, on the control thread.
  void SetBusyCallback(std::function<void()> callback) { m_busyCallback = std::move(callback); }

  // Read on the control thread (tests read them from there through a sent message).
  bool IsResumePending() const { return m_bResumePending; }
  size_t PendingCount() const { return m_pending.size(); }
  CTTS_Voice* CurrentVoice() const { return m_pCurrentVoice; }

 protected:
  // Requests of the protocol; each answers its result.
  afx_msg LRESULT OnSetVoiceManager(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSpeechClose(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnRegisterClient(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnUnregisterClient(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSpeak(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnStop(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnIsClientSpeaking(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnIsBusy(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnApplyVolume(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnApplyRate(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnPause(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnResume(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnIsPaused(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnShowEngineDialog(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSelectVoice(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnGetVoice(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSkip(WPARAM wParam, LPARAM lParam);
  // Notifications posted by the voice threads (wParam = the voice).
  afx_msg LRESULT OnSpeechStarted(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSpeechWord(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSpeechFinished(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnSpeechError(WPARAM wParam, LPARAM lParam);
  afx_msg LRESULT OnVoiceReady(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 private:
  // The priority rule: whether `client` may act on the speech of the current speaker.
  bool MayClientAct(SpeechClient* client);
  // Beeps, or calls the busy callback; answers SPEECH_REFUSED.
  LRESULT RefuseBusy();
  // Handles posted messages for this window until the voice has reported ready (or is no longer
  // the current voice).
  void PumpUntilVoiceReady(CTTS_Voice* voice);
  bool IsRegistered(const SpeechClient* client) const;
  // Posts to the client's listeners, only while the client is registered.
  void NotifyClient(SpeechClient* client, UINT message, WPARAM wParam, LPARAM lParam);
  // Frees the pending requests of a client that is gone and makes the voices forget it.
  void DetachClient(SpeechClient* client);
  // Hands the first pending request to the current voice, when there is one of each.
  void StartNextPending();
  // Writes what changed since the last save: "first", the voice, and the current voice's volume
  // and rate. `atOnce`: without waiting on a voice that cannot answer at once.
  void SaveSettings(bool atOnce);
  // Whether a notification of `voice` may be handled: the voice is still pooled. Call it holding
  // the pool lock (PoolGuard).
  bool IsLiveVoice(CTTS_Voice* voice);

  std::deque<SpeechClient*> m_clients;  // registration order; a client may be listed twice
  VoiceManager* m_pVoiceManager = nullptr;
  CTTS_Voice* m_pCurrentVoice = nullptr;  // lent by the voice manager; null for none
  int m_nCurrentVoiceIndex = -1;
  bool m_bSpeaking = false;             // between a request's WM_SPEECH_STARTED and WM_SPEECH_FINISHED
  bool m_bResumePending = false;        // a voice change must re-speak the unread rest
  std::deque<SpeakRequest*> m_pending;  // owned; waiting for the current voice
  // The volume and rate this window last gave the current voice (a set, a speak, a new voice);
  // empty when the voice kept its own. They stand in for a read-back that cannot wait.
  struct GivenControls {
    std::optional<int> volume, rate;
  } m_given;
  std::function<void()> m_busyCallback;
  // What the closes so far wrote: a later close (the exit after the end of the session saved the
  // settings) writes only what changed since, and nothing twice.
  struct SavedSettings {
    bool firstRunDone = false;
    std::optional<int> voice, volume, speed;
  } m_saved;
};

}  // namespace VTTSFramework
