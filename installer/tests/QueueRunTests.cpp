// The install queue end to end under Wine: products are downloaded from the local HTTPS
// gateway and their (tiny, makensis-built) installers run with the command lines, registry
// values and task log the plug-in promises; and the faults around failed downloads and
// installers, cancel answers and fresh machines.
#include "QueueTestSupport.h"

#include <PluginMessages.h>
#include <ProductCatalogue.h>
#include <TaskLog.h>

#include <aclapi.h>
#include <commctrl.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <ostream>
#include <regex>
#include <sstream>

using namespace gwplugin;
using orv_products::CProd;
using orv_products::CProdPtr;
using orv_products::ProductList;
using orv_products::ProductTable;
using queue_test::Gateway;
using queue_test::GatewayControl;
using queue_test::InstallerRecord;
using queue_test::ProductInstaller;
using queue_test::QueueSandbox;
using queue_test::ReadBytes;

namespace {

constexpr std::uint32_t kLocal = orv_products::PS_INSTALL | orv_products::PS_INSTALL_CHECK;
const wchar_t kFamily0[] = L"Software\\ORVEL\\Orvel Vokant";
const wchar_t kFamily2[] = L"Software\\ORVEL\\Orvel 2 Vokant";

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

std::string ProgramFilesHelm() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
  return "/ORVEL_HELM=\"" + Narrow(folder) + "\\Orvel\\Orvel Helmstand\\Orvel Helmstand.exe\"";
}

std::vector<std::string> Ids(const std::vector<InstallerRecord>& records) {
  std::vector<std::string> ids;
  for (const InstallerRecord& r : records) ids.push_back(r.id);
  return ids;
}

// Windows the progress page hands to the queue: a page that counts WM_DISABLE_CANCEL, a
// progress bar and a status static.
class PageWindows {
 public:
  PageWindows() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc{};
    wc.lpfnWndProc = &PageWindows::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"OrvQueueTestPage";
    RegisterClassW(&wc);  // fails harmlessly when registered before
    page = CreateWindowExW(0, L"OrvQueueTestPage", L"page", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr, wc.hInstance,
                           nullptr);
    bar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 200, 12, page, nullptr, wc.hInstance, nullptr);
    label = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 20, 200, 12, page, nullptr, wc.hInstance, nullptr);
    disableCancelCount() = 0;
  }
  ~PageWindows() {
    if (page) DestroyWindow(page);
  }
  bool Ok() const { return page && bar && label; }
  std::wstring Label() const {
    wchar_t text[512] = {};
    GetWindowTextW(label, text, 512);
    return text;
  }
  int Position() const { return static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0)); }
  int Upper() const { return static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0)); }
  static int& disableCancelCount() {
    static int count = 0;
    return count;
  }

  HWND page = nullptr;
  HWND bar = nullptr;
  HWND label = nullptr;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DISABLE_CANCEL) ++disableCancelCount();
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

class InstallQueueRun : public QueueSandbox {
 protected:
  void SetUp() override {
    QueueSandbox::SetUp();
    std::string why;
    if (!Gateway(&why)) FAIL() << why;
    ASSERT_TRUE(GatewayControl(L"/_control/reset"));
  }
};

