#include "VoiceManager.h"

#include "LanguageTable.h"
#include "Registry.h"
#include "ThreadName.h"
#include "TTSSapi5.h"
#include "TTSVoice.h"

#include <sapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cwchar>
#include <utility>

using Microsoft::WRL::ComPtr;
using VTTSFramework::COrvelTTSParams;
using VTTSFramework::CTTS_Voice;

namespace {

// The two vendor names of the maker's voices.
constexpr const wchar_t* kMakerVendors[] = {L"ORV Software", L"Orvel Software"};

// The engine dialogs that the voice list records, with their bits.
const struct {
  const wchar_t* typeOfUI;
  DWORD bit;
} kVoiceDialogs[] = {
    {L"AddRemoveWord", VOICE_DIALOG_ADD_REMOVE_WORD},
    {L"EngineProperties", VOICE_DIALOG_ENGINE_PROPERTIES},
    {L"Orvel Edit Simple Lex", VOICE_DIALOG_EDIT_SIMPLE_LEX},
};

bool StartsWith(const std::wstring& text, const wchar_t* prefix, bool ignoreCase) {
  const size_t n = std::wcslen(prefix);
  if (text.size() < n) return false;
  if (!ignoreCase) return text.compare(0, n, prefix) == 0;
  return ::CompareStringOrdinal(text.c_str(), static_cast<int>(n), prefix, static_cast<int>(n), TRUE) == CSTR_EQUAL;
}

}  // namespace

void LogSpeechFailure(const wchar_t* what, DWORD error) {
  wchar_t line[256];
  std::swprintf(line, sizeof(line) / sizeof(line[0]), L"%ls (error 0x%08lx)\n", what,
                static_cast<unsigned long>(error));
  ::OutputDebugStringW(line);
}

namespace {

bool IsAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// A string value of a SAPI data key (name null: the default value).
bool ReadKeyString(ISpDataKey* key, const wchar_t* name, std::wstring& out) {
  wchar_t* raw = nullptr;
  const HRESULT hr = key->GetStringValue(name, &raw);
  win::UniqueCoTaskMem<wchar_t> owned(raw);
  if (FAILED(hr) || !raw) return false;
  out = raw;
  return true;
}

// A maker voice's product key, read-only.
win::RegistryKey OpenMakerKey(const std::wstring& path) {
  return win::RegistryKey(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ);
}

// "Language" attribute: the text before the first ";" as a hexadecimal LANGID.
LANGID ParseLanguageAttribute(const std::wstring& text) {
  const std::wstring first = text.substr(0, text.find(L';'));
  return static_cast<LANGID>(std::wcstoul(first.c_str(), nullptr, 16));
}

std::wstring FormatRatedName(const std::wstring& name, int samplingRate) {
  wchar_t buffer[64];
  std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), L" (Ateliv %d kHz)", samplingRate);
  return name + buffer;
}

// Reads token i into entry; false when its default value or its attributes cannot be read.
bool ReadVoiceToken(ISpObjectToken* token, int i, VoiceInfo& entry) {
  if (!ReadKeyString(token, nullptr, entry.description)) return false;
  entry.index = i;
  ComPtr<ISpDataKey> attributes;
  if (FAILED(token->OpenKey(L"Attributes", &attributes)) || !attributes) return false;

  wchar_t* rawId = nullptr;
  const HRESULT idResult = token->GetId(&rawId);
  win::UniqueCoTaskMem<wchar_t> id(rawId);
  if (SUCCEEDED(idResult) && rawId) {
    entry.tokenId = rawId;
    int samplingRate = -1;
    if (auto params = BuildMakerParams(rawId, &samplingRate)) {
      entry.type = ReadMakerEdition(*params);
      entry.samplingRate = samplingRate;
      entry.params = std::move(params);
    }
  }

  std::wstring name;
  ReadKeyString(attributes.Get(), L"Name", name);
  if (entry.type == kMakerEditionRated) {
    entry.name = FormatRatedName(name, entry.samplingRate);
    entry.plainName = name;
  } else {
    entry.name = name;
  }
  ReadKeyString(attributes.Get(), L"Vendor", entry.vendor);
  std::wstring language;
  entry.language =
      ReadKeyString(attributes.Get(), L"Language", language) ? ParseLanguageAttribute(language) : kDefaultVoiceLanguage;
  entry.languageRow = -1;
  LanguageRow(entry.language, &entry.languageRow);

  entry.dialogs = 0;
  entry.reserved = VOICE_RESERVED_ENUMERATED;
  entry.engineKind = VOICE_ENGINE_SAPI5;
  for (const auto& dialog : kVoiceDialogs) {
    BOOL supported = FALSE;
    if (SUCCEEDED(token->IsUISupported(dialog.typeOfUI, nullptr, 0, nullptr, &supported)) && supported)
      entry.dialogs |= dialog.bit;
  }
  entry.valid = true;
  return true;
}

}  // namespace

