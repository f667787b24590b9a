// The fake SAPI 5 server used by tests: how a test switches it on, declares voices, steers its
// clock and reads back what it was asked to do.
//
// fakesapi.dll is an in-process COM server for CLSID_SpVoice, CLSID_SpObjectTokenCategory and
// CLSID_SpStream. EnsureRegistered() puts it in the test prefix in place of the system's SAPI
// for 32-bit programs, keeping the original server path beside it. The registration is shared by
// every program of the prefix, and test programs run in parallel, so everything else is chosen
// per process, through environment variables that the DLL reads at the moment it needs them:
//
//   ORV_FAKESAPI=1              this process gets the fake; without it every class request is
//                               passed on to the original server (the system's own SAPI), so the
//                               registration changes nothing for other programs.
//   ORV_FAKESAPI_VOICES=<path>  registry path ("HKEY_CURRENT_USER\...") used in place of the voice
//                               category HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Speech\Voices; token
//                               ids are full paths below it ("<path>\Tokens\<name>"). Unset: the
//                               real category key.
//   ORV_FAKESAPI_MS_PER_WORD=n  the scripted clock: milliseconds between the word steps of a stream
//                               (default 0).
//   ORV_FAKESAPI_HOLD=1         a stream, once its words are out, does not end until released
//                               (Session::ReleaseHeld) or purged.
//   ORV_FAKESAPI_HOLD_AT_WORD=n a stream stops after its n-th word until released or purged, so
//                               that a test can act at a known word whatever the machine's speed.
//   ORV_FAKESAPI_LOG=<file>     every call of interest is appended to this UTF-8 file, one line each.
//   ORV_FAKESAPI_SHOW_DIALOGS=1 the engine dialog of DisplayUI is shown (default: it exists and runs
//                               its modal loop hidden).
//   ORV_FAKESAPI_FAIL=<list>    "Method=0x80045042;Other=0x80004005*1": the named methods answer that
//                               result instead of working ("*n": only the next n calls). Object
//                               creation fails through "CreateSpVoice", "CreateSpStream" and
//                               "CreateSpObjectTokenCategory".
//
// Named events (per process; <pid> in decimal):
//   "OrvelFakeSapi.Call.<pid>"     auto-reset, set after each line is appended to the call log (and
//                                  after each speak call even without a log).
//   "OrvelFakeSapi.Release.<pid>"  auto-reset; each set lets one held stream go on.
//   "OrvelFakeSapi.Speak.<pid>"    auto-reset, set first thing in every Speak and SpeakStream call.
//
// Engine behaviour, as documented for SAPI:
// - Each accepted Speak/SpeakStream is one stream with its own number; every stream produces
//   exactly one SPEI_START_INPUT_STREAM and one SPEI_END_INPUT_STREAM, also when purged.
// - Between them: SPEI_SENTENCE_BOUNDARY before the first word of each sentence and
//   SPEI_WORD_BOUNDARY for each word (lParam = position, wParam = length, in UTF-16 units of the
//   text after the byte-order mark). GetStatus reports the last word and sentence reached.
// - The clock never runs ahead of the notification: after an event that the client asked to be
//   told about, the next step waits until the notify callback has returned (as real speech is
//   slow next to a callback). A synchronous Speak on the notifying thread lifts that wait.
// - Streams without words to speak (empty or purged) complete even while paused.
// - The notify callback runs on the thread that set it, from a message to a hidden window.
// - Audio written to an output stream is silence, some bytes per word.
//
// Call log lines: the call name, then tab-separated key=value fields; text fields escape
// backslash, tab, CR and LF as \\ \t \r \n. Lines written:
//   Created object=<class> id=<n>          Destroyed object=<class> id=<n>
//   ExtraRelease object=<class> id=<n>     (a Release after the object was destroyed)
//   SetVoice voice=<token id>              SetOutput output=default|stream
//   SetNotifyCallbackFunction set=0|1      SetNotifySink set=0|1
//   SetInterest interest=0x.. queued=0x..
//   Speak / SpeakStream  stream=<n> flags=0x.. volume=<v> rate=<r> voice=<token id> text=<text>
//   SetVolume value=<v>  SetRate value=<r>  GetVolume  GetRate
//   StreamStarted stream=<n>               StreamEnded stream=<n> purged=0|1
//   Pause  Resume  Skip type=<t> count=<n>
//   IsUISupported type=<t>  DisplayUI type=<t> parent=0x.. dialog=0x.. size=<n> data=<text>
//   DialogClosed type=<t>
//   BindToFile file=<path>  SetBaseStream  CloseStream file=<path>
//   Failed call=<method> hr=0x..           (a result injected through ORV_FAKESAPI_FAIL)
#pragma once

#include <UniqueHandle.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace fakesapi {

// The named events of another process that uses the fake, such as a program a test starts:
// made by the test while that process is still suspended, so that its fake finds them.
struct ProcessEvents {
  explicit ProcessEvents(DWORD pid);
  bool ok() const { return call && release && speak; }
  win::UniqueKernelHandle call;     // set after each call-log line of that process
  win::UniqueKernelHandle release;  // set to let one of its held streams end
  win::UniqueKernelHandle speak;    // set first thing in each of its speak calls
};