// The whole road: an application and two voices downloaded, one voice that the installer
// carries (its NSIS function extracts it), in the order downloads first, each class kept
// in the order given; with the task log switched on.
TEST_F(InstallQueueRun, DownloadsAndInstallsInOrderWithTheCommandLinesAndValues) {
  SetDword(L"SOFTWARE\\ORVEL\\gw", L"log", 1);
  const std::wstring extracted = m_temp + L"carried\\voice_loire.exe";
  ASSERT_TRUE(CreateDirectoryW((m_temp + L"carried").c_str(), nullptr));

  CProdPtr loire = Product(L"VOICE_LOIRE", L"Orvel Loire", kLocal, VersionNumber(1, 2, 0, 0));
  loire->instFile = extracted;
  loire->extractFunction = 41;
  CProdPtr helm = Download(L"ORVEL_HELM", L"Orvel Helmstand", L"app_helm.exe", VersionNumber(2, 1, 0, 0));
  CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr hudson = Download(L"VOICE_HUDSON", L"Orvel 2 Hudson", L"voice_hudson.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr unchecked = Download(L"VOICE_ODRA", L"Orvel 2 Odra", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  unchecked->ClearStateBits(orv_products::PS_INSTALL_CHECK);
  CProdPtr unavailable = Product(L"VOICE_WARTA", L"Orvel 2 Warta", kLocal | orv_products::PS_NOT_AVAILABLE);
  ASSERT_EQ(ProductTable::Application, helm->table);
  ASSERT_EQ(ProductTable::Voice, elbe->table);
  ASSERT_EQ(ProductTable::Voice, loire->table);

  struct Extraction {
    int address;
    HWND parent;
    DWORD thread;
  };
  std::vector<Extraction> extractions;
  PageWindows windows;
  ASSERT_TRUE(windows.Ok());
  InstallQueueConfig config = Config(1045);
  config.nsisParent = windows.page;
  config.executeCodeSegment = [&](int address, HWND parent) {
    extractions.push_back({address, parent, GetCurrentThreadId()});
    CopyFileW(ProductInstaller(L"voice_loire.exe").c_str(), extracted.c_str(), FALSE);
    return 0;
  };
  CInstallQueue queue;
  queue.Configure(config);
  const int first =
      queue.Prepare({loire, helm, unchecked, elbe, unavailable, hudson}, windows.page, windows.bar, windows.label);
  EXPECT_EQ(kStepStarted, first) << "the first download starts with the preparation";
  EXPECT_EQ(7, queue.TotalSteps());
  EXPECT_EQ(3, queue.Downloads());
  EXPECT_EQ(7, windows.Upper());
  ASSERT_EQ(kStepDone, RunQueue(queue));

  // Order and command lines.
  const std::vector<InstallerRecord> records = Records();
  ASSERT_EQ((std::vector<std::string>{"ORVEL_HELM", "VOICE_ELBE", "VOICE_HUDSON", "VOICE_LOIRE"}), Ids(records));
  const std::string helmArgument = ProgramFilesHelm();
  const CProdPtr order[] = {helm, elbe, hudson, loire};
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string extra = order[i] == helm ? "" : helmArgument;
    EXPECT_EQ("\"" + Narrow(order[i]->instFile) + "\"  " + extra + " /S /L=1045", records[i].commandLine)
        << records[i].id;
    EXPECT_EQ("1045", records[i].language) << records[i].id;
  }
  // Downloads went into the download folder as ".dat" files; the carried one stayed put.
  for (const CProdPtr& p : {helm, elbe, hudson}) {
    EXPECT_EQ(0u, p->instFile.rfind(m_temp + L"orvel\\ORV", 0)) << Narrow(p->instFile);
    EXPECT_EQ(L".tmp.dat", p->instFile.substr(p->instFile.size() - 8)) << Narrow(p->instFile);
    EXPECT_FALSE(p->file) << "the download file's handle is closed before its installer runs";
  }
  EXPECT_EQ(extracted, loire->instFile);
  ASSERT_EQ(1u, extractions.size());
  EXPECT_EQ(41, extractions[0].address);
  EXPECT_EQ(windows.page, extractions[0].parent);
  EXPECT_NE(GetCurrentThreadId(), extractions[0].thread) << "extraction runs on the installer's worker";

  // What the installers wrote, and what the queue wrote after them.
  EXPECT_EQ(L"2.1.0.0", ReadString(L"Software\\Orvel\\Orvel Helmstand", L"Version"));
  EXPECT_EQ(L"1.6.2.0", ReadString(L"Software\\Orvel\\Orvel 2 Vokant\\Elbe", L"Version"));
  EXPECT_EQ(L"1.2.0.0", ReadString(L"Software\\Orvel\\Orvel Vokant\\Loire", L"Version"));
  EXPECT_EQ(1045, ReadDword(kFamily2, L"GUI Lang"));
  EXPECT_EQ(1045, ReadDword(kFamily0, L"GUI Lang"));
  EXPECT_EQ(-1, ReadDword(L"Software\\Orvel\\Orvel Helmstand", L"GUI Lang"));
  EXPECT_EQ(L"polish", ReadString(L"Software\\ORVEL", L"language"));

  // The page's view.
  EXPECT_EQ(7, windows.Position());
  EXPECT_EQ(7, queue.StepCounter() + 0) << "one step per download and one per installer";
  EXPECT_EQ(L"Instalacja zakończona", windows.Label());
  EXPECT_EQ(1, PageWindows::disableCancelCount());
  for (const InstallQueueEntry& entry : queue.Entries())
    EXPECT_EQ(InstallOutcome::Installed, entry.outcome) << Narrow(entry.product->id);
  EXPECT_TRUE(queue.FailedProducts().empty());
  EXPECT_EQ(kStepDone, queue.Step()) << "a finished queue stays finished";

  // The task log: the queue's products in queue order, and no failure lines.
  std::wstring log;
  bool bom = false;
  ASSERT_TRUE(queue_test::ReadUtf16File(m_temp + L"gw_log.txt", log, bom));
  EXPECT_TRUE(bom);
  const std::wregex block(
      L"==> Task to install \\(BEGIN\\)\r\n"
      L"> \\(\\d\\d:\\d\\d:\\d\\d/\\d\\d\\.\\d\\d\\) \\[ORVEL_HELM\\]\r\n\tState: PS_INSTALL PS_INSTALL_CHECK "
      L"PS_DOWNLOAD \r\n"
      L"[\\s\\S]*\\[VOICE_ELBE\\][\\s\\S]*\\[VOICE_HUDSON\\][\\s\\S]*\\[VOICE_LOIRE\\]\r\n"
      L"\tState: PS_INSTALL PS_INSTALL_CHECK \r\n\tInstURL:  \r\n\tInstFile: [^\r]*voice_loire\\.exe \r\n"
      L"\tInstSize: 0 \r\n\tVersion: 1\\.2\\.0\\.0 \r\n\tExtractFunc: YES \r\n\r\n"
      L"==> Task to install \\(END\\)\r\n\r\n");
  EXPECT_TRUE(std::regex_match(log, block)) << Narrow(log);
}

