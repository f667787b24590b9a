// The catalogue download and the size probes against the local HTTPS gateway
// (testing/gateway), run by with-gateway. The tests write the catalogues they serve into the
// gateway's root folder (ORV_TEST_GATEWAY_ROOT) and point the plug-in at them through its
// test hook.
#include <curl/curl.h>

#include <Exports.h>
#include <FakeNsisHost.h>
#include <PluginApp.h>
#include <SizeProbes.h>

#include "PluginTestSupport.h"
#include "SilentListener.h"
#include "TestGateway.h"

#include <FakeNsisWindow.h>

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <set>

using gwplugin_test::FakeNsisHost;
using gwplugin_test::ScopedEnvironment;
using gwplugin_test::SilentListener;
using gwplugin_test::TempFolder;
using namespace orv_products;

using testgateway::CommittedPrivateBytes;

namespace {

testgateway::GatewayInfo g_gateway;
std::wstring g_root;  // the gateway's root folder, as a Windows path

class GatewayEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testgateway::FindGateway(g_gateway, why)) << why;
    const char* root = std::getenv("ORV_TEST_GATEWAY_ROOT");
    ASSERT_NE(nullptr, root) << "ORV_TEST_GATEWAY_ROOT names the folder the gateway serves";
    g_root = testgateway::UnixPathToWindows(root);
    CreateDirectoryW(g_root.c_str(), nullptr);
    m_trust = std::make_unique<testgateway::TrustedRootCertificate>(g_gateway.caDerPath);
    ASSERT_TRUE(m_trust->Ok()) << m_trust->Failure() << ", error 0x" << std::hex << m_trust->Error();
  }
  void TearDown() override { m_trust.reset(); }

 private:
  std::unique_ptr<testgateway::TrustedRootCertificate> m_trust;
};

testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new GatewayEnvironment);

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string XmlEscaped(std::string text) {
  for (std::size_t i = text.find('&'); i != std::string::npos; i = text.find('&', i + 5)) text.replace(i, 1, "&amp;");
  return text;
}

// A file served at /name while it lives.
class ServedFile {
 public:
  ServedFile(const std::wstring& name, const std::string& bytes) : m_path(g_root + L"\\" + name), m_name(name) {
    EXPECT_TRUE(gwplugin_test::WriteBytes(m_path, bytes)) << "error " << GetLastError();
  }
  ~ServedFile() { DeleteFileW(m_path.c_str()); }
  // The catalogue address the plug-in is given (it adds "&lang=...").
  std::wstring Address(const std::wstring& faults = L"") const {
    return g_gateway.Https(L"/" + m_name + L"?action=content" + faults);
  }

 private:
  std::wstring m_path;
  std::wstring m_name;
};

// Short enough that a hanging server fails a request in seconds, long enough for a TLS
// handshake on a loaded machine or under an i386 emulator.
DownloadTimeouts QuickTimeouts() {
  DownloadTimeouts t;
  t.connectMilliseconds = 10000;
  t.lowSpeedBytesPerSecond = 100;
  t.lowSpeedSeconds = 5;
  return t;
}

// --------------------------------------------------------------------------------------------
// Size probes

bool g_probing = false;
int g_seen_while_probing = 0;
int g_seen_after = 0;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) (g_probing ? g_seen_while_probing : g_seen_after)++;
  return DefWindowProcW(window, message, wParam, lParam);
}