// ---- Voice list ----------------------------------------------------------------------------

std::shared_ptr<COrvelTTSParams> BuildMakerParams(const wchar_t* tokenId, int* samplingRate) {
  if (samplingRate) *samplingRate = -1;
  if (!tokenId) return nullptr;
  const wchar_t* slash = std::wcsrchr(tokenId, L'\\');
  if (!slash) return nullptr;
  const std::wstring component(slash + 1);

  bool secondGeneration;
  size_t wordLength;
  if (StartsWith(component, kMakerProductWord2, true)) {
    secondGeneration = true;
    wordLength = std::wcslen(kMakerProductWord2);
  } else if (StartsWith(component, kMakerProductWord, true)) {
    secondGeneration = false;
    wordLength = std::wcslen(kMakerProductWord);
  } else {
    return nullptr;
  }
  // The short name follows the product word and one separating character. A component that ends
  // there names no voice (and reading past it would leave the string).
  if (component.size() <= wordLength + 1) return nullptr;

  auto params = std::make_shared<COrvelTTSParams>();
  params->secondGeneration = secondGeneration;
  params->shortName = component.substr(wordLength + 1);
  params->registryKey = (secondGeneration ? kMakerProductKey2 : kMakerProductKey) + params->shortName;
  // "Version": a REG_SZ of at most kMakerVersionMaxChars characters; "" when it cannot be read.
  std::wstring version;
  if (OpenMakerKey(params->registryKey).ReadPlainString(L"Version", kMakerVersionMaxChars + 1, version))
    params->version = version;

  // The short name is up to 64 leading non-digits followed by the sampling rate in kHz
  // ("Agata22"). A name that starts with a digit has no leading part and no rate.
  const std::wstring& shortName = params->shortName;
  size_t letters = 0;
  while (letters < shortName.size() && letters < 64 && !IsAsciiDigit(shortName[letters])) ++letters;
  std::wstring leading = shortName.substr(0, letters);
  if (letters > 0 && samplingRate) {
    const wchar_t* start = shortName.c_str() + letters;
    wchar_t* end = nullptr;
    const long rate = std::wcstol(start, &end, 10);
    if (end != start) *samplingRate = static_cast<int>(std::max<long>(std::min<long>(rate, INT_MAX), INT_MIN));
  }
  if (!leading.empty()) ::CharUpperBuffW(&leading[0], static_cast<DWORD>(leading.size()));
  params->productId = L"VOICE_" + leading;
  return params;
}

int ReadMakerEdition(const COrvelTTSParams& params) {
  DWORD value = 0;
  if (!OpenMakerKey(params.registryKey).ReadDword(kMakerEditionValue, value)) return kMakerEditionBasic;
  return (value >= 2 && value <= 4) ? static_cast<int>(value) : kMakerEditionBasic;
}

bool IsMakerVendor(const std::wstring& vendor, bool ignoreCase) {
  for (const wchar_t* name : kMakerVendors)
    if (StartsWith(vendor, name, ignoreCase)) return true;
  return false;
}

bool CompareVoices(const VoiceInfo& a, const VoiceInfo& b) {
  // Each rule decides only when the two voices differ in it, so the order is the lexicographic
  // order of (has parameters, maker vendor, edition among maker voices, name): a strict weak
  // ordering in which equal voices never come before one another.
  const bool aMaker = a.params != nullptr, bMaker = b.params != nullptr;
  if (aMaker != bMaker) return aMaker;
  const bool aVendor = IsMakerVendor(a.vendor, true), bVendor = IsMakerVendor(b.vendor, true);
  if (aVendor != bVendor) return aVendor;
  if (aMaker && a.type != b.type) return a.type > b.type;
  // Unsigned UTF-16 code units; a prefix comes first; equal names are equal.
  const size_t n = std::min(a.name.size(), b.name.size());
  for (size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned short>(a.name[i]), cb = static_cast<unsigned short>(b.name[i]);
    if (ca != cb) return ca < cb;
  }
  return a.name.size() < b.name.size();
}

