#include "LanguageModule.h"

#include <afx.h>
#include <UniqueHandle.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <vector>

#include "Settings.h"
#include "resource.h"

namespace orv_reader {

namespace {

// Reads one decimal part: leading blanks skipped, an optional sign, then digits up to the first
// other character; large values saturate instead of overflowing.
int ParsePart(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > 0x7FFFFFFF) value = 0x7FFFFFFF;
  }
  return static_cast<int>(negative ? -value : value);
}

// Four lower-case hexadecimal digits, as the version resource names its string blocks.
std::wstring Hex4(WORD value) {
  static const wchar_t digits[] = L"0123456789abcdef";
  std::wstring text(4, L'0');
  for (int n = 3; n >= 0; --n, value >>= 4) text[n] = digits[value & 0xF];
  return text;
}

}  // namespace

FileVersion ParseVersionText(const std::wstring& text) {
  FileVersion version;
  const wchar_t separator = text.find(L',') != std::wstring::npos ? L',' : L'.';
  size_t start = 0;
  for (int n = 0; n < 4; ++n) {
    size_t end = text.find(separator, start);
    version.part[n] = ParsePart(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start));
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return version;
}

bool ReadFileVersion(const std::wstring& path, FileVersion& version) {
  version = FileVersion();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translations = nullptr;
  UINT bytes = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations), &bytes)) {
    return false;
  }
  if (translations == nullptr) bytes = 0;
  for (UINT n = 0; n < bytes / sizeof(Translation); ++n) {
    const std::wstring query =
        L"\\StringFileInfo\\" + Hex4(translations[n].language) + Hex4(translations[n].codePage) + L"\\FileVersion";
    wchar_t* text = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&text), &length) && text != nullptr) {
      version = ParseVersionText(std::wstring(text, wcsnlen(text, length)));
    }
  }
  return true;
}

bool IsModuleVersionCompatible(const std::wstring& programPath, const std::wstring& modulePath) {
  FileVersion program, module;
  if (!ReadFileVersion(programPath, program) || !ReadFileVersion(modulePath, module)) return false;
  for (int n = 0; n < 3; ++n) {
    if (program.part[n] != module.part[n]) return false;
  }
  return true;
}

namespace {

// Reads a dialog template front to back, every read checked against the end.
class TemplateReader {
 public:
  TemplateReader(const void* data, size_t bytes) : m_at(static_cast<const BYTE*>(data)), m_end(m_at + bytes) {}

  bool Skip(size_t bytes) {
    if (static_cast<size_t>(m_end - m_at) < bytes) return false;
    m_at += bytes;
    return true;
  }
  bool Word(WORD& value) { return Read(&value, sizeof(value)); }
  bool Dword(DWORD& value) { return Read(&value, sizeof(value)); }
  // A string, or 0xFFFF and an ordinal, or a lone 0 for none.
  bool NameOrOrdinal() {
    WORD first = 0;
    if (!Word(first)) return false;
    if (first == 0xFFFF) return Skip(sizeof(WORD));
    return first == 0 || String();
  }
  // A string of UTF-16 characters up to and with its terminator.
  bool String() {
    for (WORD c = 1; c != 0;)
      if (!Word(c)) return false;
    return true;
  }
  // Items start on a 4-byte boundary from the template's start.
  bool AlignTo4(const void* start) {
    const size_t offset = static_cast<size_t>(m_at - static_cast<const BYTE*>(start));
    return Skip((4 - offset % 4) % 4);
  }

 private:
  bool Read(void* out, size_t bytes) {
    if (static_cast<size_t>(m_end - m_at) < bytes) return false;
    std::memcpy(out, m_at, bytes);
    m_at += bytes;
    return true;
  }
  const BYTE* m_at;
  const BYTE* m_end;
};

}  // namespace