TEST(SizeProbes, BoundedTimedOutAndTheWindowStaysResponsive) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = &RecordingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"OrvProbeTestWindow";
  RegisterClassW(&wc);
  win::UniqueWindow window(
      CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr));
  ASSERT_TRUE(window) << GetLastError();

  struct Case {
    const wchar_t* url;  // path and query on the gateway; null: no InstURL
    std::int64_t preset;
    std::int64_t size;
  } cases[] = {
      {L"/file?size=1000&seed=1", 5, 1000},
      {L"/file?size=300000&seed=2", 5, 300000},
      {L"/file?size=10&seed=3&fault=404", 5, 0},
      // Accepts the request and answers nothing for far longer than the run may take: only the
      // stall time-out ends it.
      {L"/file?size=10&seed=4&fault=hang&hang_seconds=300", 5, 0},
      {L"/file?size=10&seed=5&fault=nolength", 5, 0},
      {nullptr, 77, 77},
      {L"/file?size=4096&seed=6", 5, 4096},
  };
  ProductList products;
  for (const Case& c : cases) {
    auto p = std::make_shared<CProd>();
    p->id = c.url ? c.url : L"no address";
    if (c.url) p->instURL = g_gateway.Https(c.url);
    p->size = c.preset;
    products.push_back(p);
  }
  gwplugin::SizeProbeSettings settings;
  settings.userAgent = L"OrvTest/1.0";
  settings.timeouts = QuickTimeouts();
  settings.maxInFlight = 2;
  // Far beyond the hanging probe's stall time-out: this case is about each probe's own ends.
  settings.deadlineMilliseconds = 120000;

  ASSERT_TRUE(PostMessageW(window.get(), WM_APP, 0, 0));
  g_probing = true;
  const auto start = std::chrono::steady_clock::now();
  gwplugin::SizeProbeReport report = gwplugin::ProbeSizes(products, settings);
  const auto took = std::chrono::steady_clock::now() - start;
  g_probing = false;

  for (std::size_t i = 0; i < products.size(); ++i)
    EXPECT_EQ(cases[i].size, products[i]->size) << testing::PrintToString(products[i]->id);
  EXPECT_EQ(6, report.probed);
  EXPECT_EQ(3, report.sized);
  EXPECT_EQ(2, report.failed) << "the 404 and the hang";
  EXPECT_EQ(2, report.peakInFlight) << "never more probes at once than allowed";
  EXPECT_LT(took, std::chrono::seconds(60)) << "the hanging probe outlived its time-outs";
  EXPECT_EQ(1, g_seen_while_probing) << "messages are dispatched while the probes run";
  EXPECT_EQ(0, g_seen_after);
}

// Twenty products on a host that never answers, with the plug-in's own time-outs (30 s to
// connect): the probes share one deadline, 2 s here, instead of waiting out rounds of connect
// time-outs. Each probe still running then is cancelled and its size stays unknown, and each
// ends by itself (the unload waits for that).
TEST(SizeProbes, OneDeadlineForAllOnAHostThatNeverAnswers) {
  SilentListener host;
  ASSERT_NE(0, host.Port()) << "the listening socket, WSA error " << host.Error();
  ProductList products;
  for (int i = 0; i < 20; ++i) {
    auto p = std::make_shared<CProd>();
    p->id = L"SILENT_" + std::to_wstring(i);
    p->instURL = host.Url(L"/file?seed=" + std::to_wstring(i));
    p->size = 5;
    products.push_back(p);
  }
  gwplugin::SizeProbeSettings settings;
  settings.userAgent = L"OrvTest/1.0";
  settings.deadlineMilliseconds = 2000;

  // A safety net ten times the deadline: four probes at a time would take five rounds of 30 s.
  constexpr std::chrono::seconds kSafetyNet(20);
  const auto start = std::chrono::steady_clock::now();
  const gwplugin::SizeProbeReport report = gwplugin::ProbeSizes(products, settings);
  const auto took = std::chrono::steady_clock::now() - start;

  EXPECT_LT(took, kSafetyNet) << "the probes held the caller for "
                              << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
  for (const CProdPtr& p : products) EXPECT_EQ(0, p->size) << testing::PrintToString(p->id);
  EXPECT_EQ(20, report.probed);
  EXPECT_EQ(0, report.sized);
  EXPECT_EQ(20, report.failed + report.cancelled) << report.failed << " failed, " << report.cancelled << " cancelled";
  // They end by their connect time-outs, cut to the deadline, once each has set up its TLS
  // (twenty at once take seconds on a loaded machine): a safety net of its own.
  EXPECT_TRUE(gwplugin::EndUnfinishedProbes(60000)) << "a probe still runs a minute after the deadline";
}

// --------------------------------------------------------------------------------------------
// Initialize and CheckReady against the gateway

class GatewayCatalogue : public testing::Test {
 protected:
  void SetUp() override { gwplugin::DestroyPluginApp(); }
  void TearDown() override { gwplugin::DestroyPluginApp(); }

