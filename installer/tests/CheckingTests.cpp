// The checking dialog, its templates and the plug-in's texts in the five languages, and the
// wait for the catalogue as CheckReady does it (downloads that are refused or never answered;
// the gateway tests cover real catalogues).
#include <CheckingDlg.h>
#include <DialogTemplates.h>
#include <Exports.h>
#include <FakeNsisHost.h>
#include <PluginApp.h>
#include <UniqueHandle.h>
#include <Utilities.h>

#include "PluginTestSupport.h"
#include "SilentListener.h"

#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <chrono>

using gwplugin_test::FakeNsisHost;
using gwplugin_test::ScopedEnvironment;
using gwplugin_test::SilentListener;
using gwplugin_test::TempFolder;
using Texts = std::vector<std::wstring>;

namespace {

struct LanguageCase {
  LANGID langid;
  int template_id;
  const wchar_t* text;
};

const LanguageCase kLanguages[] = {
    {1031, 2021, L"Produktinformationen werden geprüft. Bitte warten..."},
    {1033, 2014, L"Checking information on products. Please wait..."},
    {1034, 2020, L"Comprobando la información de los productos. Espere, por favor..."},
    {1036, 2022, L"Vérification des informations sur les produits. Veuillez patienter..."},
    {1045, 2011, L"Sprawdzanie informacji o produktach. Proszę czekać..."},
};

// --------------------------------------------------------------------------------------------
// Templates and texts

TEST(CheckingDialog, EachLanguageHasItsOwnTemplate) {
  HMODULE module = GetModuleHandleW(nullptr);
  for (const LanguageCase& c : kLanguages) {
    const int id = gwplugin::TemplatesForLanguage(c.langid).checking;
    EXPECT_EQ(c.template_id, id) << c.langid;
    EXPECT_NE(nullptr, FindResourceExW(module, RT_DIALOG, MAKEINTRESOURCEW(id), gwplugin::ResourceLanguage(c.langid)))
        << "template " << id << " is not stored as language " << gwplugin::ResourceLanguage(c.langid);

    gwplugin::CCheckingDlg dialog(static_cast<UINT>(id), nullptr);
    std::wstring shown;
    LONG_PTR style = 0;
    dialog.SetLook(
        [&] {
          wchar_t text[256] = L"";
          GetDlgItemTextW(dialog.m_hWnd, gwplugin::CCheckingDlg::kIdText, text, 256);
          shown = text;
          style = GetWindowLongPtrW(dialog.m_hWnd, GWL_STYLE);
          dialog.EndDialog(gwplugin::CCheckingDlg::kEndedBuilt);
        },
        0);
    EXPECT_EQ(gwplugin::CCheckingDlg::kEndedBuilt, dialog.DoModal()) << c.langid;
    EXPECT_EQ(c.text, shown) << c.langid;
    EXPECT_EQ(0, style & WS_SYSMENU) << "the dialog offers no close button";
  }
}

// The texts the pages and the install queue load: present in every language of the plug-in,
// Polish (the fallback) complete, and with the same format arguments as the English text.
TEST(PluginTexts, EveryLanguageHasEveryTextWithTheSameArguments) {
  const UINT ids[] = {2009, 2010, 2011, 2012, 2013, 2014, 2015, 2016, 2017, 2018, 2019, 2020, 2022, 2023, 2024};
  auto arguments = [](const std::wstring& text) {
    std::wstring found;
    for (std::size_t i = text.find(L'%'); i != std::wstring::npos && i + 1 < text.size(); i = text.find(L'%', i + 2))
      found += text.substr(i, 2);
    return found;
  };
  HMODULE module = GetModuleHandleW(nullptr);
  for (UINT id : ids) {
    std::wstring english;
    ASSERT_TRUE(gwplugin::LoadLangString(id, 1033, english)) << id;
    for (LANGID langid : {1031, 1033, 1034, 1036, 1045}) {
      // The language's own block holds the text: no fallback hides a gap.
      EXPECT_NE(nullptr, FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), langid))
          << "no string block of " << id << " in " << langid;
      std::wstring text;
      EXPECT_TRUE(gwplugin::LoadLangString(id, langid, text)) << id << " in " << langid;
      EXPECT_FALSE(text.empty()) << id << " in " << langid;
      EXPECT_EQ(arguments(english), arguments(text)) << id << " in " << langid << ": " << testing::PrintToString(text);
      if (langid != 1033 && id != 2022) {
        EXPECT_NE(english, text) << id << " in " << langid << " is not translated";
      }
    }
  }
  std::wstring text;
  EXPECT_TRUE(gwplugin::LoadLangString(2011, 1033, text));
  EXPECT_EQ(L"(available for download)", text);
  EXPECT_TRUE(gwplugin::LoadLangString(2024, 0x0416, text)) << "other languages fall back to Polish";
  EXPECT_EQ(L"głosy zainstalowane", text);
}

