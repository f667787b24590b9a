// Helpers shared by the plug-in's tests: environment variables and temporary folders that
// clean up after themselves, files written in one call, and the catalogue documents the
// tests build.
#pragma once

#include <UniqueHandle.h>

#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace gwplugin_test {

// The plug-in's hidden window on this thread (other processes of the test run have their own).
inline BOOL CALLBACK FindHiddenWindow(HWND hWnd, LPARAM lParam) {
  wchar_t name[64];
  if (GetClassNameW(hWnd, name, 64) && wcscmp(name, L"GWPluginWnd") == 0) {
    *reinterpret_cast<HWND*>(lParam) = hWnd;
    return FALSE;
  }
  return TRUE;
}
inline HWND HiddenWindowOfThisThread() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindHiddenWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Sets (or, with null, removes) an environment variable for a scope; the old value returns.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : m_name(name) {
    wchar_t old[4096];
    DWORD length = GetEnvironmentVariableW(name, old, 4096);
    m_had = length > 0 && length < 4096;
    if (m_had) m_old.assign(old, length);
    SetEnvironmentVariableW(name, value);
  }
  ~ScopedEnvironment() { SetEnvironmentVariableW(m_name.c_str(), m_had ? m_old.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring m_name;
  std::wstring m_old;
  bool m_had = false;
};

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    m_path =
        std::wstring(temp) + L"orvtest_" + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
    CreateDirectoryW(m_path.c_str(), nullptr);
  }
  ~TempFolder() { Remove(m_path); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::wstring& Path() const { return m_path; }
  std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

 private:
  static void Remove(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    win::UniqueFind find(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (find) {
      do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        std::wstring path = folder + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(path);
        else
          DeleteFileW(path.c_str());
      } while (FindNextFileW(find.get(), &found));
    }
    find.reset();
    RemoveDirectoryW(folder.c_str());
  }
  std::wstring m_path;
};

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  win::UniqueFile file(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD written = 0;
  return bytes.empty() || (WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                           written == bytes.size());
}

inline std::string ReadBytes(const std::wstring& path) {
  win::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!file) return bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  return bytes;
}

// The lines of a UTF-8 text file, without their line ends.
inline std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::string bytes = ReadBytes(path);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// The lines of the plug-in's test trace (ORV_GW_TEST_TRACE) without their stamps
// ("hh:mm:ss.mmm T<thread id> "); a line without one is kept behind "<no stamp> ", so that
// it matches nothing a test looks for.
inline std::vector<std::string> ReadTrace(const std::wstring& path) {
  static const std::regex stamp("^[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3} T[0-9]+ ");
  std::vector<std::string> lines = ReadLines(path);
  for (std::string& line : lines) {
    std::smatch found;
    line = std::regex_search(line, found, stamp) ? found.suffix().str() : "<no stamp> " + line;
  }
  return lines;
}

// Catalogue documents, built up by the tests.
struct CatalogueProduct {
  std::string id;
  std::string version;
  std::string file;
  std::string nameEn;
  std::string namePl;
  std::string type;
  std::string sg;  // empty: not written
};

struct CatalogueGroup {
  std::string id;
  std::string nameEn;
  std::vector<CatalogueProduct> products;
};

inline std::string CatalogueXml(const std::vector<CatalogueGroup>& groups, const std::string& lang = "en-US") {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">\n";
  for (const CatalogueGroup& group : groups) {
    xml += " <prodgroup><label>" + group.id + "</label><descs><name><transl lang=\"" + lang + "\">" + group.nameEn +
           "</transl></name></descs><products>\n";
    for (const CatalogueProduct& p : group.products) {
      xml += "  <prod><label>" + p.id + "</label><version>" + p.version + "</version><file>" + p.file +
             "</file><os>7</os>";
      if (!p.type.empty()) xml += "<type>" + p.type + "</type>";
      if (!p.sg.empty()) xml += "<sg>" + p.sg + "</sg>";
      xml += "<descs><name>";
      if (!p.nameEn.empty()) xml += "<transl lang=\"" + lang + "\">" + p.nameEn + "</transl>";
      if (!p.namePl.empty()) xml += "<transl lang=\"pl-PL\">" + p.namePl + "</transl>";
      xml += "</name><description><transl lang=\"" + lang + "\">About " + p.id +
             "</transl></description></descs></prod>\n";
    }
    xml += " </products></prodgroup>\n";
  }
  return xml + "</content>\n";
}

// An address where nothing listens: a download there is refused at once.
inline const wchar_t* RefusedGateway() {
  return L"https://127.0.0.1:1/orvadmin/modules/orvapi/orv.gateway.orvapi.php?action=content&protocol=1.0&pgroup=1";
}

}  // namespace gwplugin_test