  // Mesange is downloaded; Pinson comes with the installer (and is listed by the catalogue
  // too); Garonne only by the installer's own catalogue. (No other test installs these voices.)
  std::string Catalogue(const char* lang = "pl-PL") const {
    const std::string mesange = XmlEscaped(Narrow(g_gateway.Https(L"/file?size=250000&seed=7")));
    const std::string pinson = XmlEscaped(Narrow(g_gateway.Https(L"/file?size=1000&seed=8")));
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">\n"
        "<prodgroup><label>OP_GROUP_PL_VOICES</label><descs><name><transl lang=\"en-US\">Polish voices</transl>"
        "<transl lang=\"" +
        std::string(lang) +
        "\">Głosy polskie</transl></name></descs><products>\n"
        "<prod><label>VOICE_MESANGE</label><version>1.6.2.0</version><file>" +
        mesange +
        "</file><os>7</os>"
        "<descs><name><transl lang=\"en-US\">Mesange</transl><transl lang=\"pl-PL\">Sikorka "
        "żółta</transl></name></descs></prod>\n"
        "<prod><label>VOICE_PINSON</label><version>1.6.2.0</version><file>" +
        pinson +
        "</file><os>7</os>"
        "<descs><name><transl lang=\"en-US\">Pinson</transl></name></descs></prod>\n"
        "</products></prodgroup></content>\n";
    // Padding after the document makes the body long enough for a slow transfer to take time.
    return xml + "<!--" + std::string(4000, '.') + "-->\n";
  }

  void Initialize(const std::wstring& gateway, DownloadTimeouts timeouts = QuickTimeouts()) {
    m_gateway.reset();  // the old value returns first
    m_gateway = std::make_unique<ScopedEnvironment>(L"ORV_GW_TEST_GATEWAY", gateway.c_str());
    ASSERT_TRUE(gwplugin_test::WriteBytes(
        m_builtinPath,
        "<content protocol=\"1.0\"><prodgroup><label>OP_GROUP_PL_VOICES</label><descs/><products>"
        "<prod><label>VOICE_GARONNE</label><version>1.6.0.0</version><file>-</file><os>7</os><descs/></prod>"
        "<prod><label>VOICE_PINSON</label><version>1.6.0.0</version><file>-</file><os>7</os><descs/></prod>"
        "</products></prodgroup></content>"));
    gwplugin::ThePluginApp().catalogueTimeouts = timeouts;
    m_host.Push(L"0");
    m_host.Push(L"");
    m_host.Push(L"OrvTest/1.0");
    m_host.Push(L"");
    m_host.Call(&gwplugin::Configuration);
    m_host.SetVariable(nsis::kVarLanguage, L"1045");
    m_host.Push(L"END");
    m_host.Push(L"VOICE_GARONNE|1.6.0.0|0|C:\\setup\\garonne.exe");
    m_host.Push(L"VOICE_PINSON|1.6.1.0|0|C:\\setup\\pinson.exe");
    m_host.Push(m_builtinPath);
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
  static bool Has(const std::vector<std::string>& lines, const std::string& prefix) {
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.compare(0, prefix.size(), prefix) == 0; });
  }
  static std::vector<std::pair<std::wstring, std::uint32_t>> States(const gwplugin::ProductOffer& offer) {
    std::vector<std::pair<std::wstring, std::uint32_t>> states;
    for (const CProdPtr& p : offer.products) states.emplace_back(p->id, p->state);
    return states;
  }

  TempFolder m_folder;
  std::wstring m_tracePath = m_folder / L"trace.txt";
  std::wstring m_builtinPath = m_folder / L"builtin.xml";
  ScopedEnvironment m_trace{L"ORV_GW_TEST_TRACE", (m_folder / L"trace.txt").c_str()};
  std::unique_ptr<ScopedEnvironment> m_gateway;
  FakeNsisHost m_host;
};

using States = std::vector<std::pair<std::wstring, std::uint32_t>>;
const States kMergedStates{{L"VOICE_MESANGE", 0x05}, {L"VOICE_PINSON", 0x03}, {L"VOICE_GARONNE", 0x03}};
const States kBuiltInStates{{L"VOICE_GARONNE", 0x03}, {L"VOICE_PINSON", 0x03}};