int EnumerateVoices(std::deque<VoiceInfo>& voices) {
  voices.clear();
  ComPtr<ISpObjectTokenCategory> category;
  if (FAILED(::CoCreateInstance(CLSID_SpObjectTokenCategory, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&category))) ||
      !category)
    return -1;
  if (FAILED(category->SetId(SPCAT_VOICES, FALSE))) return -1;
  ComPtr<IEnumSpObjectTokens> tokens;
  if (FAILED(category->EnumTokens(nullptr, nullptr, &tokens)) || !tokens) return -1;
  ULONG count = 0;
  if (FAILED(tokens->GetCount(&count))) return -1;

  voices.resize(count);
  // Item(i) rather than Next: it needs no Reset, which not every enumerator supports.
  for (ULONG i = 0; i < count; ++i) {
    ComPtr<ISpObjectToken> token;
    if (FAILED(tokens->Item(i, &token)) || !token) return -1;
    if (!ReadVoiceToken(token.Get(), static_cast<int>(i), voices[i])) return -1;
  }
  return static_cast<int>(count);
}

// ---- Voice manager -------------------------------------------------------------------------

VoiceManager::VoiceManager() = default;

VoiceManager::~VoiceManager() {
  if (m_pCleanupThread) {
    m_stopEvent.SetEvent();
    ::WaitForSingleObject(m_pCleanupThread->m_hThread, INFINITE);
    delete m_pCleanupThread;
    m_pCleanupThread = nullptr;
  }
}

