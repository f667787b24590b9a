#include "LanguageTable.h"

const LanguageTableEntry LanguageTable[LanguageTableSize] = {
    {L"afrikaans", L"af", 0x36},       {L"arabic", L"ar", 0x01},
    {L"assamese", L"as", 0x4D},        {L"azerbaijani", L"az", 0x2C},
    {L"byelorussian", L"be", 0x23},    {L"bulgarian", L"bg", 0x02},
    {L"bengali, bangla", L"bn", 0x45}, {L"catalan", L"ca", 0x03},
    {L"czech", L"cs", 0x05},           {L"danish", L"da", 0x06},
    {L"german", L"de", 0x07},          {L"divehi", L"dv", 0x65},
    {L"greek", L"el", 0x08},           {L"english", L"en", 0x09},
    {L"spanish", L"es", 0x0A},         {L"estonian", L"et", 0x25},
    {L"basque", L"eu", 0x2D},          {L"persian (farsi)", L"fa", 0x29},
    {L"finnish", L"fi", 0x0B},         {L"faroese", L"fo", 0x38},
    {L"french", L"fr", 0x0C},          {L"galician", L"gl", 0x56},
    {L"gujarati", L"gu", 0x47},        {L"hebrew", L"he", 0x0D},
    {L"hindi", L"hi", 0x39},           {L"croatian", L"hr", 0x1A},
    {L"hungarian", L"hu", 0x0E},       {L"armenian", L"hy", 0x2B},
    {L"indonesian", L"id", 0x21},      {L"icelandic", L"is", 0x0F},
    {L"italian", L"it", 0x10},         {L"japanese", L"ja", 0x11},
    {L"georgian", L"ka", 0x37},        {L"kazakh", L"kk", 0x3F},
    {L"kannada", L"kn", 0x4B},         {L"korean", L"ko", 0x12},
    {L"konkani", L"kok", 0x57},        {L"kashmiri", L"ks", 0x60},
    {L"kirghiz", L"ky", 0x40},         {L"lithuanian", L"lt", 0x27},
    {L"latvian;lettish", L"lv", 0x26}, {L"macedonian", L"mk", 0x2F},
    {L"malayalam", L"ml", 0x4C},       {L"mongolian", L"mn", 0x50},
    {L"manipuri", L"mni", 0x58},       {L"marathi", L"mr", 0x4E},
    {L"malay", L"ms", 0x3E},           {L"nepali", L"ne", 0x61},
    {L"dutch", L"nl", 0x13},           {L"norwegian", L"no", 0x14},
    {L"oriya", L"or", 0x48},           {L"punjabi", L"pa", 0x46},
    {L"polish", L"pl", 0x15},          {L"portuguese", L"pt", 0x16},
    {L"romanian", L"ro", 0x18},        {L"russian", L"ru", 0x19},
    {L"sanskrit", L"sa", 0x4F},        {L"sindhi", L"sd", 0x59},
    {L"slovak", L"sk", 0x1B},          {L"slovenian", L"sl", 0x24},
    {L"albanian", L"sq", 0x1C},        {L"serbian", L"sr", 0x1A},
    {L"swedish", L"sv", 0x1D},         {L"swahili", L"sw", 0x41},
    {L"syriac", L"syr", 0x5A},         {L"tamil", L"ta", 0x49},
    {L"telugu", L"te", 0x4A},          {L"thai", L"th", 0x1E},
    {L"turkish", L"tr", 0x1F},         {L"tatar", L"tt", 0x44},
    {L"ukrainian", L"uk", 0x22},       {L"urdu", L"ur", 0x20},
    {L"uzbek", L"uz", 0x43},           {L"vietnamese", L"vi", 0x2A},
    {L"chinese", L"zh", 0x04},
};

namespace {

int FindRow(LANGID langId) {
  const WORD primary = PRIMARYLANGID(langId);
  for (int i = 0; i < LanguageTableSize; ++i) {
    if (LanguageTable[i].primaryLangId == primary) return i;
  }
  return -1;
}

}  // namespace

const wchar_t* LangIdToIsoCode(LANGID langId) {
  const int row = FindRow(langId);
  return row < 0 ? nullptr : LanguageTable[row].code;
}

const wchar_t* LanguageRow(LANGID langId, int* row) {
  const int found = FindRow(langId);
  if (found < 0) return nullptr;
  if (row) *row = found;
  return LanguageTable[found].code;
}

const wchar_t* GetLanguageName(LANGID langId) {
  const int row = FindRow(langId);
  return row < 0 ? nullptr : LanguageTable[row].name;
}

const wchar_t* GetLanguageCode(LANGID langId) { return LangIdToIsoCode(langId); }
