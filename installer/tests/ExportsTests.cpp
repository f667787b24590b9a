// The exports called as the NSIS host calls them, with a fake host.
#include <Exports.h>
#include <FakeNsisHost.h>
#include <PluginApp.h>

#include "PluginTestSupport.h"

#include <gtest/gtest.h>

using gwplugin_test::FakeNsisHost;
using Texts = std::vector<std::wstring>;

namespace {

using gwplugin_test::HiddenWindowOfThisThread;

// Each test starts with no application object, as a freshly loaded DLL does. The catalogue
// download goes where nothing listens, so it ends at once.
class Exports : public testing::Test {
 protected:
  void SetUp() override { gwplugin::DestroyPluginApp(); }
  void TearDown() override { gwplugin::DestroyPluginApp(); }
  gwplugin_test::ScopedEnvironment m_gateway{L"ORV_GW_TEST_GATEWAY", gwplugin_test::RefusedGateway()};
};

TEST_F(Exports, ConfigurationTakesTheProfileInAnyCase) {
  struct Case {
    const wchar_t* profile;
    const wchar_t* flag;
    int profile_flag;
    bool applications;
  } cases[] = {
      {L"emotivar", L"1", 1, true},
      {L"EMOTIVAR", L"2", 1, false},
      {L"other", L"0x1", 0, true},
      {L"", L"0", 0, false},
  };
  for (const Case& c : cases) {
    FakeNsisHost host;
    host.Push(L"bottom marker");
    host.Push(c.flag);
    host.Push(L"third text");
    host.Push(L"Orvel-Setup/1.0");
    host.Push(c.profile);
    host.Call(&gwplugin::Configuration);
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    EXPECT_EQ(c.profile_flag, app.profileFlag) << testing::PrintToString(std::wstring(c.profile));
    EXPECT_EQ(c.applications, app.applicationsCheckBox) << testing::PrintToString(std::wstring(c.flag));
    EXPECT_EQ(L"Orvel-Setup/1.0", app.userAgent);
    EXPECT_EQ(L"third text", app.secondConfigurationText);
    EXPECT_EQ(Texts{L"bottom marker"}, host.Stack());
  }
}

TEST_F(Exports, HasBuiltInProductsBeforeInitialize) {
  FakeNsisHost host;
  host.Call(&gwplugin::HasBuiltInProducts);
  EXPECT_EQ(Texts{L"BUILTIN_NONE"}, host.Stack());
  EXPECT_EQ(1, host.callbackRegistrations) << "the unload callback keeps the DLL and its state";
}

TEST_F(Exports, InitializeTakesDescriptorsUpToEndAndLeavesTheRestAlone) {
  FakeNsisHost host;
  host.SetVariable(nsis::kVarLanguage, L"1045");
  host.SetVariable(nsis::kVarExeDir, L"C:\\no\\such\\folder");
  host.Push(L"MARKER");
  host.Push(L"END");
  host.Push(L"ORVEL_PARLON||0|C:\\setup\\parlon.exe|ignored");
  host.Push(L"VOICE_WISLA|1.2.0.0|0|C:\\setup\\wisla.exe");
  host.Push(L"C:\\temp\\catalogue.xml");
  host.Push(L"12");
  host.Call(&gwplugin::Initialize);

  EXPECT_EQ(Texts{L"MARKER"}, host.Stack());
  ASSERT_EQ(1u, host.codeSegmentCalls.size());
  EXPECT_EQ(11, host.codeSegmentCalls[0].first);
  EXPECT_EQ(nullptr, host.codeSegmentCalls[0].second);

  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  EXPECT_EQ(1045, app.langid);
  ASSERT_EQ(2u, app.catalogue.builtInProducts.size());
  const auto& wisla = *app.catalogue.builtInProducts[0];
  EXPECT_EQ(L"VOICE_WISLA", wisla.id);
  EXPECT_EQ(VersionNumber(1, 2, 0, 0), wisla.version);
  EXPECT_EQ(0, wisla.extractFunction);
  EXPECT_EQ(L"C:\\setup\\wisla.exe", wisla.instFile);
  ASSERT_GE(wisla.VoiceRow(), 0);
  const auto& parlon = *app.catalogue.builtInProducts[1];
  EXPECT_EQ(VersionNumber(), parlon.version) << "an empty field keeps its place and the default";
  EXPECT_EQ(L"C:\\setup\\parlon.exe", parlon.instFile);
  EXPECT_EQ(1, parlon.ApplicationRow());

  host.Call(&gwplugin::HasBuiltInProducts);
  host.Call(&gwplugin::CheckReady);
  EXPECT_EQ((Texts{L"NO_DATA", L"BUILTIN_PRESENT", L"MARKER"}), host.Stack());
}

TEST_F(Exports, InitializeOnAnEmptyStack) {
  FakeNsisHost host;
  host.Call(&gwplugin::Initialize);
  ASSERT_EQ(1u, host.codeSegmentCalls.size());
  EXPECT_EQ(-1, host.codeSegmentCalls[0].first);
  EXPECT_EQ(nullptr, host.codeSegmentCalls[0].second);
  EXPECT_TRUE(host.Stack().empty());
  host.Call(&gwplugin::CheckReady);
  EXPECT_NE(0, gwplugin::ThePluginApp().catalogueResult()) << "the catalogue wait has ended";
  EXPECT_TRUE(gwplugin::ThePluginApp().OffersBuilt());
  host.Call(&gwplugin::HasBuiltInProducts);
  EXPECT_EQ((Texts{L"BUILTIN_NONE", L"NO_DATA"}), host.Stack());
}

TEST_F(Exports, ADescriptorWithABadVersionIsSkipped) {
  FakeNsisHost host;
  host.Push(L"END");
  host.Push(L"VOICE_WARTA|1.6.0.0|3|C:\\warta.exe");
  host.Push(L"VOICE_ODRA|1.x|3|C:\\odra.exe");
  host.Push(L"");
  host.Push(L"0");
  host.Call(&gwplugin::Initialize);
  auto& products = gwplugin::ThePluginApp().catalogue.builtInProducts;
  ASSERT_EQ(1u, products.size()) << "Initialize must go on after a bad descriptor";
  EXPECT_EQ(L"VOICE_WARTA", products[0]->id);
  EXPECT_EQ(3, products[0]->extractFunction);
}

// An 8192-character host: descriptors longer than 1024 characters pass whole.
TEST_F(Exports, LongDescriptorsOfAn8192Host) {
  FakeNsisHost host(8192);
  const std::wstring long_path = L"C:\\" + std::wstring(5000, L'd') + L"\\voice.exe";
  host.Push(L"END");
  host.Push(L"VOICE_NAREW|1.6.0.0|0|" + long_path);
  host.Push(L"C:\\" + std::wstring(7000, L'c'));
  host.Push(L"0");
  host.Call(&gwplugin::Initialize);
  auto& products = gwplugin::ThePluginApp().catalogue.builtInProducts;
  ASSERT_EQ(1u, products.size());
  EXPECT_EQ(long_path, products[0]->instFile) << "length " << products[0]->instFile.size();
  EXPECT_TRUE(host.Stack().empty());
}

TEST_F(Exports, UnloadCallbackEndsTheApplicationObject) {
  FakeNsisHost host;
  host.Call(&gwplugin::HasBuiltInProducts);
  ASSERT_NE(nullptr, gwplugin::PluginAppIfAny());
  ASSERT_TRUE(gwplugin::PluginAppIfAny()->Started());
  HWND hidden = HiddenWindowOfThisThread();
  EXPECT_NE(nullptr, hidden) << "the hidden window exists once an export ran";
  EXPECT_EQ(0u, gwplugin::PluginUnloadCallback(nsis::kPluginUnload));
  EXPECT_EQ(nullptr, gwplugin::PluginAppIfAny());
  EXPECT_FALSE(IsWindow(hidden));
}

}  // namespace