// What runs is what was downloaded: from the closing of the download's write handle until the
// installer's process has been made, the file stays open for reading only. Another handle,
// asking as the user's other programs could, gets a sharing violation for writing, deleting or
// renaming it, reading it still works, and the installer starts from the file.
TEST_F(InstallQueueRun, DownloadedInstallerIsHeldForReadingUntilItsProcessIsMade) {
  CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  struct Attempt {
    const char* what;
    DWORD access;
    DWORD expected;  // ERROR_SUCCESS: it opens
  };
  const Attempt attempts[] = {
      {"open for writing", GENERIC_WRITE, ERROR_SHARING_VIOLATION},
      {"open for deleting", DELETE, ERROR_SHARING_VIOLATION},
      {"open for reading", GENERIC_READ, ERROR_SUCCESS},
  };
  // Filled on the installer's worker, read after the queue has seen that thread end.
  std::vector<std::string> seen;
  InstallQueueConfig config = Config(1033);
  config.observer = [&](QueueEvent event, const CProd& product) {
    if (event != QueueEvent::InstallerStarting) return;
    const std::wstring& path = product.instFile;
    for (const Attempt& attempt : attempts) {
      HANDLE handle = CreateFileW(path.c_str(), attempt.access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      const DWORD error = handle == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
      if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
      seen.push_back(std::string(attempt.what) + ": error " + std::to_string(error));
    }
    const std::wstring moved = path + L".moved";
    const bool renamed = MoveFileExW(path.c_str(), moved.c_str(), 0) != FALSE;
    seen.push_back("rename: error " + std::to_string(renamed ? ERROR_SUCCESS : GetLastError()));
    if (renamed) MoveFileExW(moved.c_str(), path.c_str(), 0);  // the run goes on as it would have
    const bool deleted = DeleteFileW(path.c_str()) != FALSE;
    seen.push_back("delete: error " + std::to_string(deleted ? ERROR_SUCCESS : GetLastError()));
  };
  CInstallQueue queue;
  queue.Configure(config);
  queue.Prepare({elbe}, HWND(nullptr), nullptr, nullptr);
  ASSERT_EQ(kStepDone, RunQueue(queue));

  std::vector<std::string> expected;
  for (const Attempt& attempt : attempts)
    expected.push_back(std::string(attempt.what) + ": error " + std::to_string(attempt.expected));
  expected.push_back("rename: error " + std::to_string(ERROR_SHARING_VIOLATION));
  expected.push_back("delete: error " + std::to_string(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(expected, seen);
  EXPECT_EQ((std::vector<std::string>{"VOICE_ELBE"}), Ids(Records())) << "the installer ran from the held file";
  ASSERT_EQ(1u, queue.Entries().size());
  EXPECT_EQ(InstallOutcome::Installed, queue.Entries()[0].outcome);
  // Once the process is made the file is the plug-in's no longer.
  HANDLE after = CreateFileW(elbe->instFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, after) << "error " << GetLastError();
  if (after != INVALID_HANDLE_VALUE) CloseHandle(after);
}

// Between the closing of the download's write handle and the file's reopening for the run,
// any process of the user could open the file and write to it. Another installer put over the
// download there, in place and never past its length, keeps the file's identity and length:
// it must not run, the status line names the product as not installed and the task log names
// the change. A download that nobody touches runs.
TEST_F(InstallQueueRun, ADownloadChangedBeforeItRunsIsNotRun) {
  SetDword(L"SOFTWARE\\ORVEL\\gw", L"log", 1);
  const std::wstring other = ProductInstaller(L"app_helm.exe");
  const std::vector<std::uint8_t> served = ReadBytes(ProductInstaller(L"voice_elbe.exe"));
  const std::vector<std::uint8_t> otherBytes = ReadBytes(other);
  ASSERT_FALSE(otherBytes.empty());
  ASSERT_LE(otherBytes.size(), served.size()) << "the other installer must fit over the download";
  struct Case {
    const char* name;
    bool overwrite;
    InstallOutcome outcome;
    std::vector<std::string> ran;
    const wchar_t* label;
    const wchar_t* logged;  // the log's failure line, or none
  } cases[] = {
      {"untouched", false, InstallOutcome::Installed, {"VOICE_ELBE"}, L"Installation completed", nullptr},
      {"overwritten in place",
       true,
       InstallOutcome::FileChanged,
       {},
       L"Installation failed: Orvel 2 Elbe",
       L"[VOICE_ELBE] FAILED: the downloaded file changed before it ran"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeleteFileW(m_recordPath.c_str());
    DeleteFileW((m_temp + L"gw_log.txt").c_str());
    SetVariable(L"ORV_GW_TEST_OVERWRITE_DOWNLOAD", c.overwrite ? other : L"");
    CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
    PageWindows windows;
    ASSERT_TRUE(windows.Ok());
    CInstallQueue queue;
    queue.Configure(Config(1033));
    queue.Prepare({elbe}, windows.page, windows.bar, windows.label);
    ASSERT_EQ(kStepDone, RunQueue(queue));
    SetVariable(L"ORV_GW_TEST_OVERWRITE_DOWNLOAD", L"");

    const std::vector<std::uint8_t> file = ReadBytes(elbe->instFile);
    ASSERT_EQ(served.size(), file.size()) << "the file keeps its length";
    EXPECT_EQ(c.overwrite, std::equal(otherBytes.begin(), otherBytes.end(), file.begin()))
        << "the other installer lies over the download only when the hook wrote it";
    EXPECT_EQ(c.ran, Ids(Records()));
    ASSERT_EQ(1u, queue.Entries().size());
    EXPECT_EQ(c.outcome, queue.Entries()[0].outcome);
    EXPECT_EQ(c.label, windows.Label());
    std::wstring log;
    bool bom = false;
    ASSERT_TRUE(queue_test::ReadUtf16File(m_temp + L"gw_log.txt", log, bom));
    if (c.logged) {
      EXPECT_NE(std::wstring::npos, log.find(c.logged)) << Narrow(log);
    } else {
      EXPECT_EQ(std::wstring::npos, log.find(L"FAILED")) << Narrow(log);
    }
  }
}

// One access-list entry as the system reports it.
struct AccessEntry {
  BYTE type;
  std::wstring sid;
  ACCESS_MASK mask;
  bool operator==(const AccessEntry& o) const { return type == o.type && sid == o.sid && mask == o.mask; }
};

std::ostream& operator<<(std::ostream& out, const AccessEntry& e) {
  return out << "{type " << static_cast<int>(e.type) << ", " << Narrow(e.sid) << ", 0x" << std::hex << e.mask
             << std::dec << "}";
}

// The file's access list through GetSecurityInfo on a handle opened for it; protectedList tells
// whether it inherits nothing from the folder.
::testing::AssertionResult ReadAccessList(const std::wstring& path, std::vector<AccessEntry>& entries,
                                          bool& protectedList) {
  win::UniqueFile file(CreateFileW(path.c_str(), READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file) return ::testing::AssertionFailure() << "opening for READ_CONTROL: error " << GetLastError();
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD error = GetSecurityInfo(file.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                      nullptr, &descriptor);
  if (error != ERROR_SUCCESS) return ::testing::AssertionFailure() << "GetSecurityInfo: error " << error;
  struct LocalMemory {
    void operator()(void* memory) const { LocalFree(memory); }
  };
  const std::unique_ptr<void, LocalMemory> owned(descriptor);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision))
    return ::testing::AssertionFailure() << "GetSecurityDescriptorControl: error " << GetLastError();
  protectedList = (control & SE_DACL_PROTECTED) != 0;
  entries.clear();
  if (!dacl) return ::testing::AssertionFailure() << "no access list at all: everyone may do anything";
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(dacl, i, &ace)) return ::testing::AssertionFailure() << "GetAce " << i << ": error " << GetLastError();
    const auto* header = static_cast<ACE_HEADER*>(ace);
    AccessEntry entry{header->AceType, L"", 0};
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE || header->AceType == ACCESS_DENIED_ACE_TYPE) {
      const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
      entry.mask = allowed->Mask;
      LPWSTR text = nullptr;
      if (!ConvertSidToStringSidW(const_cast<DWORD*>(&allowed->SidStart), &text))
        return ::testing::AssertionFailure() << "ConvertSidToStringSidW: error " << GetLastError();
      const std::unique_ptr<void, LocalMemory> ownedText(text);
      entry.sid = text;
    }
    entries.push_back(entry);
  }
  return ::testing::AssertionSuccess();
}

