// The install queue's texts: status texts with 64-bit numbers, installer command lines and
// their extra arguments, and the task log's lines, file encoding and appending.
#include "QueueTestSupport.h"

#include <TaskLog.h>

#include <shlobj.h>

#include <ctime>
#include <regex>

using namespace gwplugin;
using orv_products::CProd;
using orv_products::CProdPtr;
using queue_test::QueueSandbox;

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

TEST(FormatText, FillsConversionsInOrderWithPreformattedArguments) {
  const std::wstring big = std::to_wstring(5000000000LL / 1024);  // does not fit 32 bits as bytes
  struct Case {
    const wchar_t* pattern;
    std::vector<std::wstring> arguments;
    const wchar_t* expected;
  } cases[] = {
      {L"Downloading: %s (%d / %d KB)", {L"Elbe", L"0", big}, L"Downloading: Elbe (0 / 4882812 KB)"},
      {L"Pobieranie: %s (%d / %d KB)",
       {L"Elbe", std::to_wstring(4294967296LL), L"7"},
       L"Pobieranie: Elbe (4294967296 / 7 KB)"},
      {L"%I64d and %lld and %5.2ld and %-3u", {L"a", L"b", L"c", L"d"}, L"a and b and c and d"},
      {L"100%% of %s", {L"it"}, L"100% of it"},
      {L"%s %s %s", {L"only one"}, L"only one  "},  // missing arguments give nothing
      {L"trailing %", {}, L"trailing %"},
      {L"%y is no conversion", {L"x"}, L"%y is no conversion"},
      {L"Downloading of \n\"%s\"\n has failed.", {L"Orvel 2 Elbe"}, L"Downloading of \n\"Orvel 2 Elbe\"\n has failed."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(std::wstring(c.expected), FormatText(c.pattern, c.arguments)) << Narrow(c.pattern);
  }
}

std::wstring ProgramFiles() {
  wchar_t folder[MAX_PATH] = {};
  EXPECT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder));
  return folder;
}

CProdPtr Row(const std::wstring& id, const VersionNumber& version = VersionNumber()) {
  auto product = std::make_shared<CProd>();
  product->id = id;
  product->version = version;
  product->FindBuiltInRow();
  return product;
}

TEST(InstallerCommandLine, ExtraArgumentsByProductKind) {
  const std::wstring helm = L"/ORVEL_HELM=\"" + ProgramFiles() + L"\\Orvel\\Orvel Helmstand\\Orvel Helmstand.exe\"";
  struct Case {
    CProdPtr product;
    bool profile;
    LANGID langid;
    std::wstring expected;
  } cases[] = {
      // An application: never voice arguments, although row 0 of the voice table is a
      // second-generation voice.
      {Row(L"ORVEL_HELM"), false, 1045, L"\"C:\\d\\p.exe\"   /S /L=1045"},
      {Row(L"ORVEL_HELM"), true, 1045, L"\"C:\\d\\p.exe\"   /S /L=1045"},
      {Row(L"ORVEL_TUNELO"), false, 1031, L"\"C:\\d\\p.exe\"   /S /L=1031"},
      {Row(L"ORVEL_PARLON"), false, 1036, L"\"C:\\d\\p.exe\"   /S /L=1036"},
      {Row(L"ORVEL_PARLON"), true, 1036, L"\"C:\\d\\p.exe\"  /PROFILE=emotivar /S /L=1036"},
      // Voices of both families get the Helmstand path.
      {Row(L"VOICE_ELBE", VersionNumber(1, 6, 2, 0)), false, 1033, L"\"C:\\d\\p.exe\"  " + helm + L" /S /L=1033"},
      {Row(L"VOICE_LOIRE", VersionNumber(1, 2, 0, 0)), true, 1034, L"\"C:\\d\\p.exe\"  " + helm + L" /S /L=1034"},
      // Unknown to the tables.
      {Row(L"VOICE_NOBODY", VersionNumber(1, 6, 0, 0)), false, 1045, L"\"C:\\d\\p.exe\"   /S /L=1045"},
      {Row(L"SOMETHING_ELSE"), false, 0x0416, L"\"C:\\d\\p.exe\"   /S /L=1046"},
  };
  for (const Case& c : cases) {
    const std::wstring line =
        BuildInstallerCommandLine(L"C:\\d\\p.exe", GetInstallerArguments(*c.product, c.profile), c.langid);
    EXPECT_EQ(c.expected, line) << Narrow(c.product->id) << " row " << c.product->row << " profile " << c.profile;
  }
}