TEST_F(GatewayCatalogue, FastDownloadNoDialog) {
  ServedFile served(L"fast.xml", Catalogue());
  Initialize(served.Address());
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  ASSERT_TRUE(app.WaitForDownloadEnd(30000));
  EXPECT_EQ(L"OK", CheckReady());
  EXPECT_EQ(static_cast<int>(DownloadResult::Success), app.catalogueResult());
  const std::vector<std::string> trace = Trace();
  EXPECT_FALSE(Has(trace, "checking dialog")) << testing::PrintToString(trace);
  EXPECT_TRUE(Has(trace, "offers built: catalogue 2, built-in offer 2, merged offer 3"))
      << testing::PrintToString(trace);

  EXPECT_EQ(kMergedStates, States(app.catalogue.mergedOffer));
  EXPECT_EQ(kBuiltInStates, States(app.catalogue.builtInOffer));
  const CProd& mesange = *app.catalogue.mergedOffer.products[0];
  EXPECT_EQ(250000, mesange.size) << "the probed size";
  EXPECT_EQ(L"Sikorka żółta", mesange.label) << "the installer's language";
  EXPECT_EQ(L"Głosy polskie", app.catalogue.mergedOffer.groups[0]->label);
  EXPECT_EQ(L"Pinson", app.catalogue.mergedOffer.products[1]->label) << "English when Polish is missing";
  EXPECT_EQ(L"C:\\setup\\pinson.exe", app.catalogue.mergedOffer.products[1]->instFile);
}

TEST_F(GatewayCatalogue, SlowDownloadBehindTheCheckingDialog) {
  ServedFile served(L"slow.xml", Catalogue());
  // About two seconds for the body.
  Initialize(served.Address(L"&fault=slow&rate=2500"));
  EXPECT_EQ(L"OK", CheckReady());
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  EXPECT_EQ(static_cast<int>(DownloadResult::Success), app.catalogueResult());
  const std::vector<std::string> trace = Trace();
  EXPECT_TRUE(Has(trace, "checking dialog 2011 shown: Sprawdzanie informacji o produktach. Proszę czekać..."))
      << testing::PrintToString(trace);
  EXPECT_TRUE(Has(trace, "checking dialog closed"));
  EXPECT_FALSE(Has(trace, "checking dialog: no catalogue after"));
  EXPECT_EQ(kMergedStates, States(app.catalogue.mergedOffer));
}

// A catalogue slower than the wait limit: the installer goes on with the built-in offer, and
// the catalogue that lands later rebuilds the offers.
TEST_F(GatewayCatalogue, GivesUpAtTheLimitAndTakesTheLateCatalogue) {
  ServedFile served(L"trickle.xml", Catalogue());
  DownloadTimeouts timeouts;
  // Time-outs long enough for every TLS handshake of the run (the size probes of the late
  // catalogue's products among them) even under a slow emulator: wait limit 2 x 5000 + 5000 ms.
  timeouts.connectMilliseconds = 5000;
  timeouts.lowSpeedBytesPerSecond = 10;
  timeouts.lowSpeedSeconds = 5;
  // The body takes about 50 s at 100 bytes a second: never a stall, and over three times the
  // limit, so the download still runs when the wait gives up (load only makes it slower).
  Initialize(served.Address(L"&fault=slow&rate=100"), timeouts);
  gwplugin::CGWPluginApp& app = gwplugin::ThePluginApp();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(L"OK", CheckReady());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(150)) << "the wait outlived its limit";
  EXPECT_EQ(0, app.catalogueResult()) << "the download still runs";
  std::vector<std::string> trace = Trace();
  EXPECT_TRUE(Has(trace, "checking dialog: no catalogue after 15000 ms")) << testing::PrintToString(trace);
  EXPECT_TRUE(Has(trace, "catalogue not there in time"));
  EXPECT_EQ(kBuiltInStates, States(app.catalogue.mergedOffer));

  // The body takes about 50 s; the bound fires well before the program's own time limit.
  ASSERT_TRUE(app.WaitForDownloadEnd(150000)) << "the late catalogue did not land within 150 s";
  // The hand-over arrives while no wait and no page runs: the script could call in between, so
  // the offers stay as they are until it asks again.
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  EXPECT_EQ(kBuiltInStates, States(app.catalogue.mergedOffer));
  EXPECT_EQ(L"OK", CheckReady());
  EXPECT_EQ(kMergedStates, States(app.catalogue.mergedOffer)) << "the late catalogue is taken";
  trace = Trace();
  EXPECT_TRUE(Has(trace, "offers built: catalogue 2, built-in offer 2, merged offer 3"))
      << testing::PrintToString(trace);
}