bool ReadDialogTemplateIds(const void* data, size_t bytes, std::vector<int>& ids) {
  ids.clear();
  TemplateReader in(data, bytes);
  WORD version = 0, signature = 0;
  if (!in.Word(version) || !in.Word(signature)) return false;
  const bool extended = version == 1 && signature == 0xFFFF;
  DWORD style = 0, ignored = 0;
  WORD count = 0;
  if (extended) {
    // help id, extended style, style
    if (!in.Dword(ignored) || !in.Dword(ignored) || !in.Dword(style)) return false;
  } else {
    // The two words were the style; the extended style follows.
    style = MAKELONG(version, signature);
    if (!in.Dword(ignored)) return false;
  }
  if (!in.Word(count) || !in.Skip(4 * sizeof(short))) return false;              // items, x, y, cx, cy
  if (!in.NameOrOrdinal() || !in.NameOrOrdinal() || !in.String()) return false;  // menu, class, title
  if (style & DS_SETFONT) {
    // point size (and for DIALOGEX weight, italic, character set), then the face name
    if (!in.Skip(extended ? 6 : 2) || !in.String()) return false;
  }
  for (WORD n = 0; n < count; ++n) {
    if (!in.AlignTo4(data)) return false;
    DWORD id = 0;
    WORD shortId = 0, extra = 0;
    if (extended) {
      // help id, extended style, style, x, y, cx, cy, id
      if (!in.Skip(3 * sizeof(DWORD) + 4 * sizeof(short)) || !in.Dword(id)) return false;
    } else {
      // style, extended style, x, y, cx, cy, id
      if (!in.Skip(2 * sizeof(DWORD) + 4 * sizeof(short)) || !in.Word(shortId)) return false;
      id = shortId;
    }
    if (!in.NameOrOrdinal() || !in.NameOrOrdinal() || !in.Word(extra) || !in.Skip(extra)) return false;
    ids.push_back(static_cast<int>(id));
  }
  return true;
}

