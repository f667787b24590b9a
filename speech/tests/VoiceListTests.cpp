// The voice list: maker parameters from token identifiers, the voice order, and the enumeration
// of the SAPI voice tokens (served by the fake SAPI from a private category).
#include "FakeSapiControl.h"
#include "SpeechTestSupport.h"
#include "VoiceManager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

using speech_test::Narrow;
using speech_test::ScopedCom;
using speech_test::ScopedKey;

namespace {

const wchar_t kTokens[] = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices\\Tokens\\";

// Letters that make this process's registry key names its own (digits would end the leading
// part of a short name).
std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

std::wstring ProcessLetters() {
  std::wstring out;
  for (wchar_t c : std::to_wstring(GetCurrentProcessId())) out += static_cast<wchar_t>(L'a' + (c - L'0'));
  return out;
}

struct MakerCase {
  const wchar_t* id;
  bool maker;
  const wchar_t* shortName;
  const wchar_t* key;
  const wchar_t* productId;
  int rate;
  bool second;
};

const MakerCase kMakerCases[] = {
    {L"Orvel Vokant Agata22", true, L"Agata22", L"Software\\Orvel\\Orvel Vokant\\Agata22", L"VOICE_AGATA", 22, false},
    {L"Orvel 2 Vokant Ewa16", true, L"Ewa16", L"Software\\Orvel\\Orvel 2 Vokant\\Ewa16", L"VOICE_EWA", 16, true},
    {L"oRVEL vOKANT jan", true, L"jan", L"Software\\Orvel\\Orvel Vokant\\jan", L"VOICE_JAN", -1, false},
    {L"Orvel Vokant_Ola8k", true, L"Ola8k", L"Software\\Orvel\\Orvel Vokant\\Ola8k", L"VOICE_OLA", 8, false},
    // A short name that starts with a digit has no leading part and no rate.
    {L"Orvel Vokant 22kHz", true, L"22kHz", L"Software\\Orvel\\Orvel Vokant\\22kHz", L"VOICE_", -1, false},
    // The product word alone, or followed by the separator only, names no voice.
    {L"Orvel Vokant", false, nullptr, nullptr, nullptr, -1, false},
    {L"Orvel 2 Vokant", false, nullptr, nullptr, nullptr, -1, false},
    {L"Orvel Vokant ", false, nullptr, nullptr, nullptr, -1, false},
    {L"Orvel Vokan", false, nullptr, nullptr, nullptr, -1, false},
    {L"Microsoft Anna", false, nullptr, nullptr, nullptr, -1, false},
    {L"", false, nullptr, nullptr, nullptr, -1, false},
};

TEST(MakerParams, FromTokenIdentifiers) {
  for (const MakerCase& c : kMakerCases) {
    const std::wstring id = std::wstring(kTokens) + c.id;
    SCOPED_TRACE(Narrow(id));
    int rate = 1234;
    auto params = BuildMakerParams(id.c_str(), &rate);
    ASSERT_EQ(c.maker, params != nullptr);
    EXPECT_EQ(c.rate, rate);
    if (!params) continue;
    EXPECT_EQ(c.shortName, params->shortName);
    EXPECT_EQ(c.key, params->registryKey);
    EXPECT_EQ(c.productId, params->productId);
    EXPECT_EQ(c.second, params->secondGeneration);
    EXPECT_EQ(L"", params->version);  // no such product key
  }
}

TEST(MakerParams, IdentifierWithoutPathHasNone) {
  int rate = 5;
  EXPECT_EQ(nullptr, BuildMakerParams(L"Orvel Vokant Agata22", &rate));
  EXPECT_EQ(-1, rate);
  EXPECT_EQ(nullptr, BuildMakerParams(nullptr, &rate));
}

TEST(MakerParams, LongShortNamesStayInBounds) {
  // 70 letters then a rate: at most 64 leading letters are scanned; the rest is no number.
  const std::wstring letters(70, L'x');
  int rate = 0;
  auto params = BuildMakerParams((std::wstring(kTokens) + L"Orvel Vokant " + letters + L"44").c_str(), &rate);
  ASSERT_NE(nullptr, params);
  EXPECT_EQ(L"VOICE_" + std::wstring(64, L'X'), params->productId);
  EXPECT_EQ(-1, rate);
}

TEST(MakerParams, VersionAndEditionFromProductKey) {
  // Names of this test only, so that parallel tests never meet these keys.
  const std::wstring shortName = L"MgrVersion" + ProcessLetters() + L"22";
  struct Case {
    const wchar_t* version;  // null: no value
    DWORD edition;           // 0: no value
    const wchar_t* expectVersion;
    int expectType;
  } cases[] = {
      {L"1.6.0.0", 4, L"1.6.0.0", 4},
      {L"1234567890123456", 3, L"1234567890123456", 3},  // 16 characters: kept
      {L"12345678901234567", 2, L"", 2},                 // longer: unknown
      {nullptr, 0, L"", 2},
      {L"2.0", 7, L"2.0", 2},  // unknown edition: basic
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version ? Narrow(c.version) : "(none)");
    ScopedKey key(HKEY_LOCAL_MACHINE, L"Software\\Orvel\\Orvel Vokant\\" + shortName);
    ASSERT_TRUE(key.ok()) << "error " << GetLastError();
    if (c.version) {
      ASSERT_EQ(ERROR_SUCCESS, key.SetString(L"Version", c.version));
    }
    if (c.edition) {
      ASSERT_EQ(ERROR_SUCCESS, key.SetDword(L"Edition", c.edition));
    }
    int rate = 0;
    auto params = BuildMakerParams((std::wstring(kTokens) + L"Orvel Vokant " + shortName).c_str(), &rate);
    ASSERT_NE(nullptr, params);
    EXPECT_EQ(c.expectVersion, params->version);
    EXPECT_EQ(c.expectType, ReadMakerEdition(*params));
  }
}