// Environment variable names (see above).
inline constexpr wchar_t kEnvEnable[] = L"ORV_FAKESAPI";
inline constexpr wchar_t kEnvVoices[] = L"ORV_FAKESAPI_VOICES";
inline constexpr wchar_t kEnvMsPerWord[] = L"ORV_FAKESAPI_MS_PER_WORD";
inline constexpr wchar_t kEnvHold[] = L"ORV_FAKESAPI_HOLD";
inline constexpr wchar_t kEnvHoldAtWord[] = L"ORV_FAKESAPI_HOLD_AT_WORD";
inline constexpr wchar_t kEnvLog[] = L"ORV_FAKESAPI_LOG";
inline constexpr wchar_t kEnvFail[] = L"ORV_FAKESAPI_FAIL";
inline constexpr wchar_t kEnvShowDialogs[] = L"ORV_FAKESAPI_SHOW_DIALOGS";

// The voice category that the fake may redirect.
inline constexpr wchar_t kVoiceCategory[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";

// Name of the value beside a replaced class's InprocServer32 default that keeps the original.
inline constexpr wchar_t kOriginalServerValue[] = L"FakeSapiOriginal";
// The original ThreadingModel beside it ("" when there was none).
inline constexpr wchar_t kOriginalThreadingValue[] = L"FakeSapiOriginalThreading";

// Window class of the engine dialog that DisplayUI shows (its title is the type of UI).
inline constexpr wchar_t kDialogClass[] = L"FakeSapiEngineDialog";

std::wstring CallEventName(DWORD pid);
std::wstring ReleaseEventName(DWORD pid);
std::wstring SpeakEventName(DWORD pid);

// ---- Registration ------------------------------------------------------------------------------

// fakesapi.dll beside the running program.
std::wstring DllBesideProgram();
// The build's own fakesapi.dll when it can be found (under Wine, through its path mapping), else
// the one beside the program.
std::wstring DefaultDll();

// Registers fakesapi.dll (default: DefaultDll()) for the fake classes, unless it already is;
// keeps each class's original server path. Answers S_OK or the registry error as an HRESULT.
HRESULT EnsureRegistered(const std::wstring& dllPath = std::wstring());

// Puts each class's original server and threading model back, so that the prefix is left as
// the registration found it. Other programs of the prefix may be using the fake: call it only
// where nothing else runs (ctest runs fakesapi_restore after every test that needs the fake).
HRESULT RestoreOriginalRegistration();

// ---- Voices ------------------------------------------------------------------------------------

struct VoiceSpec {
  std::wstring key;              // token key name, the last component of the token id
  std::wstring description;      // the token's default value; empty: none is written
  std::wstring name;             // Attributes\Name
  std::wstring vendor;           // Attributes\Vendor
  std::wstring language;         // Attributes\Language, e.g. L"409" or L"415;409"; empty: not written
  std::vector<std::wstring> ui;  // types of UI the voice supports ("AddRemoveWord", ...)
  bool attributes = true;        // false: no Attributes key at all
};

// Declares a voice token in a voice category under HKEY_CURRENT_USER (`categoryUnderHkcu`, the
// path below the root); answers its token id, or an empty text when the key cannot be made.
std::wstring AddVoiceToken(const std::wstring& categoryUnderHkcu, const VoiceSpec& spec);

// ---- Call log ----------------------------------------------------------------------------------

struct Call {
  std::wstring name;
  std::map<std::wstring, std::wstring> fields;
  std::wstring Field(const std::wstring& key) const;
  long long Number(const std::wstring& key, long long fallback = -1) const;  // decimal or 0x.. hex
};

std::vector<Call> ParseLog(const std::string& utf8);
std::vector<Call> ReadLog(const std::wstring& path);    // the lines written so far
std::wstring Describe(const std::vector<Call>& calls);  // for failure messages

// One test's use of the fake, for this process: switches the fake on, gives it a fresh call log
// and a private voice category under HKCU, and undoes all of it (environment, keys, files) when
// it ends. One Session at a time per process.
class Session {
 public:
  Session();
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Declares a voice token in this session's category; answers its token id.
  std::wstring AddVoice(const VoiceSpec& spec);
  // Takes the token of that key out of the category, as uninstalling its voice does; false when
  // it cannot be removed.
  bool RemoveVoice(const std::wstring& key);

  void SetMsPerWord(unsigned ms);
  void SetHold(bool hold);
  // Streams stop after their n-th word (0: none) until released or purged.
  void SetHoldAtWord(unsigned n);
  void ReleaseHeld();  // lets one held stream go on (or the next one that stops)
  // Makes `method` answer `hr`; count 0: every call until cleared.
  void SetFailure(const std::wstring& method, HRESULT hr, unsigned count = 0);
  void ClearFailures();

  std::vector<Call> Calls() const;
  std::vector<Call> Calls(const std::wstring& name) const;
  // Waits until the log holds a call that `match` accepts; fills *found. False on time-out.
  // `wake` is the call event to wait on between looks: this process's by default, another
  // process's (ProcessEvents::call) when that process makes the calls.
  bool WaitForCall(const std::function<bool(const Call&)>& match, DWORD timeoutMs, Call* found = nullptr,
                   HANDLE wake = nullptr) const;
  bool WaitForCall(const std::wstring& name, DWORD timeoutMs, Call* found = nullptr) const;
  // Waits until `count` calls of that name are in the log.
  bool WaitForCalls(const std::wstring& name, size_t count, DWORD timeoutMs) const;

  HANDLE CallEvent() const { return m_callEvent.get(); }
  HANDLE SpeakEvent() const { return m_speakEvent.get(); }

 private:
  std::wstring m_category;     // "HKEY_CURRENT_USER\Software\OrvelTest\FakeSapi\<unique>"
  std::wstring m_categorySub;  // the same below HKCU
  std::wstring m_logPath;
  win::UniqueKernelHandle m_callEvent;
  win::UniqueKernelHandle m_releaseEvent;
  win::UniqueKernelHandle m_speakEvent;
};

}  // namespace fakesapi
