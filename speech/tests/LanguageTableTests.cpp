#include "LanguageTable.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>

namespace {

std::wstring Str(const wchar_t* s) { return s ? s : L"(null)"; }

struct LookupCase {
  LANGID langId;
  const wchar_t* code;  // nullptr: no row
  const wchar_t* name;
  int row;
};

const LookupCase kLookups[] = {
    {0x0415, L"pl", L"polish", 52},    // Polish, Poland
    {0x0C0A, L"es", L"spanish", 14},   // Spanish, modern sort
    {0x040A, L"es", L"spanish", 14},   // Spanish, traditional sort
    {0x081A, L"hr", L"croatian", 25},  // Serbian (Latin) finds the Croatian row first
    {0x0C1A, L"hr", L"croatian", 25},  // Serbian (Cyrillic)
    {0x041A, L"hr", L"croatian", 25},  // Croatian
    {0x0404, L"zh", L"chinese", 74},   // Chinese, Taiwan
    {0x0436, L"af", L"afrikaans", 0},  // first row
    {0x0409, L"en", L"english", 13},
    {0x0809, L"en", L"english", 13},
    {0x0426, L"lv", L"latvian;lettish", 40},
    {0x0429, L"fa", L"persian (farsi)", 17},
    {0x0445, L"bn", L"bengali, bangla", 6},
    {0x0457, L"kok", L"konkani", 36},
    {0x0465, L"dv", L"divehi", 11},
    {0x0000, nullptr, nullptr, -1},  // neutral
    {0x0017, nullptr, nullptr, -1},  // Romansh: not in the table
    {0x03FF, nullptr, nullptr, -1},  // largest primary identifier
    {0xFC15, L"pl", L"polish", 52},  // upper bits never matter
    {static_cast<LANGID>(0x0415 | 0x8000), L"pl", L"polish", 52},
};

TEST(LanguageTable, LookupsByLanguageId) {
  for (const LookupCase& c : kLookups) {
    SCOPED_TRACE(testing::Message() << "langId 0x" << std::hex << c.langId);
    EXPECT_EQ(Str(c.code), Str(LangIdToIsoCode(c.langId)));
    EXPECT_EQ(Str(c.code), Str(GetLanguageCode(c.langId)));
    EXPECT_EQ(Str(c.name), Str(GetLanguageName(c.langId)));

    int row = -1;
    EXPECT_EQ(Str(c.code), Str(LanguageRow(c.langId, &row)));
    EXPECT_EQ(c.row, row);

    // A miss leaves the caller's preset untouched.
    int preset = 1234;
    const wchar_t* code = LanguageRow(c.langId, &preset);
    EXPECT_EQ(c.row < 0 ? 1234 : c.row, preset) << Str(code);
  }
}

TEST(LanguageTable, RowsAreComplete) {
  std::set<std::wstring> names, codes;
  for (int i = 0; i < LanguageTableSize; ++i) {
    const LanguageTableEntry& e = LanguageTable[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    ASSERT_NE(nullptr, e.name);
    ASSERT_NE(nullptr, e.code);
    EXPECT_TRUE(names.insert(e.name).second) << "duplicate name";
    EXPECT_TRUE(codes.insert(e.code).second) << "duplicate code";
    EXPECT_LE(e.primaryLangId, 0x3FF);
    // Every row but Serbian's is found by its own identifier.
    int row = -1;
    LanguageRow(e.primaryLangId, &row);
    EXPECT_EQ(i == 61 ? 25 : i, row);
  }
  EXPECT_STREQ(L"serbian", LanguageTable[61].name);
  EXPECT_STREQ(L"sr", LanguageTable[61].code);
}

TEST(LanguageTable, NullRowPointerIsAccepted) { EXPECT_STREQ(L"de", LanguageRow(0x0407, nullptr)); }

}  // namespace