bool ModuleHasMainDialog(const std::wstring& modulePath) {
  const win::UniqueModule module(
      LoadLibraryExW(modulePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return false;
  const HRSRC found = FindResourceW(module.get(), MAKEINTRESOURCEW(IDD_ORVELPARLONVESK_DIALOG), RT_DIALOG);
  const HGLOBAL loaded = found ? LoadResource(module.get(), found) : nullptr;
  const void* data = loaded ? LockResource(loaded) : nullptr;
  std::vector<int> ids;
  if (!data || !ReadDialogTemplateIds(data, SizeofResource(module.get(), found), ids)) return false;
  for (int control : kMainDialogControls)
    if (std::find(ids.begin(), ids.end(), control) == ids.end()) return false;
  return true;
}

bool IsModuleUsable(const std::wstring& programPath, const std::wstring& modulePath) {
  return IsModuleVersionCompatible(programPath, modulePath) && ModuleHasMainDialog(modulePath);
}

std::wstring GetModulePath(HMODULE module, size_t initialCapacity) {
  // The system truncates silently when the buffer is short (and reports it only through the
  // length and ERROR_INSUFFICIENT_BUFFER), so grow until the whole path fits.
  std::wstring path(initialCapacity > 0 ? initialCapacity : 1, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetModuleFileNameW(module, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size() && GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      path.resize(length);
      return path;
    }
    if (path.size() >= 0x10000) return std::wstring();  // beyond any path the system allows
    path.resize(path.size() * 2);
  }
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring LanguageModulePath(const std::wstring& programFolder, const std::wstring& languageName) {
  return programFolder + L"lang\\" + languageName + L".dll";
}

const wchar_t* LanguageNameForSystemLanguage(LANGID language) {
  switch (language) {
    case 1045:
      return L"polish";
    case 1048:
      return L"romanian";
    default:
      return L"english";
  }
}

LanguageErrorTextIds LanguageErrorTexts(const wchar_t* languageName) {
  if (languageName != nullptr) {
    if (_wcsicmp(languageName, L"polish") == 0) return {IDS_LANGERR_CAPTION_POLISH, IDS_LANGERR_TEXT_POLISH};
    if (_wcsicmp(languageName, L"romanian") == 0) return {IDS_LANGERR_CAPTION_ROMANIAN, IDS_LANGERR_TEXT_ROMANIAN};
  }
  return {IDS_LANGERR_CAPTION_ENGLISH, IDS_LANGERR_TEXT_ENGLISH};
}

std::wstring LoadModuleString(HINSTANCE module, UINT id) {
  // With a zero buffer size the system answers a read-only pointer into the resource itself,
  // so no length limit applies.
  const wchar_t* text = nullptr;
  const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return std::wstring();
  return std::wstring(text, static_cast<size_t>(length));
}

LanguageModuleEnvironment LanguageModuleEnvironment::System() {
  LanguageModuleEnvironment environment;
  environment.programPath = GetModulePath(nullptr);
  environment.readLanguageValue = [](const wchar_t* keyPath, std::wstring& value) {
    return GetRegStringValue(keyPath, value, L"language");
  };
  environment.systemLanguage = [] { return GetSystemDefaultLangID(); };
  environment.showError = [](const wchar_t* languageName) { ShowLanguageModuleError(languageName); };
  environment.loadLibrary = [](const std::wstring& path) { return LoadLibraryW(path.c_str()); };
  return environment;
}

HMODULE LoadLanguageModuleFrom(const LanguageModuleEnvironment& environment) {
  // The installer writes the maker key; the application key is the older place. Only a failed
  // read moves on to the second key: an empty value was read and means "no language".
  std::wstring name;
  if (!environment.readLanguageValue(reader_settings::kMakerKey, name)) {
    name.clear();
    if (!environment.readLanguageValue(reader_settings::kAppKey, name)) name.clear();
  }
  if (name.empty()) {
    environment.showError(LanguageNameForSystemLanguage(environment.systemLanguage()));
    return nullptr;
  }

  const std::wstring folder = FolderOf(environment.programPath);
  std::wstring path = LanguageModulePath(folder, name);
  // A module that cannot show the main dialog is refused like one of another version.
  if (!IsModuleUsable(environment.programPath, path)) {
    path = LanguageModulePath(folder, L"english");
    if (!IsModuleUsable(environment.programPath, path)) {
      environment.showError(L"english");
      return nullptr;
    }
  }
  // A module that passed the checks but does not load ends start-up without a message.
  return environment.loadLibrary(path);
}

std::wstring GetUiLanguageCode(HINSTANCE module) { return LoadModuleString(module, IDS_UI_LANGUAGE_CODE); }

std::wstring AppendLanguageParam(const std::wstring& baseAddress, const std::wstring& languageCode) {
  return baseAddress + L"&l=" + languageCode;
}

}  // namespace orv_reader

HMODULE LoadLanguageModule() {
  HMODULE module = orv_reader::LoadLanguageModuleFrom(orv_reader::LanguageModuleEnvironment::System());
  if (module != nullptr) AfxSetResourceHandle(module);
  return module;
}

std::wstring GetUiLanguageCode() { return orv_reader::GetUiLanguageCode(AfxGetResourceHandle()); }

void AppendLanguageParam(std::wstring& address, const std::wstring& baseAddress) {
  address = orv_reader::AppendLanguageParam(baseAddress, GetUiLanguageCode());
}

void ShowLanguageModuleError(const wchar_t* languageName) {
  // No module is loaded: the texts come from the program's own string table.
  const HINSTANCE program = GetModuleHandleW(nullptr);
  const orv_reader::LanguageErrorTextIds ids = orv_reader::LanguageErrorTexts(languageName);
  const std::wstring caption = orv_reader::LoadModuleString(program, ids.caption);
  const std::wstring text = orv_reader::LoadModuleString(program, ids.text);
  MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}
