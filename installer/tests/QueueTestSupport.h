// Fixtures of the install queue's tests: a sandbox per test (temporary folder, registry
// root, the product installers' record file and failure switches), the local gateway, and
// a driver that steps a queue as the progress page does, on the queue's step event instead
// of a one-second timer.
#pragma once

// libcurl (under the download task) brings in winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include <InstallQueue.h>

#include <TestGateway.h>

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace queue_test {

// The gateway of this run (with-gateway), its CA trusted for the whole program; null with
// the reason in why when the program does not run under with-gateway.
const testgateway::GatewayInfo* Gateway(std::string* why = nullptr);
// Sends a control request ("/_control/reset", "/_control/fault?...") to the gateway; the body.
bool GatewayControl(const std::wstring& pathAndQuery, std::string* body = nullptr);

// Windows path of a test product installer ("voice_elbe.exe").
std::wstring ProductInstaller(const std::wstring& name);
std::vector<std::uint8_t> ReadBytes(const std::wstring& path);

// One line a product installer recorded: "ID|<value of /L=>|<command line>".
struct InstallerRecord {
  std::string id;
  std::string language;
  std::string commandLine;
};

// Per test: TMP/TEMP point at a fresh folder, the registry root is a fresh key under
// HKEY_CURRENT_USER (the installers are told through ORV_PRODUCT_REGROOT), installers record
// their runs in the folder's record.txt. Everything is undone at the end.
class QueueSandbox : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A product as the catalogue would hand it to the queue.
  static orv_products::CProdPtr Product(const std::wstring& id, const std::wstring& label, std::uint32_t state,
                                        const VersionNumber& version = VersionNumber());
  // A product downloaded from the gateway's file of that name.
  orv_products::CProdPtr Download(const std::wstring& id, const std::wstring& label, const std::wstring& file,
                                  const VersionNumber& version = VersionNumber());

  // The queue's configuration for this sandbox: messages go to the test's prompt function.
  gwplugin::InstallQueueConfig Config(LANGID langid);

  // Steps the queue until it answers done or cancel (or the time-out fails the test).
  int RunQueue(gwplugin::CInstallQueue& queue, DWORD timeoutMs = 120000);

  std::vector<InstallerRecord> Records() const;
  HKEY Root() const { return m_root; }
  // Writes a REG_DWORD under the sandbox root.
  void SetDword(const std::wstring& key, const wchar_t* name, DWORD value);
  bool KeyExists(const std::wstring& key) const;
  // -1 when missing.
  long long ReadDword(const std::wstring& key, const wchar_t* name) const;
  // Empty with found = false when missing.
  std::wstring ReadString(const std::wstring& key, const wchar_t* name, bool* found = nullptr) const;
  void SetFailure(const std::wstring& id, int exitCode);
  // Sets (or, with an empty value, removes) an environment variable until the test ends.
  void SetVariable(const std::wstring& name, const std::wstring& value);

  std::wstring m_temp;  // ends with a backslash
  std::wstring m_recordPath;

  // What message boxes the queue asked, and the answers the test gives.
  struct Question {
    std::wstring text;
    std::wstring caption;
    UINT type;
  };
  std::vector<Question> m_questions;
  std::function<int(const Question&)> m_answer = [](const Question&) { return IDCANCEL; };

 private:
  std::wstring m_savedTmp, m_savedTemp;
  bool m_hadTmp = false, m_hadTemp = false;
  std::wstring m_rootPath;
  HKEY m_root = nullptr;
  std::vector<std::wstring> m_failureVariables;
};

// UTF-16LE bytes of a file as text (after a byte-order mark, which must be there).
bool ReadUtf16File(const std::wstring& path, std::wstring& text, bool& hadBom);

}  // namespace queue_test