BOOL VoiceManager::Start() {
  EnumerateVoices(m_voices);
  if (m_voices.size() > 1) std::sort(m_voices.begin(), m_voices.end(), CompareVoices);

  // Started suspended so that the object can be kept past the thread's end: the destructor
  // waits on its handle.
  CWinThread* thread =
      AfxBeginThread(&VoiceManager::CleanupThreadProc, this, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
  if (!thread) return FALSE;
  thread->m_bAutoDelete = FALSE;
  m_pCleanupThread = thread;
  thread->ResumeThread();
  return TRUE;
}

UINT AFX_CDECL VoiceManager::CleanupThreadProc(LPVOID param) {
  auto* self = static_cast<VoiceManager*>(param);
  try {
    SetThreadName(static_cast<DWORD>(-1), "VoiceCleanupThread");
    while (::WaitForSingleObject(self->m_stopEvent, self->m_cleanupIntervalMs) == WAIT_TIMEOUT) self->RunCleanupPass();
  } catch (...) {
    AfxReportCaughtException("VoiceCleanupThread");
  }
  return 0;
}

void VoiceManager::Reap(CTTS_Voice* voice) {
  // PostCommand waits for a voice that is not ready yet.
  voice->Destroy();
}

void VoiceManager::RunCleanupPass() {
  CSingleLock guard(&m_pool.lock, TRUE);
  auto& pool = m_pool.items;
  for (auto it = pool.begin(); it != pool.end();) {
    CTTS_Voice* voice = it->voice;
    bool reap = false;
    if (voice->m_nIdleCountdown == -1) {
      reap = false;  // in use
    } else if (voice->m_nIdleCountdown <= 0) {
      reap = true;
    } else {
      reap = --voice->m_nIdleCountdown == 0;
    }
    if (reap) {
      Reap(voice);
      it = pool.erase(it);
    } else {
      ++it;
    }
  }
}

CTTS_Voice* VoiceManager::AcquireVoice(int index, CWnd* owner, SpeakRequest* carrier) {
  if (index < 0 || index >= VoiceCount()) return nullptr;
  const VoiceInfo& entry = m_voices[static_cast<size_t>(index)];

  CSingleLock guard(&m_pool.lock, TRUE);
  if (entry.engineKind != VOICE_ENGINE_SAPI5) return nullptr;

  auto& pool = m_pool.items;
  auto found = std::find_if(pool.begin(), pool.end(), [index](const VoicePoolEntry& e) { return e.index == index; });
  if (found == pool.end()) {
    CWinThread* thread =
        AfxBeginThread(RUNTIME_CLASS(VTTSFramework::CTTS_SAPI5), THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED);
    auto* voice = static_cast<CTTS_Voice*>(thread);
    if (!voice) return nullptr;
    HANDLE duplicate = nullptr;
    if (!::DuplicateHandle(::GetCurrentProcess(), voice->m_hThread, ::GetCurrentProcess(), &duplicate, SYNCHRONIZE,
                           FALSE, 0)) {
      // Without a handle of our own the thread could not be waited for at shutdown: let it end
      // at once (its queue exists already; a command would wait for a readiness that a
      // suspended thread never reaches).
      LogSpeechFailure(L"VoiceManager: DuplicateHandle failed", ::GetLastError());
      voice->PostThreadMessage(WM_VOICE_QUIT, 0, 0);
      voice->ResumeThread();
      return nullptr;
    }
    voice->m_nRefCount += 1;
    voice->m_pOwner = owner;  // not running yet: no lock needed
    voice->m_nIdleCountdown = -1;
    voice->m_pManager = this;
    voice->m_active.PushBack(carrier);
    voice->ResumeThread();
    voice->Init(entry.index, entry.tokenId);
    VoicePoolEntry added;
    added.voice = voice;
    added.index = index;
    added.thread.reset(duplicate);
    pool.push_back(std::move(added));
    return voice;
  }

  CTTS_Voice* voice = found->voice;
  voice->m_nRefCount += 1;
  voice->m_nIdleCountdown = -1;
  voice->m_active.PushBack(carrier);
  {
    CSingleLock voiceGuard(&voice->m_voiceLock, TRUE);
    voice->m_pOwner = owner;
  }
  voice->Init(entry.index, entry.tokenId);
  return voice;
}

void VoiceManager::ReleaseVoice(CTTS_Voice* voice) {
  if (!voice) return;
  CSingleLock guard(&m_pool.lock, TRUE);
  auto& pool = m_pool.items;
  auto found = std::find_if(pool.begin(), pool.end(), [voice](const VoicePoolEntry& e) { return e.voice == voice; });
  if (found == pool.end()) return;
  voice->Stop();
  if (voice->m_nRefCount > 0 && --voice->m_nRefCount == 0) voice->m_nIdleCountdown = kIdlePasses;
}

void VoiceManager::Shutdown() {
  CSingleLock guard(&m_pool.lock, TRUE);
  auto& pool = m_pool.items;
  for (const VoicePoolEntry& e : pool) {
    if (!e.voice->PostThreadMessage(WM_VOICE_QUIT, 0, 0))
      LogSpeechFailure(L"VoiceManager: WM_VOICE_QUIT could not be posted", ::GetLastError());
  }
  for (const VoicePoolEntry& e : pool) ::WaitForSingleObject(e.thread.get(), INFINITE);
  pool.clear();
}

int VoiceManager::FindMakerVoiceForLanguage(LANGID language) const {
  for (size_t i = 0; i < m_voices.size(); ++i) {
    const VoiceInfo& v = m_voices[i];
    if (v.language == language && IsMakerVendor(v.vendor, false)) return static_cast<int>(i);
  }
  return -1;
}

void VoiceManager::ForEachPooledVoice(const std::function<void(CTTS_Voice*)>& f) {
  CSingleLock guard(&m_pool.lock, TRUE);
  for (const VoicePoolEntry& e : m_pool.items) f(e.voice);
}

bool VoiceManager::GetPoolState(int index, PoolState* state) {
  CSingleLock guard(&m_pool.lock, TRUE);
  for (const VoicePoolEntry& e : m_pool.items) {
    if (e.index != index) continue;
    if (state) {
      state->voice = e.voice;
      state->threadId = e.voice->m_nThreadID;
      state->refCount = e.voice->m_nRefCount;
      state->idleCountdown = e.voice->m_nIdleCountdown;
    }
    return true;
  }
  return false;
}

bool VoiceManager::IsPooled(const CTTS_Voice* voice) {
  CSingleLock guard(&m_pool.lock, TRUE);
  for (const VoicePoolEntry& e : m_pool.items)
    if (e.voice == voice) return true;
  return false;
}

int VoiceManager::PoolSize() {
  CSingleLock guard(&m_pool.lock, TRUE);
  return static_cast<int>(m_pool.items.size());
}
