// The installed SAPI 5 voices and the pool of voice threads.
//
// The voice manager reads the voice tokens once at start-up into a sorted voice list (whose
// positions are the voice indexes of the whole speech protocol), lends one voice thread per voice
// in use to the control window, takes it back, and lets a background thread, "VoiceCleanupThread",
// end the voice threads that have stayed released for a number of its wake-ups.
#pragma once

#include "OrvelTTSParams.h"
#include "SpeechProtocol.h"

#include <UniqueHandle.h>
#include <afxmt.h>
#include <afxwin.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace VTTSFramework {
class CTTS_Voice;
}

// ---- Voice list ----------------------------------------------------------------------------

// The maker's voice products are recognised by the last component of their token identifier.
constexpr const wchar_t* kMakerProductWord = L"Orvel Vokant";
constexpr const wchar_t* kMakerProductWord2 = L"Orvel 2 Vokant";  // second generation
constexpr const wchar_t* kMakerProductKey = L"Software\\Orvel\\Orvel Vokant\\";
constexpr const wchar_t* kMakerProductKey2 = L"Software\\Orvel\\Orvel 2 Vokant\\";
// Edition data of a maker voice: REG_DWORD "Edition" (2, 3 or 4) beside "Version" in the voice
// product's key. The installer of the voice product writes it; a missing or unknown value means
// the basic edition, 2. Edition 4 shows its sampling rate in the voice's name.
constexpr const wchar_t* kMakerEditionValue = L"Edition";
constexpr int kMakerEditionBasic = 2;
constexpr int kMakerEditionRated = 4;
constexpr DWORD kMakerVersionMaxChars = 16;
// Token language when the "Language" attribute is missing: US English.
constexpr LANGID kDefaultVoiceLanguage = 1033;

// The maker parameters of a token identifier, or null when the token is not a maker voice.
// *samplingRate receives the kHz that the short name ends with, or -1 when it has none.
// Reads the product key's "Version" under HKEY_LOCAL_MACHINE.
std::shared_ptr<VTTSFramework::COrvelTTSParams> BuildMakerParams(const wchar_t* tokenId, int* samplingRate);

// The edition (voice type 2, 3 or 4) of a maker voice, from its product key.
int ReadMakerEdition(const VTTSFramework::COrvelTTSParams& params);

// Whether voice a comes before voice b in the voice list: maker voices first, then the maker's
// vendors, then the higher edition among maker voices, then the shown names by UTF-16 code
// units. A strict weak ordering (no voice comes before itself).
bool CompareVoices(const VoiceInfo& a, const VoiceInfo& b);

// Whether the vendor begins with one of the maker's vendor names, ignoring case or not.
bool IsMakerVendor(const std::wstring& vendor, bool ignoreCase);

// Reads every token of the SAPI 5 voice category into `voices` (in enumeration order, not yet
// sorted). Answers the count, or -1 when the category cannot be read or a token fails part way:
// the entries read so far are kept, the others stay empty. Needs COM on the calling thread.
int EnumerateVoices(std::deque<VoiceInfo>& voices);

// Writes a failure of the speech framework to the debugger output, with its error code.
void LogSpeechFailure(const wchar_t* what, DWORD error);

// ---- Voice pool ----------------------------------------------------------------------------

struct VoicePoolEntry {
  VTTSFramework::CTTS_Voice* voice = nullptr;  // runs until reaped or shut down
  int index = -1;                              // voice list index
  // A duplicate of the voice thread's handle, taken while the thread was still suspended, so that
  // Shutdown can wait for a thread whose object deletes itself when it ends.
  win::UniqueKernelHandle thread;
};

class VoiceManager {
 public:
  static constexpr DWORD kDefaultCleanupIntervalMs = 1000;
  // Wake-ups of the cleanup thread that a released voice survives.
  static constexpr int kIdlePasses = 5;

