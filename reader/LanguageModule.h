// The language module: the resource-only library (lang\<language>.dll beside the program)
// that supplies every dialog, text, icon and skin image of the reader.
//
// The choice is made once at start-up: the "language" value of the maker key, else of the
// application key; the module must carry the program's version in its first three parts; a
// missing or outdated module falls back to English; with no usable module the user sees an
// error box in the system's language (texts from the program's own string table) and the
// reader does not start.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "resource.h"

namespace orv_reader {

// The controls of template 582 that the main dialog binds and skins (DialogSkin::Bind): a module
// whose template lacks one cannot show the dialog.
constexpr int kMainDialogControls[] = {IDC_LANGUAGE_BUTTON, IDC_VOICE_COMBO,    IDC_READ_BUTTON,     IDC_STOP_BUTTON,
                                       IDC_LAUNCH_BUTTON,   IDC_CLOSE_BUTTON,   IDC_MINIMIZE_BUTTON, IDC_SPEED_SLIDER,
                                       IDC_VOLUME_SLIDER,   IDC_FOLD_BUTTON,    IDC_LEXICON_BUTTON,  IDC_SITE_LINK,
                                       IDC_VOICE_LINK,      IDC_VOICE_TYPE_ICON};

// Four parts of a "FileVersion" text; missing parts are 0.
struct FileVersion {
  int part[4] = {0, 0, 0, 0};
};

// "1, 0, 13, 0" and "1.0.13.0" read the same: split at commas when there is one, else at
// points; each of at most four parts is a decimal integer after leading blanks, ending at the
// first other character.
FileVersion ParseVersionText(const std::wstring& text);

// Reads the "FileVersion" text of a file's version resource, trying every language and code
// page of its translation list (a later pair that has the text wins). False when the file is
// missing or has no version resource or no translation list; an empty translation list reads
// as 0.0.0.0 and answers true.
bool ReadFileVersion(const std::wstring& path, FileVersion& version);

// The module may serve the program when both versions can be read and their first three parts
// are equal (the fourth part is a build number of the module alone).
bool IsModuleVersionCompatible(const std::wstring& programPath, const std::wstring& modulePath);

// The control ids of a dialog template resource (DIALOG or DIALOGEX), read within its `bytes`;
// false when the data is not a whole template.
bool ReadDialogTemplateIds(const void* data, size_t bytes, std::vector<int>& ids);

// The module file holds template 582 with every control of kMainDialogControls. It is read as
// data, so nothing of it runs.
bool ModuleHasMainDialog(const std::wstring& modulePath);

// The module may serve the program: of its version, and able to show the main dialog.
bool IsModuleUsable(const std::wstring& programPath, const std::wstring& modulePath);

// Full path of a loaded module (NULL: the program), however long. Empty on failure.
// initialCapacity only lets tests exercise the growth of the buffer.
std::wstring GetModulePath(HMODULE module = nullptr, size_t initialCapacity = MAX_PATH);

// The folder of a full file path, trailing backslash kept ("C:\a\b.exe" -> "C:\a\").
std::wstring FolderOf(const std::wstring& path);

// folder + "lang\" + name + ".dll".
std::wstring LanguageModulePath(const std::wstring& programFolder, const std::wstring& languageName);

// The language whose module a system of this language would use: 1045 "polish",
// 1048 "romanian", anything else "english".
const wchar_t* LanguageNameForSystemLanguage(LANGID language);

// Caption and text ids of the error box for a language name (compared without regard to case);
// NULL or any other name gives the English texts.
struct LanguageErrorTextIds {
  UINT caption;
  UINT text;
};
LanguageErrorTextIds LanguageErrorTexts(const wchar_t* languageName);

// A string of a module's string table, however long; empty when it is missing.
std::wstring LoadModuleString(HINSTANCE module, UINT id);

// What choosing a module needs from the system; the defaults are the real ones.
struct LanguageModuleEnvironment {
  // Full path of the running program (its folder holds lang\, its version is compared).
  std::wstring programPath;
  // Reads the REG_SZ "language" of an HKLM key path; false when missing.
  std::function<bool(const wchar_t* keyPath, std::wstring& value)> readLanguageValue;
  std::function<LANGID()> systemLanguage;
  // Shows the error box for a language name.
  std::function<void(const wchar_t* languageName)> showError;
  std::function<HMODULE(const std::wstring& path)> loadLibrary;

  static LanguageModuleEnvironment System();
};

// Chooses, checks (IsModuleUsable) and loads the module; NULL when start-up must end (the error
// box has then been shown, except when a module that passed the checks failed to load).
HMODULE LoadLanguageModuleFrom(const LanguageModuleEnvironment& environment);

// Texts of the web addresses: the module's user-interface language code (its string 538), and
// base + "&l=" + code.
std::wstring GetUiLanguageCode(HINSTANCE module);
std::wstring AppendLanguageParam(const std::wstring& baseAddress, const std::wstring& languageCode);

}  // namespace orv_reader

// The reader's entry points, over the real system and the layer's resource handle.

// Loads the module chosen by the registry and makes it the source of every later resource
// look-up (AfxSetResourceHandle). NULL ends start-up.
HMODULE LoadLanguageModule();
// String 538 of the loaded module.
std::wstring GetUiLanguageCode();
// address := baseAddress + "&l=" + GetUiLanguageCode().
void AppendLanguageParam(std::wstring& address, const std::wstring& baseAddress);
// The error box of a failed module load (no owner, MB_ICONERROR), in the texts of the
// program's own string table chosen by the language name (NULL allowed).
void ShowLanguageModuleError(const wchar_t* languageName);