// ---- Order ---------------------------------------------------------------------------------

VoiceInfo Voice(const wchar_t* name, const wchar_t* vendor, int type) {
  VoiceInfo v;
  v.name = name;
  v.vendor = vendor;
  v.type = type;
  if (type > 1) v.params = std::make_shared<VTTSFramework::COrvelTTSParams>();
  return v;
}

TEST(VoiceOrder, StrictWeakOrdering) {
  const std::vector<VoiceInfo> voices = {
      Voice(L"Zofia", L"ORV Software", 2),
      Voice(L"Adam", L"ORV Software", 3),
      Voice(L"Ewa", L"Orvel Software", 4),
      Voice(L"Ewa", L"Orvel Software", 4),
      Voice(L"Basia", L"orv software x", 1),
      Voice(L"Anna", L"Microsoft", 1),
      Voice(L"", L"", 1),
      Voice(L"Ann", L"Microsoft", 1),
      Voice(L"\xFF21nna", L"Other", 1),
      Voice(L"anna", L"Other", 1),
      Voice(L"Celina", L"Orvel Software Ltd", 1),
      Voice(L"Dora", L"Other", 3),
  };
  for (size_t i = 0; i < voices.size(); ++i) {
    EXPECT_FALSE(CompareVoices(voices[i], voices[i])) << "voice " << i << " sorts before itself";
    for (size_t j = 0; j < voices.size(); ++j) {
      const bool ij = CompareVoices(voices[i], voices[j]), ji = CompareVoices(voices[j], voices[i]);
      EXPECT_FALSE(ij && ji) << i << " and " << j << " both come first";
      for (size_t k = 0; k < voices.size(); ++k) {
        if (ij && CompareVoices(voices[j], voices[k])) {
          EXPECT_TRUE(CompareVoices(voices[i], voices[k]))
              << i << " < " << j << " < " << k << " but not " << i << " < " << k;
        }
        // Incomparability is transitive too.
        const bool jk = CompareVoices(voices[j], voices[k]), kj = CompareVoices(voices[k], voices[j]);
        const bool ik = CompareVoices(voices[i], voices[k]), ki = CompareVoices(voices[k], voices[i]);
        if (!ij && !ji && !jk && !kj) {
          EXPECT_TRUE(!ik && !ki) << i << " ~ " << j << " ~ " << k;
        }
      }
    }
  }
}

TEST(VoiceOrder, Rules) {
  struct Case {
    VoiceInfo a, b;
    bool aFirst;
  } cases[] = {
      // Maker parameters first, whatever the names and vendors.
      {Voice(L"Zofia", L"Other", 2), Voice(L"Anna", L"ORV Software", 1), true},
      // Then the maker's vendors, ignoring case.
      {Voice(L"Zed", L"orv SOFTWARE", 1), Voice(L"Anna", L"Microsoft", 1), true},
      {Voice(L"Zed", L"ORVEL SOFTWARE GmbH", 1), Voice(L"Anna", L"Microsoft", 1), true},
      // Among maker voices the higher edition, whatever the names.
      {Voice(L"Zofia", L"ORV Software", 4), Voice(L"Adam", L"ORV Software", 3), true},
      {Voice(L"Zofia", L"ORV Software", 3), Voice(L"Adam", L"ORV Software", 2), true},
      {Voice(L"Adam", L"ORV Software", 2), Voice(L"Zofia", L"ORV Software", 4), false},
      // Then the names by UTF-16 code units: upper case before lower case, a prefix first.
      {Voice(L"Zed", L"Other", 1), Voice(L"anna", L"Other", 1), true},
      {Voice(L"Ann", L"Other", 1), Voice(L"Anna", L"Other", 1), true},
      {Voice(L"\xFF21", L"Other", 1), Voice(L"z", L"Other", 1), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.a.name + L" / " + c.b.name));
    EXPECT_EQ(c.aFirst, CompareVoices(c.a, c.b));
    EXPECT_EQ(!c.aFirst, CompareVoices(c.b, c.a));
  }
}