TEST(TaskLogText, StateNamesInTheLogsOrder) {
  struct Case {
    std::uint32_t state;
    const wchar_t* names;
  } cases[] = {
      {0, L""},
      {0x85, L"PS_INSTALL PS_DOWNLOAD PS_UPGRADE "},
      {0x03, L"PS_INSTALL PS_INSTALL_CHECK "},
      {0xFF,
       L"PS_INSTALL PS_INSTALL_CHECK PS_DOWNLOAD PS_UPGRADE PS_UPDATE PS_DISABLED PS_NOT_AVAILABLE PS_REINSTALL "},
      {0x100, L""},
  };
  for (const Case& c : cases) EXPECT_EQ(std::wstring(c.names), FormatStateNames(c.state)) << std::hex << c.state;
}

TEST(TaskLogText, TimeInTheLogsForm) {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  ASSERT_EQ(0, localtime_s(&local, &t));
  wchar_t expected[64];
  swprintf(expected, 64, L"(%02d:%02d:%02d/%02d.%02d)", local.tm_hour, local.tm_min, local.tm_sec, local.tm_mday,
           local.tm_mon + 1);
  EXPECT_EQ(std::wstring(expected), FormatLogTime(t));
}

class TaskLogFile : public QueueSandbox {};

TEST_F(TaskLogFile, BlocksAreAppendedAsUtf16WithOneByteOrderMark) {
  auto a = std::make_shared<CProd>();
  a->id = L"VOICE_ELBE";
  a->state = 0x85;
  a->instURL = L"https://example.invalid/elbe.exe";
  a->instFile = L"C:\\tmp\\ORV1.tmp.dat";
  a->size = 5000000000LL;
  a->version = VersionNumber(1, 6, 2, 0);
  auto b = std::make_shared<CProd>();
  b->id = L"ORVEL_HELM";
  b->state = 0x03;
  b->extractFunction = 12;

  for (int run = 0; run < 2; ++run) {
    InstallTaskLog log;
    ASSERT_TRUE(log.Open()) << "error " << log.LastError();
    EXPECT_TRUE(log.WriteTasks(run == 0 ? orv_products::ProductList{a, b} : orv_products::ProductList{}));
  }
  std::wstring text;
  bool bom = false;
  ASSERT_TRUE(queue_test::ReadUtf16File(m_temp + L"gw_log.txt", text, bom));
  EXPECT_TRUE(bom);
  EXPECT_EQ(std::wstring::npos, text.find(L'\xFEFF')) << "a second byte-order mark in the middle";

  const std::wstring time = L"\\(\\d\\d:\\d\\d:\\d\\d/\\d\\d\\.\\d\\d\\)";
  const std::wregex expected(
      L"==> Task to install \\(BEGIN\\)\r\n"
      L"> " +
      time +
      L" \\[VOICE_ELBE\\]\r\n"
      L"\tState: PS_INSTALL PS_DOWNLOAD PS_UPGRADE \r\n"
      L"\tInstURL: https://example\\.invalid/elbe\\.exe \r\n"
      L"\tInstFile: C:\\\\tmp\\\\ORV1\\.tmp\\.dat \r\n"
      L"\tInstSize: 5000000000 \r\n"
      L"\tVersion: 1\\.6\\.2\\.0 \r\n"
      L"\tExtractFunc: NO \r\n"
      L"\r\n"
      L"> " +
      time +
      L" \\[ORVEL_HELM\\]\r\n"
      L"\tState: PS_INSTALL PS_INSTALL_CHECK \r\n"
      L"\tInstURL:  \r\n"
      L"\tInstFile:  \r\n"
      L"\tInstSize: 0 \r\n"
      L"\tVersion: 0\\.0\\.0\\.0 \r\n"
      L"\tExtractFunc: YES \r\n"
      L"\r\n"
      L"==> Task to install \\(END\\)\r\n\r\n"
      // The second preparation: an empty queue.
      L"==> Task to install \\(BEGIN\\)\r\n"
      L"==> Task to install \\(END\\)\r\n\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << Narrow(text);
}

TEST_F(TaskLogFile, OpenFailsWithoutATemporaryFolderFile) {
  // A folder in the way of the file: nothing can be opened, nothing is written.
  ASSERT_TRUE(CreateDirectoryW((m_temp + L"gw_log.txt").c_str(), nullptr));
  InstallTaskLog log;
  EXPECT_FALSE(log.Open());
  EXPECT_NE(0u, log.LastError());
  EXPECT_FALSE(log.Write(L"x"));
}

}  // namespace
