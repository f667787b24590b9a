// LocaleCatalog over the system's locales (as Wine reports them) and LocalizedText.
#include "LocaleCatalog.h"
#include "LocalizedText.h"
#include "SupportExceptions.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

std::string HexLcid(LCID lcid) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%04lX", static_cast<unsigned long>(lcid));
  return buf;
}

}  // namespace

TEST(LocaleCatalog, LooksUpNamesAsTheSystemReportsThem) {
  ASSERT_EQ(nullptr, LocaleCatalog::Instance());
  {
    LocaleCatalog catalog;
    EXPECT_EQ(&catalog, LocaleCatalog::Instance());
    ASSERT_FALSE(catalog.Records().empty());

    struct Case {
      const wchar_t* name;
      LCID lcid;
    };
    const Case found[] = {
        {L"en-US", 0x0409}, {L"en", 0x0409}, {L"en-GB", 0x0809}, {L"de-DE", 0x0407}, {L"de", 0x0407},
        {L"pl-PL", 0x0415}, {L"pl", 0x0415}, {L"fr", 0x040C},    {L"fr-CA", 0x0C0C},
    };
    for (const Case& c : found) {
      const LocaleRecord* record = nullptr;
      ASSERT_TRUE(catalog.FindLcid(c.name, record)) << std::string(c.name, c.name + wcslen(c.name));
      EXPECT_EQ(c.lcid, record->lcid) << HexLcid(record->lcid);
      EXPECT_EQ(c.lcid, catalog.GetLcid(c.name).lcid);
    }
    for (const wchar_t* name : {L"EN-us", L"xx-YY", L"", L"en-", L"-US"}) {
      const LocaleRecord* record = nullptr;
      EXPECT_FALSE(catalog.FindLcid(name, record)) << std::string(name, name + wcslen(name));
      EXPECT_THROW(catalog.GetLcid(name), LocaleException);
    }

    const LocaleRecord* us = catalog.FindByLangId(0x0409);
    ASSERT_NE(nullptr, us);
    EXPECT_EQ(L"en", us->language);
    EXPECT_EQ(L"US", us->country);
    EXPECT_EQ(L"en-US", us->name);
    EXPECT_EQ(us, catalog.FindByLcid(0x0409));
  }
  EXPECT_EQ(nullptr, LocaleCatalog::Instance());
}

TEST(LocaleCatalog, RecordsAscendAndSharedNamesTakeTheSmallestLcid) {
  LocaleCatalog catalog;
  for (std::size_t i = 1; i < catalog.Records().size(); ++i)
    ASSERT_LT(catalog.Records()[i - 1]->lcid, catalog.Records()[i]->lcid) << "at " << i;

  // Every name maps to the first (smallest) locale that carries it.
  for (const auto& record : catalog.Records()) {
    if (record->language.empty()) continue;
    const LocaleRecord* found = nullptr;
    ASSERT_TRUE(catalog.FindLcid(record->name, found));
    EXPECT_LE(found->lcid, record->lcid) << HexLcid(record->lcid);
  }
  // Spanish of Spain is listed twice (traditional and modern sort); 0x040A comes first.
  if (catalog.FindByLcid(0x040A) != nullptr && catalog.FindByLcid(0x040A)->name == L"es-ES") {
    EXPECT_EQ(0x040Au, catalog.GetLcid(L"es-ES").lcid);
  }
}

TEST(LocalizedText, IdsTextsAndLanguages) {
  LocalizedText texts;
  EXPECT_TRUE(texts.AddText(L"name", 1033, L"a"));
  EXPECT_FALSE(texts.AddText(L"name", 1033, L"b")) << "the first text stays";
  EXPECT_TRUE(texts.AddText(L"name", 1045, L"p"));
  EXPECT_TRUE(texts.AddText(L"description", 1033, L"d"));

  std::int32_t id = 0;
  ASSERT_TRUE(texts.FindId(L"name", id));
  EXPECT_EQ(-1, id);
  ASSERT_TRUE(texts.FindId(L"description", id));
  EXPECT_EQ(-2, id);
  EXPECT_FALSE(texts.FindId(L"other", id));
  EXPECT_EQ(-3, texts.InternName(L"other"));
  EXPECT_EQ(-1, texts.InternName(L"name"));

  std::wstring text;
  ASSERT_TRUE(texts.GetText(L"name", 1033, text));
  EXPECT_EQ(L"a", text);
  ASSERT_TRUE(texts.GetText(-1, 1045, text));
  EXPECT_EQ(L"p", text);
  EXPECT_FALSE(texts.GetText(L"description", 1045, text));
  EXPECT_FALSE(texts.GetText(L"name", 1031, text));
  EXPECT_FALSE(texts.GetText(L"missing", 1033, text));
}

TEST(LocalizedText, CopiesShareTheirLanguageTables) {
  LocalizedText a;
  a.AddText(L"name", 1033, L"first");
  LocalizedText b = a;
  b.AddText(L"description", 1033, L"shared");
  std::wstring text;
  EXPECT_TRUE(a.GetText(-2, 1033, text));
  EXPECT_EQ(L"shared", text);
}
