// The one seam through which tests reach into the plug-in: environment variables that only a
// build made with ORV_GW_TEST_HOOKS reads (the CMake test tree defines it; the deliverables'
// tree does not, so a shipped GWPlugin.dll never looks at them and always talks to the maker's
// gateway).
//
//   ORV_GW_TEST_GATEWAY         the catalogue request's address up to its language parameter
//                               ("https://127.0.0.1:PORT/...?action=content&protocol=1.0&pgroup=1",
//                               fault switches of the test gateway may follow); the plug-in adds
//                               "&lang=<code>" as it does to the maker's address.
//   ORV_GW_TEST_TRACE           a file (Windows path) to which every line the plug-in logs is
//                               appended, UTF-8, one line each, with where each export call is
//                               entered and left. Each line begins with its stamp, the local
//                               time and the thread id ("hh:mm:ss.mmm T<id> "), so that a failed
//                               run shows what happened when and on which thread.
//   ORV_GW_TEST_DOWNLOAD_EVENT  the name of a Win32 event that the plug-in sets when the catalogue
//                               download has ended, so a test script can wait for it.
//   ORV_GW_TEST_OVERWRITE_DOWNLOAD
//                               a file (Windows path) whose bytes another process's write would
//                               put over a downloaded installer, from its first byte and never
//                               past its length, in the moment between the closing of the
//                               download's write handle and the file's reopening for the run.
//
// Without ORV_GW_TEST_HOOKS every function here answers "not set" and does nothing.
#pragma once

#include <string>

namespace gwplugin {
namespace testhooks {

// The test gateway's address, or empty (the maker's gateway is used).
std::wstring GatewayAddress();

// Appends one line to the trace file, when one is named. Never throws.
void Trace(const std::wstring& line) noexcept;

// Marks an export call in the trace: "export NAME entered" when made, "export NAME left" when
// it ends, however it ends; the host's callbacks as "callback NAME ...".
class ExportScope {
 public:
  explicit ExportScope(const char* name, const char* kind = "export") noexcept;
  ~ExportScope();
  ExportScope(const ExportScope&) = delete;
  ExportScope& operator=(const ExportScope&) = delete;

 private:
  const char* m_name;
  const char* m_kind;
};

// Sets the download event, when one is named.
void SignalDownloadEnded();

// The download's write handle of the file at path has just been closed and the file is not
// open yet for the run: overwrites it in place when ORV_GW_TEST_OVERWRITE_DOWNLOAD says so.
// Never throws.
void DownloadWriteHandleClosed(const std::wstring& path) noexcept;

}  // namespace testhooks
}  // namespace gwplugin