  VoiceManager();
  // Stops the cleanup thread and waits for it. Call Shutdown first to end the voice threads.
  ~VoiceManager();
  VoiceManager(const VoiceManager&) = delete;
  VoiceManager& operator=(const VoiceManager&) = delete;

  // The cleanup thread's wake-up interval; tests shorten it. Takes effect at Start.
  void SetCleanupInterval(DWORD milliseconds) { m_cleanupIntervalMs = milliseconds; }

  // Enumerates and sorts the voices, then starts the cleanup thread. Called once, on the control
  // thread (COM initialised). FALSE when the cleanup thread could not be started.
  BOOL Start();

  // Lends the voice thread of list entry `index`, starting one when none is pooled. The carrier
  // goes to the end of the voice's active requests and an initialisation is queued, whose
  // WM_SPEECH_VOICE_READY to `owner` removes it. Null for an index outside the list or a voice
  // that is not a SAPI 5 voice; the carrier then stays with the caller.
  VTTSFramework::CTTS_Voice* AcquireVoice(int index, CWnd* owner, SpeakRequest* carrier);

  // Takes a lent voice back: it is told to stop, and after its last release it counts down
  // kIdlePasses wake-ups of the cleanup thread before it is ended. Unknown voices are ignored.
  void ReleaseVoice(VTTSFramework::CTTS_Voice* voice);

  // Tells every pooled voice thread to quit, waits for each to end and empties the pool.
  void Shutdown();

  // The first voice of the list (in list order) whose language equals `language` and whose
  // vendor begins, with case, with a maker vendor name; -1 when there is none.
  int FindMakerVoiceForLanguage(LANGID language) const;

  // The sorted voice list. Written only by Start, before the control window exists.
  const std::deque<VoiceInfo>& Voices() const { return m_voices; }
  int VoiceCount() const { return static_cast<int>(m_voices.size()); }

  // One wake-up of the cleanup thread: counts idle voices down and ends those whose count ran
  // out. Public so that a test can step the pool without waiting.
  void RunCleanupPass();

  // Calls f for every pooled voice while holding the pool lock, so that no voice is reaped
  // meanwhile. f may take a voice's own locks but must not wait for a voice thread: one inside
  // its engine's modal dialog answers nothing until the dialog closes.
  void ForEachPooledVoice(const std::function<void(VTTSFramework::CTTS_Voice*)>& f);

  // Whether the voice is in the pool. A voice thread that was reaped may have left notifications
  // behind in the control window's queue; its object is gone by the time they are handled. Hold
  // PoolLock() over the check and the use, so that the voice cannot be reaped in between.
  bool IsPooled(const VTTSFramework::CTTS_Voice* voice);
  CCriticalSection& PoolLock() { return m_pool.lock; }

  // State of the pooled voice of list entry `index`, for tests and diagnostics: false when no
  // voice of that index is pooled.
  struct PoolState {
    VTTSFramework::CTTS_Voice* voice = nullptr;
    DWORD threadId = 0;
    int refCount = 0;
    int idleCountdown = 0;
  };
  bool GetPoolState(int index, PoolState* state);
  int PoolSize();

 private:
  static UINT AFX_CDECL CleanupThreadProc(LPVOID param);
  // Queues the destroy command for a pooled voice; caller holds the pool lock.
  static void Reap(VTTSFramework::CTTS_Voice* voice);

  // Written by Start on the control thread before anyone reads it; read-only afterwards.
  std::deque<VoiceInfo> m_voices;
  // Touched by the control thread and the cleanup thread, always under its lock. The lock may be
  // held while a voice's command-queue or active-list lock is taken, never the other way round.
  LockedDeque<VoicePoolEntry> m_pool;
  CEvent m_stopEvent;  // auto-reset; set by the destructor to end the cleanup thread
  // The cleanup thread's object; not auto-deleting, so that the destructor can wait for it.
  CWinThread* m_pCleanupThread = nullptr;
  DWORD m_cleanupIntervalMs = kDefaultCleanupIntervalMs;
};