// ---- Enumeration ---------------------------------------------------------------------------

class VoiceEnumeration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(S_OK, fakesapi::EnsureRegistered());
    ASSERT_TRUE(SUCCEEDED(com.hr()));
  }
  ScopedCom com;
  fakesapi::Session fake;
};

TEST_F(VoiceEnumeration, SortedListWithMakerAndOtherVoices) {
  const std::wstring own = ProcessLetters();
  ScopedKey agataKey(HKEY_LOCAL_MACHINE, L"Software\\Orvel\\Orvel Vokant\\AgataMgr" + own + L"22");
  ScopedKey ewaKey(HKEY_LOCAL_MACHINE, L"Software\\Orvel\\Orvel 2 Vokant\\EwaMgr" + own + L"16");
  ASSERT_TRUE(agataKey.ok() && ewaKey.ok());
  agataKey.SetDword(L"Edition", 4);
  agataKey.SetString(L"Version", L"1.6.0.0");
  ewaKey.SetDword(L"Edition", 3);

  fake.AddVoice({L"Microsoft Anna",
                 L"Microsoft Anna - English",
                 L"Microsoft Anna",
                 L"Microsoft",
                 L"409",
                 {L"EngineProperties"},
                 true});
  fake.AddVoice({L"Orvel Vokant JanMgr", L"Jan", L"Jan", L"ORV Software", L"415", {}, true});
  fake.AddVoice({L"Orvel Vokant AgataMgr" + own + L"22",
                 L"Agata",
                 L"Agata",
                 L"ORV Software",
                 L"415;409",
                 {L"AddRemoveWord", L"Orvel Edit Simple Lex"},
                 true});
  fake.AddVoice({L"Orvel 2 Vokant EwaMgr" + own + L"16", L"Ewa", L"Ewa", L"Orvel Software", L"415", {}, true});
  fake.AddVoice({L"Lowercase", L"Aaron", L"Aaron", L"orv software", L"419", {}, true});
  fake.AddVoice({L"Serbian", L"Milica", L"Milica", L"Other", L"81A", {}, true});
  fake.AddVoice({L"NoLanguage", L"Zed", L"Zed", L"Other", L"", {}, true});
  // Enumeration uses Item(index), never Reset or Next.
  fake.SetFailure(L"Reset", E_NOTIMPL);
  fake.SetFailure(L"Next", E_NOTIMPL);

  std::deque<VoiceInfo> voices;
  ASSERT_EQ(7, EnumerateVoices(voices));
  std::sort(voices.begin(), voices.end(), CompareVoices);

  struct Expect {
    const wchar_t* name;
    const wchar_t* plainName;
    LANGID language;
    int row;
    int type;
    int rate;
    DWORD dialogs;
    std::wstring productId;  // empty: no maker parameters
  } expected[] = {
      {L"Agata (Ateliv 22 kHz)", L"Agata", 0x415, 52, 4, 22,
       VOICE_DIALOG_ADD_REMOVE_WORD | VOICE_DIALOG_EDIT_SIMPLE_LEX, L"VOICE_AGATAMGR" + Upper(own)},
      {L"Ewa", L"", 0x415, 52, 3, 16, 0, L"VOICE_EWAMGR" + Upper(own)},
      {L"Jan", L"", 0x415, 52, 2, -1, 0, L"VOICE_JANMGR"},
      {L"Aaron", L"", 0x419, 55, 1, -1, 0, L""},
      {L"Microsoft Anna", L"", 0x409, 13, 1, -1, VOICE_DIALOG_ENGINE_PROPERTIES, L""},
      {L"Milica", L"", 0x81A, 25, 1, -1, 0, L""},  // Serbian finds the Croatian row
      {L"Zed", L"", 1033, 13, 1, -1, 0, L""},      // no Language attribute
  };
  ASSERT_EQ(std::size(expected), voices.size());
  for (size_t i = 0; i < voices.size(); ++i) {
    const VoiceInfo& v = voices[i];
    const auto& e = expected[i];
    SCOPED_TRACE(testing::Message() << "entry " << i << ": " << Narrow(v.name));
    EXPECT_EQ(e.name, v.name);
    EXPECT_EQ(e.plainName, v.plainName);
    EXPECT_EQ(e.language, v.language);
    EXPECT_EQ(e.row, v.languageRow);
    EXPECT_EQ(e.type, v.type);
    EXPECT_EQ(e.rate, v.samplingRate);
    EXPECT_EQ(e.dialogs, v.dialogs);
    EXPECT_TRUE(v.valid);
    EXPECT_EQ(VOICE_RESERVED_ENUMERATED, v.reserved);
    EXPECT_EQ(VOICE_ENGINE_SAPI5, v.engineKind);
    EXPECT_GE(v.index, 0);
    ASSERT_EQ(!e.productId.empty(), v.params != nullptr);
    if (v.params) {
      EXPECT_EQ(e.productId, v.params->productId);
    }
  }
  EXPECT_EQ(L"1.6.0.0", voices[0].params->version);
  EXPECT_TRUE(voices[1].params->secondGeneration);
  // Token indexes are the enumeration positions: all different.
  std::vector<int> indexes;
  for (const VoiceInfo& v : voices) indexes.push_back(v.index);
  std::sort(indexes.begin(), indexes.end());
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6}), indexes);
}

