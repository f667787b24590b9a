// Choosing, checking and loading the language module, with modules built for the tests
// (other versions, no version resource, no or an empty translation list).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LanguageModule.h"
#include "ReaderTestSupport.h"
#include "resource.h"

using namespace orv_reader;
using reader_test::Narrow;

namespace {

std::string VersionText(const FileVersion& v) {
  return std::to_string(v.part[0]) + "." + std::to_string(v.part[1]) + "." + std::to_string(v.part[2]) + "." +
         std::to_string(v.part[3]);
}

TEST(VersionText, CommasAndPointsReadTheSame) {
  struct Case {
    const wchar_t* text;
    const char* expected;
  } cases[] = {
      {L"1, 0, 13, 0", "1.0.13.0"},
      {L"1.0.13.0", "1.0.13.0"},
      {L"1.0.13.7", "1.0.13.7"},
      {L"  2,\t5", "2.5.0.0"},        // blanks skipped, missing parts stay 0
      {L"1.0.13.7.9", "1.0.13.7"},    // at most four parts
      {L"1,0,13beta,4", "1.0.13.4"},  // a part ends at the first other character
      {L"1.0,13", "1.13.0.0"},        // a comma anywhere means commas separate
      {L"", "0.0.0.0"},
      {L"x.1", "0.1.0.0"},
      {L"99999999999.1", "2147483647.1.0.0"},  // saturates instead of overflowing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, VersionText(ParseVersionText(c.text))) << "text \"" << Narrow(c.text) << "\"";
  }
}

TEST(FileVersionResource, ReadFromEveryKindOfModule) {
  struct Case {
    std::wstring path;
    bool readable;
    const char* expected;
  } cases[] = {
      {reader_test::BuiltModule(L"english"), true, "1.0.13.0"},
      {reader_test::BuiltModule(L"polish"), true, "1.0.13.0"},
      {reader_test::BuiltModule(L"romanian"), true, "1.0.13.0"},
      {reader_test::BuiltProgram(), true, "1.0.13.0"},
      {reader_test::TestModule(L"polish_1_0_12"), true, "1.0.12.0"},
      {reader_test::TestModule(L"polish_1_0_13_7"), true, "1.0.13.7"},
      {reader_test::TestModule(L"english_no_version"), false, "0.0.0.0"},
      {reader_test::TestModule(L"english_no_translation"), false, "0.0.0.0"},
      {reader_test::TestModule(L"english_empty_translation"), true, "0.0.0.0"},
      {reader_test::TestModule(L"no_such_module"), false, "0.0.0.0"},
  };
  for (const Case& c : cases) {
    FileVersion version;
    EXPECT_EQ(c.readable, ReadFileVersion(c.path, version)) << Narrow(c.path) << ", error " << GetLastError();
    EXPECT_EQ(c.expected, VersionText(version)) << Narrow(c.path);
  }
}

TEST(FileVersionResource, OnlyTheFirstThreePartsMustMatchTheProgram) {
  struct Case {
    std::wstring module;
    bool compatible;
  } cases[] = {
      {reader_test::BuiltModule(L"english"), true},
      {reader_test::TestModule(L"polish_1_0_13_7"), true},  // a later build of the same release
      {reader_test::TestModule(L"polish_1_0_12"), false},   // the previous release
      {reader_test::TestModule(L"english_no_version"), false},
      {reader_test::TestModule(L"english_no_translation"), false},
      {reader_test::TestModule(L"english_empty_translation"), false},  // reads as 0.0.0.0
      {reader_test::TestModule(L"no_such_module"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.compatible, IsModuleVersionCompatible(reader_test::BuiltProgram(), c.module)) << Narrow(c.module);
  }
}

TEST(ModulePath, GrowsPastAnyFixedBuffer) {
  const std::wstring expected = GetModulePath(nullptr);
  ASSERT_FALSE(expected.empty()) << "error " << GetLastError();
  EXPECT_EQ(expected, GetModulePath(nullptr, 1));
  EXPECT_EQ(expected, GetModulePath(nullptr, 7));
  EXPECT_EQ(expected, GetModulePath(nullptr, expected.size()));  // exactly the length: needs room for NUL
}

TEST(ModulePath, LongFoldersAreNotCut) {
  std::wstring folder = L"C:\\";
  for (int n = 0; n < 40; ++n) folder += L"a long folder name\\";
  ASSERT_GT(folder.size(), 700u);
  const std::wstring program = folder + L"Orvel Murmelin.exe";
  EXPECT_EQ(folder, FolderOf(program));
  EXPECT_EQ(folder + L"lang\\polish.dll", LanguageModulePath(FolderOf(program), L"polish"));
  EXPECT_EQ(L"C:\\", FolderOf(L"C:\\x.exe"));
  EXPECT_EQ(L"", FolderOf(L"x.exe"));
}

TEST(LanguageModuleError, SystemLanguageChoosesTheLanguageName) {
  struct Case {
    LANGID language;
    const wchar_t* name;
  } cases[] = {{1045, L"polish"},  {1048, L"romanian"}, {1033, L"english"},
               {2057, L"english"}, {1031, L"english"},  {0, L"english"}};
  for (const Case& c : cases) {
    EXPECT_STREQ(c.name, LanguageNameForSystemLanguage(c.language)) << "language " << c.language;
  }
}

TEST(LanguageModuleError, BoxTextsByLanguageName) {
  struct Case {
    const wchar_t* name;
    const wchar_t* caption;
    const wchar_t* text;
  } cases[] = {
      {nullptr, L"Resource DLL Error",
       L"An error occured while loading language settings.\nPlease try to reinstall Orvel Murmelin!"},
      {L"english", L"Resource DLL Error",
       L"An error occured while loading language settings.\nPlease try to reinstall Orvel Murmelin!"},
      {L"german", L"Resource DLL Error",
       L"An error occured while loading language settings.\nPlease try to reinstall Orvel Murmelin!"},
      {L"polish", L"Błąd ładowania DLL",
       L"Błąd ładowania wersji językowych.\nProszę ponownie zainstalować Orvel Murmelin!"},
      {L"POLISH", L"Błąd ładowania DLL",
       L"Błąd ładowania wersji językowych.\nProszę ponownie zainstalować Orvel Murmelin!"},
      {L"Romanian", L"Resource DLL Error",
       L"An error occured while loading language settings.\nPlease try to reinstall Orvel Murmelin!"},
  };
  // This test program carries the reader's own string table.
  const HINSTANCE self = GetModuleHandleW(nullptr);
  for (const Case& c : cases) {
    const LanguageErrorTextIds ids = LanguageErrorTexts(c.name);
    EXPECT_EQ(c.caption, LoadModuleString(self, ids.caption)) << "name " << (c.name ? Narrow(c.name) : "(null)");
    EXPECT_EQ(c.text, LoadModuleString(self, ids.text)) << "name " << (c.name ? Narrow(c.name) : "(null)");
  }
  EXPECT_EQ(IDS_LANGERR_CAPTION_ROMANIAN, LanguageErrorTexts(L"romanian").caption);
  EXPECT_EQ(IDS_LANGERR_TEXT_ROMANIAN, LanguageErrorTexts(L"romanian").text);
  EXPECT_FALSE(LoadModuleString(self, IDS_OLE_INIT_FAILED).empty());
}

// A program folder with copies of the built modules, and an environment that records what
// the choice did instead of showing boxes or loading libraries.
class ModuleChoice : public ::testing::Test {
 protected:
  void SetUp() override {
    // Any file with the program's version serves as "the program" here.
    ASSERT_TRUE(folder.Copy(reader_test::BuiltProgram(), L"Orvel Murmelin.exe"));
    environment.programPath = folder.Path() + L"Orvel Murmelin.exe";
    environment.readLanguageValue = [this](const wchar_t* keyPath, std::wstring& value) {
      const bool maker = std::wstring(keyPath) == L"SOFTWARE\\ORVEL";
      const bool app = std::wstring(keyPath) == L"SOFTWARE\\Orvel\\Orvel Murmelin";
      EXPECT_TRUE(maker || app) << Narrow(keyPath);
      const std::wstring* stored = maker ? makerValue : app ? appValue : nullptr;
      if (stored == nullptr) return false;
      value = *stored;
      return true;
    };
    environment.systemLanguage = [this] { return systemLanguage; };
    environment.showError = [this](const wchar_t* name) { errors.push_back(name ? name : L"(null)"); };
    environment.loadLibrary = [this](const std::wstring& path) {
      loaded.push_back(path);
      return loadFails ? nullptr : reinterpret_cast<HMODULE>(0x10000);
    };
  }

  void Install(const std::wstring& source, const std::wstring& language) {
    ASSERT_TRUE(folder.Copy(source, L"lang\\" + language + L".dll"));
  }
  std::wstring ModulePath(const std::wstring& language) const { return folder.Path() + L"lang\\" + language + L".dll"; }

  reader_test::TempFolder folder;
  LanguageModuleEnvironment environment;
  const std::wstring* makerValue = nullptr;
  const std::wstring* appValue = nullptr;
  LANGID systemLanguage = 1033;
  bool loadFails = false;
  std::vector<std::wstring> errors;
  std::vector<std::wstring> loaded;
};

TEST_F(ModuleChoice, NamedModuleOfTheProgramsVersionIsLoaded) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  Install(reader_test::BuiltModule(L"polish"), L"polish");
  const std::wstring polish = L"polish";
  makerValue = &polish;
  EXPECT_NE(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_EQ(std::vector<std::wstring>{ModulePath(L"polish")}, loaded);
  EXPECT_TRUE(errors.empty());
}

TEST_F(ModuleChoice, MissingNamedModuleFallsBackToEnglishSilently) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  const std::wstring german = L"german";
  makerValue = &german;
  EXPECT_NE(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_EQ(std::vector<std::wstring>{ModulePath(L"english")}, loaded);
  EXPECT_TRUE(errors.empty()) << Narrow(errors.empty() ? L"" : errors[0]);
}

TEST_F(ModuleChoice, ModuleOfThePreviousReleaseOrWithoutTheWholeMainDialogIsRefused) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  static const std::wstring polish = L"polish";
  makerValue = &polish;
  for (const wchar_t* refused : {L"polish_1_0_12", L"polish_no_main_dialog", L"polish_no_lexicon_button"}) {
    SCOPED_TRACE(Narrow(refused));
    loaded.clear();
    Install(reader_test::TestModule(refused), L"polish");
    EXPECT_NE(nullptr, LoadLanguageModuleFrom(environment));
    EXPECT_EQ(std::vector<std::wstring>{ModulePath(L"english")}, loaded);
    EXPECT_TRUE(errors.empty());
  }
}

TEST_F(ModuleChoice, LaterBuildOfTheSameReleaseIsAccepted) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  Install(reader_test::TestModule(L"polish_1_0_13_7"), L"polish");
  const std::wstring polish = L"polish";
  makerValue = &polish;
  EXPECT_NE(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_EQ(std::vector<std::wstring>{ModulePath(L"polish")}, loaded);
}

TEST_F(ModuleChoice, ApplicationKeyIsReadOnlyWhenTheMakerKeyHasNoValue) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  Install(reader_test::BuiltModule(L"romanian"), L"romanian");
  const std::wstring romanian = L"romanian";
  appValue = &romanian;
  EXPECT_NE(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_EQ(std::vector<std::wstring>{ModulePath(L"romanian")}, loaded);

  // An empty maker value was read: it means "no language", not "ask the other key".
  loaded.clear();
  const std::wstring empty;
  makerValue = &empty;
  systemLanguage = 1048;
  EXPECT_EQ(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_TRUE(loaded.empty());
  EXPECT_EQ(std::vector<std::wstring>{L"romanian"}, errors);
}

TEST_F(ModuleChoice, NoLanguageValueShowsTheBoxOfTheSystemLanguage) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  struct Case {
    LANGID language;
    const wchar_t* box;
  } cases[] = {{1045, L"polish"}, {1048, L"romanian"}, {1033, L"english"}, {1036, L"english"}};
  for (const Case& c : cases) {
    errors.clear();
    systemLanguage = c.language;
    EXPECT_EQ(nullptr, LoadLanguageModuleFrom(environment)) << "language " << c.language;
    EXPECT_EQ(std::vector<std::wstring>{c.box}, errors) << "language " << c.language;
  }
  EXPECT_TRUE(loaded.empty());
}

TEST_F(ModuleChoice, NoUsableEnglishModuleShowsTheEnglishBox) {
  const std::wstring polish = L"polish";
  makerValue = &polish;
  struct Case {
    const wchar_t* englishModule;  // nullptr: none installed
  } cases[] = {{nullptr},
               {L"english_1_0_12"},
               {L"english_no_version"},
               {L"english_empty_translation"},
               {L"polish_no_main_dialog"},
               {L"polish_no_lexicon_button"}};
  for (const Case& c : cases) {
    errors.clear();
    DeleteFileW(ModulePath(L"english").c_str());
    if (c.englishModule) Install(reader_test::TestModule(c.englishModule), L"english");
    EXPECT_EQ(nullptr, LoadLanguageModuleFrom(environment)) << Narrow(c.englishModule ? c.englishModule : L"none");
    EXPECT_EQ(std::vector<std::wstring>{L"english"}, errors) << Narrow(c.englishModule ? c.englishModule : L"none");
  }
  EXPECT_TRUE(loaded.empty());
}

TEST_F(ModuleChoice, ModuleThatPassesButDoesNotLoadEndsWithoutABox) {
  Install(reader_test::BuiltModule(L"english"), L"english");
  const std::wstring english = L"english";
  makerValue = &english;
  loadFails = true;
  EXPECT_EQ(nullptr, LoadLanguageModuleFrom(environment));
  EXPECT_EQ(1u, loaded.size());
  EXPECT_TRUE(errors.empty());
}

TEST(UiLanguage, CodeOfEachModuleAndTheLanguageParameter) {
  struct Case {
    const wchar_t* module;
    const wchar_t* code;
  } cases[] = {{L"english", L"en"}, {L"polish", L"pl"}, {L"romanian", L"ro"}};
  for (const Case& c : cases) {
    HMODULE module = LoadLibraryW(reader_test::BuiltModule(c.module).c_str());
    ASSERT_NE(nullptr, module) << Narrow(c.module) << ", error " << GetLastError();
    EXPECT_EQ(c.code, GetUiLanguageCode(module)) << Narrow(c.module);
    EXPECT_EQ(std::wstring(L"https://gw.example/p.php?a=OV&ap=OMN&v=1.0.13&l=") + c.code,
              AppendLanguageParam(L"https://gw.example/p.php?a=OV&ap=OMN&v=1.0.13", GetUiLanguageCode(module)));
    FreeLibrary(module);
  }
}

}  // namespace