#include <DialogTemplates.h>

namespace {

TEST(DialogTemplates, OneTableAndEnglishForOtherLanguages) {
  struct Case {
    LANGID langid;
    int flags, components, progress, checking;
    LANGID resources;
  } cases[] = {
      {1031, 2026, 2023, 2029, 2021, 1031},
      {1033, 2017, 2019, 2015, 2014, 1033},
      {1034, 2027, 2024, 2030, 2020, 3082},
      {1036, 2028, 2025, 2031, 2022, 1036},
      {1045, 2000, 2006, 2012, 2011, 1045},
      // Languages without templates of their own get the English ones, never -1.
      {0x0416, 2017, 2019, 2015, 2014, 1033},
      {0, 2017, 2019, 2015, 2014, 1033},
      {3082, 2017, 2019, 2015, 2014, 1033},
  };
  for (const Case& c : cases) {
    gwplugin::DialogTemplates t = gwplugin::TemplatesForLanguage(c.langid);
    EXPECT_EQ(c.flags, t.flags) << c.langid;
    EXPECT_EQ(c.components, t.components) << c.langid;
    EXPECT_EQ(c.progress, t.progress) << c.langid;
    EXPECT_EQ(c.checking, t.checking) << c.langid;
    EXPECT_EQ(c.resources, gwplugin::ResourceLanguage(c.langid)) << c.langid;
  }
}

// Every page template of the table exists in the plug-in's resources.
TEST(DialogTemplates, PageTemplatesExist) {
  for (LANGID langid : {1031, 1033, 1034, 1036, 1045}) {
    gwplugin::DialogTemplates t = gwplugin::TemplatesForLanguage(langid);
    for (int id : {t.flags, t.components, t.progress})
      EXPECT_NE(nullptr, FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5)))
          << "template " << id << " of " << langid;
  }
}

}  // namespace

#include <stdexcept>

namespace {

// No exception leaves an export: it is caught at the boundary and the export pushes what it
// pushes when there is nothing to offer.
TEST_F(Exports, ExceptionsStopAtTheExportBoundary) {
  FakeNsisHost host;
  host.Push(L"kept");
  auto call = [](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
    gwplugin::RunExport("test", size, vars, top, extra, L"NO_DATA",
                        [](gwplugin::CGWPluginApp&) { throw std::runtime_error("boom"); });
    gwplugin::RunExport("test", size, vars, top, extra, L"cancel",
                        [](gwplugin::CGWPluginApp&) { AfxThrowResourceException(); });
    gwplugin::RunExport("test", size, vars, top, extra, nullptr, [](gwplugin::CGWPluginApp&) { throw 42; });
  };
  host.Call(call);
  EXPECT_EQ((Texts{L"cancel", L"NO_DATA", L"kept"}), host.Stack());
}

}  // namespace