TEST_F(VoiceEnumeration, MakerVoiceForLanguage) {
  fake.AddVoice({L"Orvel Vokant OlaMgr", L"Ola", L"Ola", L"ORV Software", L"415", {}, true});
  fake.AddVoice({L"Lowercase", L"Ivan", L"Ivan", L"orv software", L"419", {}, true});
  fake.AddVoice({L"Other", L"Anna", L"Anna", L"Microsoft", L"409", {}, true});
  fake.AddVoice({L"MakerUS", L"Kate", L"Kate", L"Orvel Software", L"409", {}, true});

  VoiceManager manager;
  ASSERT_TRUE(manager.Start());
  ASSERT_EQ(4, manager.VoiceCount());
  const int polish = manager.FindMakerVoiceForLanguage(0x415);
  ASSERT_GE(polish, 0);
  EXPECT_EQ(L"Ola", manager.Voices()[static_cast<size_t>(polish)].name);
  const int english = manager.FindMakerVoiceForLanguage(0x409);
  ASSERT_GE(english, 0);
  EXPECT_EQ(L"Kate", manager.Voices()[static_cast<size_t>(english)].name);
  // The lower-case vendor sorts with the maker's voices but is not the maker's voice.
  EXPECT_EQ(-1, manager.FindMakerVoiceForLanguage(0x419));
  EXPECT_EQ(-1, manager.FindMakerVoiceForLanguage(0x0809));  // all 16 bits must match
}

TEST_F(VoiceEnumeration, UnreadableTokenEndsTheEnumeration) {
  fake.AddVoice({L"A1", L"First", L"First", L"Other", L"409", {}, true});
  fake.AddVoice({L"B2", L"", L"Second", L"Other", L"409", {}, true});  // no default value
  fake.AddVoice({L"C3", L"Third", L"Third", L"Other", L"409", {}, true});
  std::deque<VoiceInfo> voices;
  EXPECT_EQ(-1, EnumerateVoices(voices));
  ASSERT_EQ(3u, voices.size());
  EXPECT_TRUE(voices[0].valid);
  EXPECT_EQ(L"First", voices[0].name);
  for (size_t i = 1; i < 3; ++i) {
    EXPECT_FALSE(voices[i].valid) << i;
    EXPECT_EQ(-1, voices[i].index) << i;
    EXPECT_EQ(-1, voices[i].languageRow) << i;
    EXPECT_EQ(1, voices[i].type) << i;
  }
}

TEST_F(VoiceEnumeration, TokenWithoutAttributesEndsTheEnumeration) {
  fake.AddVoice({L"A1", L"First", L"First", L"Other", L"409", {}, false});
  std::deque<VoiceInfo> voices;
  EXPECT_EQ(-1, EnumerateVoices(voices));
  ASSERT_EQ(1u, voices.size());
  EXPECT_FALSE(voices[0].valid);
}

TEST_F(VoiceEnumeration, CategoryFailuresGiveAnEmptyList) {
  fake.AddVoice({L"A1", L"First", L"First", L"Other", L"409", {}, true});
  for (const wchar_t* method : {L"SetId", L"EnumTokens", L"GetCount"}) {
    SCOPED_TRACE(Narrow(method));
    fake.ClearFailures();
    fake.SetFailure(method, E_FAIL);
    std::deque<VoiceInfo> voices(2);
    EXPECT_EQ(-1, EnumerateVoices(voices));
    EXPECT_TRUE(voices.empty());
  }
}

}  // namespace