// Whatever the server answers or announces, the installer commits less than 64 MiB for it: a
// catalogue may take 16 MiB, the rest is room for the transfer itself.
TEST_F(GatewayCatalogue, BadRepliesLeaveTheBuiltInOffer) {
  struct Case {
    const char* name;
    std::string body;
    const wchar_t* faults;
    const char* logged;
  } cases[] = {
      {"404", Catalogue(), L"&fault=404", "catalogue download failed: HttpError"},
      {"malformed", "<content protocol=\"1.0\"><prodgroup>", L"", "catalogue rejected"},
      {"unknown language", Catalogue("xx-YY"), L"", "catalogue rejected: LocaleException"},
      {"not a catalogue", "<html><body>maintenance</body></html>", L"", "catalogue rejected"},
      {"announces 500,000,000 bytes", Catalogue(), L"&length=500000000", "catalogue download failed: TooLarge"},
      {"streams 100,000,000 bytes past the catalogue", Catalogue(), L"&fault=flood&flood_bytes=100000000",
       "catalogue download failed: TooLarge"},
  };
  const std::uint64_t kMaxGrowth = 64ull * 1024 * 1024;
  for (const Case& c : cases) {
    gwplugin::DestroyPluginApp();
    DeleteFileW(m_tracePath.c_str());
    ServedFile served(L"bad.xml", c.body);
    const std::uint64_t before = CommittedPrivateBytes();
    std::uint64_t peak = before;
    Initialize(served.Address(c.faults));
    // Sampled while the download runs; what the task keeps is still held after the end.
    bool ended = false;
    for (int wait = 0; wait < 3000 && !ended; ++wait) {
      ended = gwplugin::ThePluginApp().WaitForDownloadEnd(10);
      peak = std::max(peak, CommittedPrivateBytes());
    }
    ASSERT_TRUE(ended) << c.name;
    EXPECT_EQ(L"OK", CheckReady()) << c.name;
    peak = std::max(peak, CommittedPrivateBytes());
    EXPECT_LT(peak - before, kMaxGrowth) << c.name << ": committed " << (peak - before) / 1024 << " KiB more";
    const std::vector<std::string> trace = Trace();
    EXPECT_TRUE(Has(trace, c.logged)) << c.name << ": " << testing::PrintToString(trace);
    EXPECT_TRUE(Has(trace, "offers built: catalogue 0, built-in offer 2, merged offer 2")) << c.name;
    EXPECT_EQ(kBuiltInStates, States(gwplugin::ThePluginApp().catalogue.mergedOffer)) << c.name;
  }
}

// --------------------------------------------------------------------------------------------
// The DLL unloaded by its host while a product download stalls

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  win::UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
  if (!snapshot || snapshot.get() == INVALID_HANDLE_VALUE) return ids;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  return ids;
}

template <typename Export>
Export ExportOf(HMODULE dll, const char* name) {
  return reinterpret_cast<Export>(reinterpret_cast<void (*)()>(GetProcAddress(dll, name)));
}