// Whether the program runs under Wine (its ntdll has an export of its own).
bool UnderWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The download file of an elevated run (which will start it as an administrator) may be
// written, renamed or deleted by SYSTEM and the Administrators only, whatever the temporary
// folder allows; its owner may read and run it, and not rewrite the list. An unelevated run
// keeps the folder's defaults. Either way the download runs. Wine keeps no access list on a
// file (it answers GetSecurityInfo from the Unix mode bits): there the elevated row's list
// cannot be seen, and the test says what Wine answered instead.
TEST_F(InstallQueueRun, TheDownloadFileOfAnElevatedRunOnlyAdministratorsMayChange) {
  const std::vector<AccessEntry> adminOnly = {
      {ACCESS_ALLOWED_ACE_TYPE, L"S-1-5-18", FILE_ALL_ACCESS},
      {ACCESS_ALLOWED_ACE_TYPE, L"S-1-5-32-544", FILE_ALL_ACCESS},
      {ACCESS_ALLOWED_ACE_TYPE, L"S-1-3-4", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE},
  };
  std::ostringstream unseen;  // what Wine answered for the elevated run's file
  for (const bool elevated : {true, false}) {
    SCOPED_TRACE(elevated ? "elevated" : "not elevated");
    DeleteFileW(m_recordPath.c_str());
    CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
    InstallQueueConfig config = Config(1033);
    config.elevated = elevated;
    CInstallQueue queue;
    queue.Configure(config);
    queue.Prepare({elbe}, HWND(nullptr), nullptr, nullptr);
    ASSERT_EQ(kStepDone, RunQueue(queue));
    ASSERT_EQ(1u, queue.Entries().size());
    EXPECT_EQ(InstallOutcome::Installed, queue.Entries()[0].outcome);
    EXPECT_EQ((std::vector<std::string>{"VOICE_ELBE"}), Ids(Records()));

    std::vector<AccessEntry> entries;
    bool protectedList = false;
    ASSERT_TRUE(ReadAccessList(elbe->instFile, entries, protectedList));
    if (elevated && !protectedList && UnderWine()) {
      unseen << "Wine answers GetSecurityInfo for the elevated run's file with {";
      for (const AccessEntry& entry : entries) unseen << " " << entry;
      unseen << " }, not protected";
    } else if (elevated) {
      EXPECT_TRUE(protectedList) << "the list inherits from the temporary folder";
      EXPECT_EQ(adminOnly, entries);
    } else {
      EXPECT_FALSE(protectedList) << "an unelevated run changed the folder's defaults";
      EXPECT_NE(adminOnly, entries);
    }
  }
  if (!unseen.str().empty()) GTEST_SKIP() << unseen.str();
}