// --------------------------------------------------------------------------------------------
// The dialog's own ways to end

TEST(CheckingDialog, EndsOnItsLimitOnCloseAndWhenDoneButNotOnEscape) {
  {
    gwplugin::CCheckingDlg dialog(2014, nullptr);
    dialog.SetWaitLimit(50);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(gwplugin::CCheckingDlg::kEndedTimedOut, dialog.DoModal());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  }
  {
    gwplugin::CCheckingDlg dialog(2014, nullptr);
    dialog.SetLook([&] { dialog.PostMessage(WM_CLOSE, 0, 0); }, 0);
    EXPECT_EQ(gwplugin::CCheckingDlg::kEndedClosed, dialog.DoModal());
  }
  {
    gwplugin::CCheckingDlg dialog(2014, nullptr);
    int looks = 0;
    dialog.SetLook(
        [&] {
          // Escape and Enter arrive as IDCANCEL and IDOK: the dialog stays up.
          dialog.SendMessage(WM_COMMAND, IDCANCEL, 0);
          dialog.SendMessage(WM_COMMAND, IDOK, 0);
          ++looks;
          dialog.PostMessage(gwplugin::WM_CHECKING_DONE, 0, 0);
        },
        0);
    EXPECT_EQ(gwplugin::CCheckingDlg::kEndedBuilt, dialog.DoModal());
    EXPECT_EQ(1, looks);
  }
}

// --------------------------------------------------------------------------------------------
// CheckReady's wait

const char kBuiltInCatalogue[] =
    "<content protocol=\"1.0\"><prodgroup><label>OP_GROUP_PL_VOICES</label><descs/><products>"
    "<prod><label>VOICE_PILICA</label><version>1.6.0.0</version><file>https://x.test/p.exe</file><os>7</os><descs/></"
    "prod>"
    "</products></prodgroup></content>";

class CatalogueWait : public testing::Test {
 protected:
  void SetUp() override {
    gwplugin::DestroyPluginApp();
    m_tracePath = m_folder / L"trace.txt";
    m_cataloguePath = m_folder / L"catalogue.xml";
    ASSERT_TRUE(gwplugin_test::WriteBytes(m_cataloguePath, kBuiltInCatalogue));
  }
  void TearDown() override { gwplugin::DestroyPluginApp(); }

  // Configuration and Initialize as a script calls them, with or without the installer's own
  // product (listed by the built-in catalogue).
  void Initialize(bool with_builtin) {
    m_host.Push(L"0");
    m_host.Push(L"");
    m_host.Push(L"OrvTest/1.0");
    m_host.Push(L"");
    m_host.Call(&gwplugin::Configuration);
    m_host.SetVariable(nsis::kVarLanguage, L"1033");
    m_host.Push(L"END");
    if (with_builtin) m_host.Push(L"VOICE_PILICA|1.6.0.0|0|C:\\setup\\pilica.exe");
    m_host.Push(m_cataloguePath);
    m_host.Push(L"0");
    m_host.Call(&gwplugin::Initialize);
  }
  std::wstring CheckReady() {
    m_host.Call(&gwplugin::CheckReady);
    std::wstring answer;
    m_host.Pop(answer);
    return answer;
  }
  std::vector<std::string> Trace() const { return gwplugin_test::ReadTrace(m_tracePath); }
  static int Count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; }));
  }

  TempFolder m_folder;
  std::wstring m_tracePath;
  std::wstring m_cataloguePath;
  ScopedEnvironment m_trace{L"ORV_GW_TEST_TRACE", (m_folder / L"trace.txt").c_str()};
  FakeNsisHost m_host;
};

// The regression test for the race: the download ends (refused at once) while the NSIS
// thread is busy elsewhere and dispatches nothing. CheckReady must answer from built offers,
// not from the empty lists of before.
TEST_F(CatalogueWait, RefusedDownloadEndedBeforeCheckReady) {
  ScopedEnvironment gateway(L"ORV_GW_TEST_GATEWAY", gwplugin_test::RefusedGateway());
  for (bool with_builtin : {true, false}) {
    gwplugin::DestroyPluginApp();
    DeleteFileW(m_tracePath.c_str());
    Initialize(with_builtin);
    gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
    ASSERT_TRUE(app.WaitForDownloadEnd(30000)) << "the refused download did not end";
    EXPECT_FALSE(app.OffersBuilt()) << "only the NSIS thread builds the offers";
    EXPECT_EQ(with_builtin ? L"OK" : L"NO_DATA", CheckReady()) << "with built-in products: " << with_builtin;
    EXPECT_TRUE(app.OffersBuilt());
    EXPECT_NE(static_cast<int>(DownloadResult::Success), app.catalogueResult());
    const std::vector<std::string> trace = Trace();
    EXPECT_EQ(0, Count(trace, "checking dialog")) << "the download had ended: no dialog";
    EXPECT_EQ(1, Count(trace, "offers built:"));
    EXPECT_EQ(1, Count(trace, "catalogue download failed: ")) << testing::PrintToString(trace);
    // A second wait (ShowFlagsDialog after CheckReady) neither waits nor builds again, and the
    // hand-over message that arrives late changes nothing.
    EXPECT_EQ(with_builtin ? L"OK" : L"NO_DATA", CheckReady());
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(1, Count(Trace(), "offers built:"));
  }
}

