// The SAPI 5 voice: a voice thread whose handlers drive a SAPI voice object. It selects the
// voice token, speaks request streams asynchronously, turns the engine's events into
// notifications for the owner window, stops, skips, pauses and resumes, reads and sets volume and
// rate, shows the engine's own dialogs, and can speak a request into wave files.
//
// Every engine call is made on the voice thread; SAPI calls the notification callbacks on that
// thread too (they arrive through its message loop). The engine objects below belong to the
// voice thread; the active list and the owner are shared under the locks of CTTS_Voice.
#pragma once

#include "TTSVoice.h"

#include <sapi.h>
#include <wrl/client.h>

#include <memory>
#include <string>

namespace VTTSFramework {

// The identifier of the voice token category.
extern const wchar_t kVoiceCategoryId[];

class CTTS_SAPI5 : public CTTS_Voice {
  DECLARE_DYNCREATE(CTTS_SAPI5)

 public:
  CTTS_SAPI5();
  ~CTTS_SAPI5() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  void OnInit(CTTSMsg_init* msg) override;
  void OnDestroy(CTTSMsg_destroy* msg) override;
  void OnSpeak(CTTSMsg_speak* msg) override;
  void OnSpeakToFile(CTTSMsg_speakToFile* msg) override;
  void OnStop(CTTSMsg_stop* msg) override;
  void OnSkip(CTTSMsg_skip* msg) override;
  void OnPauseResume(CTTSMsg_pr* msg) override;
  void OnIsUISupported(CTTSMsg_iuis* msg) override;
  void OnShowDialog(CTTSMsg_dialog* msg) override;
  void OnControl(CTTSMsg_ctrlSpeak* msg) override;

  // A wave-file name: "%s%s" of prefix and name, where with SPEAKF_NUMBERED_FILE the name is a
  // format with exactly one integer conversion (%d, %i or %u with optional flags and width; "%%"
  // for a percent sign). False for any other format, which is never passed to a printf.
  static bool FormatWaveFileName(const WaveOutputArgs& output, bool numbered, int number, std::wstring* name);

 private:
  static void __stdcall SpeechCallback(WPARAM wParam, LPARAM lParam);
  static void __stdcall FileCallback(WPARAM wParam, LPARAM lParam);
  void OnSpeechEvents();
  void OnFileEvents();
  // Sets the speech callback and its interest; false when either call failed.
  bool ListenForSpeech();
  // Output back to the audio device and the speech callback back in place, after wave output.
  void RestoreSpeechOutput();
  void ReleaseFileStreams();
  HRESULT BindNextWaveFile(SpeakRequest* request);
  // SpeakStream of the request with the flags of its speak flags; brings volume and rate to the
  // client's first.
  HRESULT SpeakRequestStream(SpeakRequest* request, bool async);
  // The engine's output, volume and rate as last set here (see m_engine). SetAudioOutput always
  // calls the engine; EnsureAudioOutput only when the output may be another.
  void SetAudioOutput();
  void EnsureAudioOutput();
  void SetEngineVolume(int volume);
  void SetEngineRate(int rate);
  void ForgetEngineSettings();
  SpeakRequest* FirstActiveRequest();  // call it holding m_active.lock
  // Whether the engine still has a stream queued or speaking. An entry stays in the active list
  // until the control window handles its end, so the list does not tell.
  bool HasStreamToSpeak();
  // Resumes an engine that was told to pause; both paused marks are cleared when it resumed.
  void ResumeEngine();
  // The token of a voice list entry among m_pTokens: the one whose identifier is `tokenId`, or,
  // without an identifier, the one at `index`.
  HRESULT FindToken(int index, const std::wstring& tokenId, ISpObjectToken** token);

  Microsoft::WRL::ComPtr<ISpVoice> m_pVoice;              // null until initialised
  Microsoft::WRL::ComPtr<IEnumSpObjectTokens> m_pTokens;  // the voice category's tokens
  Microsoft::WRL::ComPtr<ISpStream> m_pOutputStream;      // wave output: wraps the file stream
  Microsoft::WRL::ComPtr<ISpStream> m_pFileStream;        // wave output: bound to the current file
  GUID m_formatId = GUID_NULL;
  win::UniqueCoTaskMem<WAVEFORMATEX> m_pWaveFormat;
  int m_nFileCounter = 0;
  bool m_bFirstSentence = false;
  bool m_bSpeaking = false;
  // The engine was told to pause and not yet to resume. SAPI keeps a voice paused past the end of
  // its streams, whose end clears m_bPaused; this mark stays until the engine is resumed.
  bool m_bEnginePaused = false;  // voice thread

  // What the voice object was last told, so that a speak tells it only what changed: every call
  // into the engine costs, and most requests repeat the output, volume and rate of the one
  // before. Only this thread talks to the engine, so nothing else can change these behind our
  // back. An unknown value (a new voice object, a failed call) is told again.
  static constexpr int kUnknown = -1000;
  struct EngineSettings {
    bool audioOutput = false;  // the output is the default audio device
    int volume = kUnknown;
    int rate = kUnknown;
  } m_engine;  // voice thread
};

}  // namespace VTTSFramework