// The maker key is created for "language" on a machine that has none; an application gets
// no voice argument and no "GUI Lang", although its row number is a voice row too.
TEST_F(InstallQueueRun, FreshMachineGetsLanguageAndApplicationsNoVoiceValues) {
  ASSERT_FALSE(KeyExists(L"Software\\ORVEL"));
  CProdPtr helm = Download(L"ORVEL_HELM", L"Orvel Helmstand", L"app_helm.exe");
  ASSERT_EQ(0, helm->row) << "row 0 of the voice table is a voice of family 2";
  CInstallQueue queue;
  queue.Configure(Config(1031));
  queue.Prepare({helm}, HWND(nullptr), nullptr, nullptr);
  ASSERT_EQ(kStepDone, RunQueue(queue));
  EXPECT_EQ(L"german", ReadString(L"Software\\ORVEL", L"language"));

  const std::vector<InstallerRecord> records = Records();
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("\"" + Narrow(helm->instFile) + "\"   /S /L=1031", records[0].commandLine);
  EXPECT_FALSE(KeyExists(kFamily2)) << "\"GUI Lang\" for an application";
  EXPECT_EQ(-1, ReadDword(kFamily2, L"GUI Lang"));
  EXPECT_EQ(-1, ReadDword(kFamily0, L"GUI Lang"));
  EXPECT_TRUE(m_questions.empty());
}

// A transfer that drops half-way is a failed download: the retry question comes once, the
// retry resumes at the file's length, and the installer runs from a byte-identical file.
TEST_F(InstallQueueRun, DroppedDownloadIsRetriedAndResumedToAnIdenticalFile) {
  ASSERT_TRUE(GatewayControl(L"/_control/fault?path=/voice_elbe.exe&fault=short&only=GET"));
  CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  CInstallQueue queue;
  queue.Configure(Config(1033));
  int reentrantStep = -1;
  m_answer = [&](const Question&) {
    // The page's timer keeps stepping while the question is up.
    reentrantStep = queue.Step();
    EXPECT_TRUE(GatewayControl(L"/_control/reset"));
    return IDRETRY;
  };
  queue.Prepare({elbe}, HWND(nullptr), nullptr, nullptr);
  ASSERT_EQ(kStepDone, RunQueue(queue));

  ASSERT_EQ(1u, m_questions.size());
  EXPECT_EQ(L"Downloading of \n\"Orvel 2 Elbe\"\n has failed.", m_questions[0].text);
  EXPECT_EQ(L"Can't download file from the Internet.", m_questions[0].caption);
  EXPECT_EQ(static_cast<UINT>(MB_RETRYCANCEL | MB_ICONERROR), m_questions[0].type);
  EXPECT_EQ(kStepBusy, reentrantStep);

  const std::vector<std::uint8_t> source = ReadBytes(ProductInstaller(L"voice_elbe.exe"));
  EXPECT_TRUE(ReadBytes(elbe->instFile) == source) << "the resumed file differs from the served one";
  // The second body request asked for the rest only.
  std::string log;
  ASSERT_TRUE(GatewayControl(L"/_control/log", &log));
  std::smatch resumed;
  ASSERT_TRUE(std::regex_search(log, resumed, std::regex("GET /voice_elbe\\.exe bytes=(\\d+)-"))) << log;
  const long long offset = std::stoll(resumed[1]);
  EXPECT_GT(offset, 0) << log;
  EXPECT_LT(offset, static_cast<long long>(source.size())) << log;
  EXPECT_EQ(1u, Records().size());
  EXPECT_EQ(2, queue.StepCounter()) << "the retry is not counted as another step";
}