// The host ends while the progress page downloads a product whose server has gone silent: the
// page's loop gets WM_QUIT, the host calls the unload callback and frees the DLL, and lives on
// while the server lets the transfer go. No thread of the plug-in may outlive its unloading:
// one that did would wake in code that is no longer there.
void UnloadAndFreeDuringAStalledDownload() {
  const char* binary_dir = std::getenv("ORV_BINARY_DIR");
  ASSERT_NE(nullptr, binary_dir) << "run through wine-run";
  const std::wstring dll_path = testgateway::UnixPathToWindows(binary_dir) + L"\\plugin\\GWPlugin.dll";
  const std::string hudson = XmlEscaped(
      Narrow(g_gateway.Https(L"/file?size=300000&seed=11&fault=stall&only=GET&stall_after=0&stall_seconds=300")));
  ServedFile served(L"unload.xml",
                    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">"
                    "<prodgroup><label>OP_GROUP_US_VOICES</label><descs><name><transl lang=\"en-US\">English US "
                    "voices</transl></name></descs><products>"
                    "<prod><label>VOICE_HUDSON</label><version>1.6.2.0</version><file>" +
                        hudson +
                        "</file><os>7</os><descs><name><transl lang=\"en-US\">Hudson</transl></name></descs></prod>"
                        "</products></prodgroup></content>\n");
  ScopedEnvironment gateway(L"ORV_GW_TEST_GATEWAY", served.Address().c_str());

  HMODULE dll = LoadLibraryW(dll_path.c_str());
  ASSERT_NE(nullptr, dll) << "LoadLibrary error " << GetLastError();
  auto configuration = ExportOf<nsis::PluginExport>(dll, "Configuration");
  auto initialize = ExportOf<nsis::PluginExport>(dll, "Initialize");
  auto check_ready = ExportOf<nsis::PluginExport>(dll, "CheckReady");
  auto show_flags = ExportOf<nsis::PluginExport>(dll, "ShowFlagsDialog");
  auto show_install = ExportOf<nsis::PluginExport>(dll, "ShowInstallDialog");
  ASSERT_TRUE(configuration && initialize && check_ready && show_flags && show_install);

  std::vector<win::UniqueKernelHandle> started;  // threads that appeared during the download
  {
    FakeNsisHost host;
    gwplugin_test::FakeNsisWindow window;
    ASSERT_NE(nullptr, window.Handle());
    host.Push(L"0");
    host.Push(L"");
    host.Push(L"OrvTest/1.0");
    host.Push(L"");
    host.Call(configuration);
    host.SetVariable(nsis::kVarLanguage, L"1033");
    host.Push(L"END");
    host.Push(L"");
    host.Push(L"0");
    host.Call(initialize);
    host.Call(check_ready);
    std::wstring ready;
    host.Pop(ready);
    ASSERT_EQ(L"OK", ready);

    // The flags page proposes English US with its one voice: Next.
    host.Push(L"/END");
    gwplugin_test::WhenLoopRuns([&window] { window.Move(nsis::kOuterNext); });
    host.Call(show_flags, window.Handle());
    host.Clear();

    const std::set<DWORD> before = ThreadsOfThisProcess();
    host.Push(L"");  // no banner
    gwplugin_test::WhenLoopRuns([&] {
      EXPECT_TRUE(testgateway::AwaitLogged(g_gateway, "GET /file?size=300000&seed=11&")) << "no download started";
      for (DWORD id : ThreadsOfThisProcess())
        if (!before.count(id))
          if (HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id)) started.emplace_back(thread);
      PostQuitMessage(0);  // the installer ends
    });
    window.GiveUpAfter(120000);
    host.Call(show_install, window.Handle());
    window.GiveUpAfter(0);
    EXPECT_FALSE(window.GaveUp());
    MSG quit;
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the page hands WM_QUIT back";
    EXPECT_FALSE(started.empty()) << "no download thread seen";

    ASSERT_NE(nullptr, host.callback);
    EXPECT_EQ(0u, host.callback(nsis::kPluginUnload));
    for (const win::UniqueKernelHandle& thread : started)
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 0)) << "a plug-in thread outlives the unload";
  }
  EXPECT_TRUE(FreeLibrary(dll)) << GetLastError();

  // The server lets go: a thread still in the transfer would return into the freed DLL now.
  EXPECT_TRUE(testgateway::ReleaseHeld(g_gateway));
  for (const win::UniqueKernelHandle& thread : started)
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.get(), 30000)) << "a thread did not end";
}

// An unhandled exception ends the process with its code, and no debugger is started.
LONG WINAPI EndWithTheExceptionCode(EXCEPTION_POINTERS*) { return EXCEPTION_EXECUTE_HANDLER; }

// The host then exits: whatever the freed DLL left for the process's exit to call (an exit
// handler in the C runtime's list, say) would fault there. So it runs in a process of its own,
// whose exit code tells: 0 when every check held and the exit went through.
TEST(PluginUnload, EndsAStalledProductDownloadBeforeTheDllGoes) {
  EXPECT_EXIT(
      {
        SetUnhandledExceptionFilter(&EndWithTheExceptionCode);
        UnloadAndFreeDuringAStalledDownload();
        std::exit(testing::Test::HasFailure() ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
