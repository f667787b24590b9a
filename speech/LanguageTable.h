// The system's one list of languages: English name (lower case, also the file name of
// the reader's language modules), ISO 639 code and Windows primary language identifier.
// Shared by the reader and the installer plug-in, so it depends on nothing but <windows.h>.
#pragma once

#include <windows.h>

struct LanguageTableEntry {
  const wchar_t* name;  // "english", "polish", ...
  const wchar_t* code;  // "en", "pl", ...
  WORD primaryLangId;   // low 10 bits of a LANGID
};

// Row order matters: look-ups answer the first match (Serbian shares its primary
// identifier with Croatian and is never found by identifier).
constexpr int LanguageTableSize = 75;
extern const LanguageTableEntry LanguageTable[LanguageTableSize];

// All look-ups keep only the primary language of langId (its low 10 bits).

// The ISO code of the matching row, or nullptr.
const wchar_t* LangIdToIsoCode(LANGID langId);

// The ISO code of the matching row with its row number written to *row; nullptr when no
// row matches, and *row is then left unchanged (callers preset it to -1). row may be null.
const wchar_t* LanguageRow(LANGID langId, int* row);

// The English name of the matching row, or nullptr.
const wchar_t* GetLanguageName(LANGID langId);

// Same answer as LangIdToIsoCode; the installer plug-in's name for it.
const wchar_t* GetLanguageCode(LANGID langId);