// Whatever went wrong with a transfer, its file is never run: the question comes, Cancel
// cancels, and the cancel stays.
TEST_F(InstallQueueRun, FailedTransfersAreNeverRun) {
  const std::wstring faults[] = {L"fault=404", L"fault=500", L"fault=short&short_by=1", L"head_size=1000"};
  for (const std::wstring& fault : faults) {
    m_questions.clear();
    ASSERT_TRUE(GatewayControl(L"/_control/reset"));
    ASSERT_TRUE(GatewayControl(L"/_control/fault?path=/voice_elbe.exe&" + fault));
    CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
    CInstallQueue queue;
    queue.Configure(Config(1045));
    queue.Prepare({elbe}, HWND(nullptr), nullptr, nullptr);
    EXPECT_EQ(kStepCancelled, RunQueue(queue)) << Narrow(fault);
    EXPECT_EQ(kStepCancelled, queue.Step()) << Narrow(fault);
    EXPECT_EQ(1u, m_questions.size()) << Narrow(fault);
    if (!m_questions.empty()) {
      EXPECT_EQ(L"Nie można pobrać pliku z Internetu.", m_questions[0].caption);
    }
    EXPECT_TRUE(Records().empty()) << Narrow(fault) << ": a failed download was run";
  }
}

// A failing installer (exit code) and one that cannot start are reported, in the label,
// the result and the log; the others still install. 3010 and 1641 are successes that ask for
// a restart: installed, like 0.
TEST_F(InstallQueueRun, FailingInstallersAreReportedAndTheRestInstall) {
  SetDword(L"SOFTWARE\\ORVEL\\gw", L"log", 1);
  SetFailure(L"VOICE_ELBE", 7);
  SetFailure(L"VOICE_THAMES", 3010);
  SetFailure(L"VOICE_WISLA", 1641);
  CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr hudson = Download(L"VOICE_HUDSON", L"Orvel 2 Hudson", L"voice_hudson.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr thames = Download(L"VOICE_THAMES", L"Orvel 2 Thames", L"voice_thames.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr wisla = Download(L"VOICE_WISLA", L"Orvel 2 Wisla", L"voice_wisla.exe", VersionNumber(1, 6, 2, 0));
  CProdPtr missing = Product(L"VOICE_LOIRE", L"Orvel Loire", kLocal, VersionNumber(1, 2, 0, 0));
  missing->instFile = m_temp + L"not-there.exe";
  PageWindows windows;
  ASSERT_TRUE(windows.Ok());
  CInstallQueue queue;
  queue.Configure(Config(1033));
  queue.Prepare({missing, elbe, hudson, thames, wisla}, windows.page, windows.bar, windows.label);
  ASSERT_EQ(kStepDone, RunQueue(queue));

  EXPECT_EQ((std::vector<std::string>{"VOICE_ELBE", "VOICE_HUDSON", "VOICE_THAMES", "VOICE_WISLA"}), Ids(Records()));
  struct Outcome {
    InstallOutcome outcome;
    DWORD code;
  };
  const Outcome outcomes[] = {{InstallOutcome::ExitCode, 7},
                              {InstallOutcome::Installed, 0},
                              {InstallOutcome::Installed, 3010},
                              {InstallOutcome::Installed, 1641},
                              {InstallOutcome::StartFailed, ERROR_FILE_NOT_FOUND}};
  ASSERT_EQ(std::size(outcomes), queue.Entries().size());
  for (std::size_t i = 0; i < std::size(outcomes); ++i) {
    EXPECT_EQ(outcomes[i].outcome, queue.Entries()[i].outcome) << Narrow(queue.Entries()[i].product->id);
    EXPECT_EQ(outcomes[i].code, queue.Entries()[i].code) << Narrow(queue.Entries()[i].product->id);
  }
  EXPECT_EQ((std::vector<std::wstring>{L"Orvel 2 Elbe", L"Orvel Loire"}), queue.FailedProducts());
  EXPECT_EQ(L"Installation failed: Orvel 2 Elbe, Orvel Loire", windows.Label());
  EXPECT_EQ(9, windows.Position());

  EXPECT_FALSE(KeyExists(L"Software\\Orvel\\Orvel 2 Vokant\\Elbe"));
  EXPECT_EQ(L"1.6.2.0", ReadString(L"Software\\Orvel\\Orvel 2 Vokant\\Hudson", L"Version"));
  EXPECT_FALSE(KeyExists(kFamily0)) << "nothing of the family was installed";

  std::wstring log;
  bool bom = false;
  ASSERT_TRUE(queue_test::ReadUtf16File(m_temp + L"gw_log.txt", log, bom));
  const std::wstring time = L"\\(\\d\\d:\\d\\d:\\d\\d/\\d\\d\\.\\d\\d\\)";
  EXPECT_TRUE(std::regex_search(
      log, std::wregex(L"==> Task to install \\(END\\)\r\n\r\n"
                       L"> " +
                       time +
                       L" \\[VOICE_ELBE\\] FAILED: the installer exited with code 7 \\(0x00000007\\)\r\n"
                       L"> " +
                       time + L" \\[VOICE_LOIRE\\] FAILED: the installer could not be started \\(error 2\\)\r\n$")))
      << Narrow(log);
}

// A temporary file that cannot be made is a failed download with the retry question.
TEST_F(InstallQueueRun, TemporaryFileThatCannotBeMadeAsksToRetry) {
  for (const bool retry : {false, true}) {
    m_questions.clear();
    // A file where the download folder should be.
    const std::wstring blocker = m_temp + L"orvel";
    RemoveDirectoryW(blocker.c_str());
    HANDLE file = CreateFileW(blocker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << GetLastError();
    CloseHandle(file);
    CProdPtr elbe = Download(L"VOICE_ELBE", L"Orvel 2 Elbe", L"voice_elbe.exe", VersionNumber(1, 6, 2, 0));
    m_answer = [&](const Question&) {
      if (!retry) return IDCANCEL;
      EXPECT_TRUE(DeleteFileW(blocker.c_str())) << GetLastError();
      return IDRETRY;
    };
    CInstallQueue queue;
    queue.Configure(Config(1045));
    queue.Prepare({elbe}, HWND(nullptr), nullptr, nullptr);
    EXPECT_EQ(retry ? kStepDone : kStepCancelled, RunQueue(queue)) << "retry " << retry;
    EXPECT_EQ(1u, m_questions.size()) << "retry " << retry;
    EXPECT_EQ(retry ? 1u : 0u, Records().size()) << "retry " << retry;
    EXPECT_EQ(2, queue.TotalSteps());
    DeleteFileW(blocker.c_str());
  }
}

// The two switches: the log and the diagnostic cancel question exist only with "log" = 1;
// Yes to the question is a cancel, and nothing is installed or written then.
TEST_F(InstallQueueRun, RegistrySwitches) {
  struct Case {
    const char* name;
    long long log;     // -1: no switches key
    long long cancel;  // -1: value missing
    int answer;
    bool logged;
    bool asked;
    int result;
  } cases[] = {
      {"no key", -1, -1, IDYES, false, false, kStepDone},
      {"log 0", 0, 1, IDYES, false, false, kStepDone},
      {"log 2", 2, 1, IDYES, false, false, kStepDone},
      {"log 1", 1, -1, IDYES, true, false, kStepDone},
      {"log 1, cancel 0", 1, 0, IDYES, true, false, kStepDone},
      {"log 1, cancel 1, No", 1, 1, IDNO, true, true, kStepDone},
      {"log 1, cancel 1, Yes", 1, 1, IDYES, true, true, kStepCancelled},
  };
  for (const Case& c : cases) {
    m_questions.clear();
    RegDeleteTreeW(Root(), L"SOFTWARE\\ORVEL");
    DeleteFileW((m_temp + L"gw_log.txt").c_str());
    if (c.log >= 0) SetDword(L"SOFTWARE\\ORVEL\\gw", L"log", static_cast<DWORD>(c.log));
    if (c.log >= 0 && c.cancel >= 0)
      SetDword(L"SOFTWARE\\ORVEL\\gw", L"cancel_installation", static_cast<DWORD>(c.cancel));
    m_answer = [&](const Question&) { return c.answer; };
    // A product that would run is queued only where the answer cancels, to show that
    // nothing runs then; the other cases need no installer run.
    ProductList products;
    if (c.result == kStepCancelled) {
      CProdPtr helm = Product(L"ORVEL_HELM", L"Orvel Helmstand", kLocal);
      helm->instFile = ProductInstaller(L"app_helm.exe");
      products.push_back(helm);
    }
    PageWindows windows;
    ASSERT_TRUE(windows.Ok());
    CInstallQueue queue;
    queue.Configure(Config(1036));
    const int first = queue.Prepare(products, windows.page, windows.bar, windows.label);
    EXPECT_EQ(c.result, first) << c.name;
    EXPECT_EQ(c.result, RunQueue(queue)) << c.name;
    EXPECT_EQ(c.result, queue.Step()) << c.name;
    EXPECT_EQ(c.logged, GetFileAttributesW((m_temp + L"gw_log.txt").c_str()) != INVALID_FILE_ATTRIBUTES) << c.name;
    ASSERT_EQ(c.asked ? 1u : 0u, m_questions.size()) << c.name;
    if (c.asked) {
      EXPECT_EQ(L"Cancel installation?", m_questions[0].text);
      EXPECT_EQ(L"GW", m_questions[0].caption);
      EXPECT_EQ(static_cast<UINT>(MB_YESNO | MB_ICONQUESTION), m_questions[0].type);
    }
    const bool cancelled = c.result == kStepCancelled;
    bool languageWritten = false;
    EXPECT_EQ(cancelled ? L"" : L"french", ReadString(L"Software\\ORVEL", L"language", &languageWritten)) << c.name;
    EXPECT_EQ(!cancelled, languageWritten) << c.name;
    EXPECT_TRUE(Records().empty()) << c.name;
    EXPECT_EQ(cancelled ? L"" : L"Installation terminée", windows.Label()) << c.name;
  }
}

// Downloads first; within each class the given order stays (a stable sort), and the log
// lists the products in that order.
TEST_F(InstallQueueRun, OrderIsStableAndCountsFollowIt) {
  SetDword(L"SOFTWARE\\ORVEL\\gw", L"log", 1);
  SetDword(L"SOFTWARE\\ORVEL\\gw", L"cancel_installation", 1);
  m_answer = [](const Question&) { return IDYES; };  // stop before anything starts
  const std::uint32_t download = kLocal | orv_products::PS_DOWNLOAD;
  ProductList products;
  std::vector<std::wstring> expected;
  const struct {
    const wchar_t* id;
    std::uint32_t state;
  } given[] = {
      {L"L1", kLocal},
      {L"D1", download},
      {L"L2", kLocal},
      {L"D2", download},
      {L"N1", orv_products::PS_INSTALL},
      {L"D3", download},
      {L"X1", download | orv_products::PS_NOT_AVAILABLE},
      {L"L3", kLocal},
      {L"D4", download},
      {L"L4", kLocal},
      {L"D5", download},
      {L"L5", kLocal},
  };
  for (const auto& g : given) products.push_back(Product(g.id, g.id, g.state));
  CInstallQueue queue;
  queue.Configure(Config(1045));
  EXPECT_EQ(kStepCancelled, queue.Prepare(products, HWND(nullptr), nullptr, nullptr));
  std::vector<std::wstring> order;
  for (const InstallQueueEntry& entry : queue.Entries()) order.push_back(entry.product->id);
  EXPECT_EQ((std::vector<std::wstring>{L"D1", L"D2", L"D3", L"D4", L"D5", L"L1", L"L2", L"L3", L"L4", L"L5"}), order);
  EXPECT_EQ(5, queue.Downloads());
  EXPECT_EQ(15, queue.TotalSteps());

  std::wstring log;
  bool bom = false;
  ASSERT_TRUE(queue_test::ReadUtf16File(m_temp + L"gw_log.txt", log, bom));
  std::vector<std::wstring> logged;
  const std::wregex id(L"\\) \\[([A-Z0-9]+)\\]\r\n");
  for (std::wsregex_iterator it(log.begin(), log.end(), id), end; it != end; ++it) logged.push_back((*it)[1]);
  EXPECT_EQ(order, logged);
}

// On the machine's own registry (HKEY_LOCAL_MACHINE, 32-bit view): the installer's key is
// where the plug-in finds installed products, and "GUI Lang" lands in the family's key. The
// language has no name in the table, so the shared maker key's "language" is left alone.
TEST_F(InstallQueueRun, MachineRegistryInTheViewThePluginReads) {
  SetEnvironmentVariableW(L"ORV_PRODUCT_REGROOT", nullptr);
  const wchar_t* const productKey = L"Software\\Orvel\\Orvel 2 Vokant\\Hudson";
  win::UniqueRegKey probe;
  const bool familyExisted =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFamily2, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, probe.put()) == ERROR_SUCCESS;
  probe.reset();
  struct Cleanup {
    bool familyExisted;
    const wchar_t* productKey;
    ~Cleanup() {
      RegDeleteKeyExW(HKEY_LOCAL_MACHINE, productKey, KEY_WOW64_32KEY, 0);
      win::UniqueRegKey family;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFamily2, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, family.put()) ==
          ERROR_SUCCESS)
        RegDeleteValueW(family.get(), L"GUI Lang");
      family.reset();
      // Removed only when this test made it and it is empty (a key with sub-keys stays).
      if (!familyExisted) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kFamily2, KEY_WOW64_32KEY, 0);
    }
  } cleanup{familyExisted, productKey};

  const LANGID inuktitut = 0x045D;  // not in the language table
  CProdPtr hudson = Download(L"VOICE_HUDSON", L"Orvel 2 Hudson", L"voice_hudson.exe", VersionNumber(1, 6, 2, 0));
  CInstallQueue queue;
  InstallQueueConfig config = Config(inuktitut);
  config.registryRoot = HKEY_LOCAL_MACHINE;
  queue.Configure(config);
  queue.Prepare({hudson}, HWND(nullptr), nullptr, nullptr);
  ASSERT_EQ(kStepDone, RunQueue(queue));
  ASSERT_EQ(1u, Records().size());
  EXPECT_EQ("1117", Records()[0].language);

  ProductCatalogue catalogue;
  catalogue.ReadInstalledVoiceVersions();
  CProdPtr found = orv_products::FindProductById(catalogue.installedProducts, L"VOICE_HUDSON");
  ASSERT_TRUE(found) << "the installed voice is not found where the plug-in looks";
  EXPECT_EQ(L"1.6.2.0", found->version.ToString());

  win::UniqueRegKey family;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExW(HKEY_LOCAL_MACHINE, kFamily2, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, family.put()));
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  EXPECT_EQ(ERROR_SUCCESS,
            RegQueryValueExW(family.get(), L"GUI Lang", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(1117u, value);
}
}  // namespace