// The download cannot end before CheckReady: the checking dialog is up until it has failed
// (here: a server that never answers, and short time-outs).
TEST_F(CatalogueWait, DialogWaitsForAFailingDownloadAndNoLonger) {
  SilentListener server;
  ASSERT_NE(0, server.Port()) << "winsock error " << server.Error();
  ScopedEnvironment gateway(L"ORV_GW_TEST_GATEWAY",
                            server.Url(L"/orvadmin/modules/orvapi/orv.gateway.orvapi.php?action=content").c_str());
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  // The silent server fails the download at the 1 s connection time-out; the dialog's limit
  // (2 x 1000 + 20000 ms) lies far beyond it, also under a slow emulator.
  app.catalogueTimeouts.connectMilliseconds = 1000;
  app.catalogueTimeouts.lowSpeedSeconds = 20;
  Initialize(true);
  // The trace tells that the download's end, not the dialog's limit, closed the dialog; the
  // time bound only keeps a hang from holding the run.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(L"OK", CheckReady());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60)) << "the wait hung";
  const std::vector<std::string> trace = Trace();
  ASSERT_EQ(1, Count(trace, "checking dialog 2014 shown: Checking information on products. Please wait..."))
      << testing::PrintToString(trace);
  EXPECT_EQ(1, Count(trace, "checking dialog closed"));
  EXPECT_EQ(0, Count(trace, "checking dialog: no catalogue after")) << "the download ended first";
  EXPECT_EQ(1, Count(trace, "offers built: catalogue 0, built-in offer 1, merged offer 1"));
  const int result = app.catalogueResult();
  EXPECT_TRUE(result == static_cast<int>(DownloadResult::TimedOut) ||
              result == static_cast<int>(DownloadResult::Failed))
      << DownloadResultName(static_cast<DownloadResult>(result));
}

// Unloading while the download still runs: the plug-in lets it go without waiting long, and
// the download's end later touches nothing of the application object. A cancel ends the transfer
// at once, so what keeps the worker running past the unload's wait is a slot of the finished
// signal that holds it until the test lets it go.
TEST_F(CatalogueWait, UnloadWhileTheDownloadRuns) {
  SilentListener server;
  ASSERT_NE(0, server.Port()) << "winsock error " << server.Error();
  ScopedEnvironment gateway(L"ORV_GW_TEST_GATEWAY",
                            server.Url(L"/orvadmin/modules/orvapi/orv.gateway.orvapi.php?action=content").c_str());
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  // The download would run for minutes: an unload that waited for it fails the bound below,
  // which is still two hundred times the 50 ms that the unload may wait.
  app.catalogueTimeouts.connectMilliseconds = 300000;
  app.catalogueTimeouts.lowSpeedSeconds = 300;
  app.unloadWaitMs = 50;
  Initialize(true);
  FileDownloadTaskPtr task = app.CatalogueTask();
  ASSERT_TRUE(task);
  auto release = std::make_shared<win::UniqueKernelHandle>(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  ASSERT_TRUE(*release) << GetLastError();
  task->Finished().connect([release](FileDownloadTask&) { WaitForSingleObject(release->get(), 60000); });
  const auto start = std::chrono::steady_clock::now();
  gwplugin::DestroyPluginApp();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_FALSE(task->WaitFinished(0)) << "the unload waited for the download";
  SetEvent(release->get());  // the worker goes on to its end now
  server.Close();
  EXPECT_TRUE(task->WaitFinished(60000)) << "the download never ended";
  EXPECT_EQ(1, Count(Trace(), "the catalogue download is still running at unload"));
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}

TEST_F(CatalogueWait, CheckReadyBeforeInitializeBuildsWhatThereIs) {
  EXPECT_EQ(L"NO_DATA", CheckReady());
  EXPECT_TRUE(gwplugin::ThePluginApp().OffersBuilt());
  EXPECT_EQ(1, Count(Trace(), "no catalogue download was started"));
}

}  // namespace
