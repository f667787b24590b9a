#include "QueueTestSupport.h"

#include <UniqueHandle.h>

#include <fstream>
#include <memory>
#include <sstream>

#ifndef ORV_PRODUCTS_DIR
#error "ORV_PRODUCTS_DIR names the folder of the test product installers"
#endif

namespace queue_test {

namespace {

std::wstring Env(const wchar_t* name, bool& present) {
  wchar_t buffer[32768];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 32768);
  present = n > 0 && n < 32768;
  return present ? std::wstring(buffer, n) : std::wstring();
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  win::UniqueFind find(FindFirstFileW((folder + L"*").c_str(), &found));
  if (find) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path + L"\\");
      } else {
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(find.get(), &found));
  }
  find.reset();
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

const testgateway::GatewayInfo* Gateway(std::string* why) {
  struct Holder {
    testgateway::GatewayInfo info;
    std::string failure;
    std::unique_ptr<testgateway::TrustedRootCertificate> trust;
    bool ok = false;
    Holder() {
      if (!testgateway::FindGateway(info, failure)) return;
      trust.reset(new testgateway::TrustedRootCertificate(info.caDerPath));
      if (!trust->Ok()) {
        failure = "the test CA cannot be trusted: " + trust->Failure() + ", error " + std::to_string(trust->Error());
        return;
      }
      ok = true;
    }
  };
  static Holder holder;
  if (why) *why = holder.failure;
  return holder.ok ? &holder.info : nullptr;
}

// A plain libcurl request: the download task probes the length first, and the request log
// grows by the probe's own line before the body is made.
bool GatewayControl(const std::wstring& pathAndQuery, std::string* body) {
  const testgateway::GatewayInfo* gateway = Gateway();
  if (!gateway) return false;
  const std::wstring wide = gateway->Https(pathAndQuery);
  const std::string url(wide.begin(), wide.end());  // ASCII by construction
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return false;
  std::string received;
  auto write = +[](char* data, size_t size, size_t count, void* out) -> size_t {
    static_cast<std::string*>(out)->append(data, size * count);
    return size * count;
  };
  long status = 0;
  if (curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str()) != CURLE_OK ||
      curl_easy_setopt(curl.get(), CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA)) != CURLE_OK ||
      curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, write) != CURLE_OK ||
      curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &received) != CURLE_OK ||
      curl_easy_perform(curl.get()) != CURLE_OK ||
      curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 200)
    return false;
  if (body) *body = received;
  return true;
}

std::wstring ProductInstaller(const std::wstring& name) {
  return testgateway::UnixPathToWindows(ORV_PRODUCTS_DIR) + L"\\" + name;
}

std::vector<std::uint8_t> ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ReadUtf16File(const std::wstring& path, std::wstring& text, bool& hadBom) {
  text.clear();
  hadBom = false;
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  if (bytes.empty()) return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  std::size_t start = 0;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    hadBom = true;
    start = 2;
  }
  for (std::size_t i = start; i + 1 < bytes.size(); i += 2)
    text += static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
  return (bytes.size() - start) % 2 == 0;
}

// ---------------------------------------------------------------------------------------------
void QueueSandbox::SetUp() {
  static int counter = 0;
  const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);

  wchar_t base[MAX_PATH + 1];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, base)) << "GetTempPathW: " << GetLastError();
  m_temp = std::wstring(base) + L"orvq-" + tag + L"\\";
  // Process ids come round again: a run that was killed before its clean-up may have left
  // a folder of this name.
  if (GetFileAttributesW(m_temp.c_str()) != INVALID_FILE_ATTRIBUTES) RemoveTree(m_temp);
  ASSERT_TRUE(CreateDirectoryW(m_temp.c_str(), nullptr)) << "CreateDirectoryW: " << GetLastError();
  m_savedTmp = Env(L"TMP", m_hadTmp);
  m_savedTemp = Env(L"TEMP", m_hadTemp);
  // GetTempPathW takes TMP first, then TEMP; both point into the sandbox.
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", m_temp.c_str()));
  ASSERT_TRUE(SetEnvironmentVariableW(L"TEMP", m_temp.c_str()));
  wchar_t check[MAX_PATH + 1];
  ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, check));
  ASSERT_EQ(m_temp, std::wstring(check));

  m_rootPath = L"Software\\OrvelQueueTests\\" + tag;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, m_rootPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                           nullptr, &m_root, nullptr));
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORV_PRODUCT_REGROOT", m_rootPath.c_str()));
  m_recordPath = m_temp + L"record.txt";
  ASSERT_TRUE(SetEnvironmentVariableW(L"ORV_PRODUCT_RECORD", m_recordPath.c_str()));
}

void QueueSandbox::TearDown() {
  SetEnvironmentVariableW(L"ORV_PRODUCT_REGROOT", nullptr);
  SetEnvironmentVariableW(L"ORV_PRODUCT_RECORD", nullptr);
  for (const std::wstring& name : m_failureVariables) SetEnvironmentVariableW(name.c_str(), nullptr);
  SetEnvironmentVariableW(L"TMP", m_hadTmp ? m_savedTmp.c_str() : nullptr);
  SetEnvironmentVariableW(L"TEMP", m_hadTemp ? m_savedTemp.c_str() : nullptr);
  if (m_root) {
    RegCloseKey(m_root);
    m_root = nullptr;
    EXPECT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, m_rootPath.c_str()));
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\OrvelQueueTests");  // only when empty
  }
  if (!m_temp.empty()) RemoveTree(m_temp);
  if (Gateway()) GatewayControl(L"/_control/reset");
}

orv_products::CProdPtr QueueSandbox::Product(const std::wstring& id, const std::wstring& label, std::uint32_t state,
                                             const VersionNumber& version) {
  auto product = std::make_shared<orv_products::CProd>();
  product->id = id;
  product->label = label;
  product->version = version;
  product->FindBuiltInRow();
  product->state = state;
  return product;
}

orv_products::CProdPtr QueueSandbox::Download(const std::wstring& id, const std::wstring& label,
                                              const std::wstring& file, const VersionNumber& version) {
  const testgateway::GatewayInfo* gateway = Gateway();
  auto product = Product(
      id, label, orv_products::PS_INSTALL | orv_products::PS_INSTALL_CHECK | orv_products::PS_DOWNLOAD, version);
  if (gateway) product->instURL = gateway->Https(L"/" + file);
  product->size = static_cast<std::int64_t>(ReadBytes(ProductInstaller(file)).size());
  return product;
}

gwplugin::InstallQueueConfig QueueSandbox::Config(LANGID langid) {
  gwplugin::InstallQueueConfig config;
  config.langid = langid;
  config.userAgent = L"OrvelQueueTest/1.0";
  config.registryRoot = m_root;
  config.messageBox = [this](HWND, const std::wstring& text, const std::wstring& caption, UINT type) {
    m_questions.push_back({text, caption, type});
    return m_answer(m_questions.back());
  };
  config.executeCodeSegment = [](int, HWND) { return 0; };
  return config;
}

int QueueSandbox::RunQueue(gwplugin::CInstallQueue& queue, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  HANDLE event = queue.StepEvent();
  for (;;) {
    const int result = queue.Step();
    if (result == gwplugin::kStepDone || result == gwplugin::kStepCancelled) return result;
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) {
      ADD_FAILURE() << "the queue did not finish within " << timeoutMs << " ms (last step " << result << ")";
      return -1;
    }
    const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    if (r == WAIT_FAILED) {
      ADD_FAILURE() << "MsgWaitForMultipleObjects: " << GetLastError();
      return -1;
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

std::vector<InstallerRecord> QueueSandbox::Records() const {
  std::vector<InstallerRecord> records;
  std::ifstream in(m_recordPath.c_str(), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    InstallerRecord record;
    const std::size_t a = line.find('|');
    const std::size_t b = a == std::string::npos ? a : line.find('|', a + 1);
    if (b == std::string::npos) {
      record.commandLine = line;
    } else {
      record.id = line.substr(0, a);
      record.language = line.substr(a + 1, b - a - 1);
      record.commandLine = line.substr(b + 1);
    }
    records.push_back(record);
  }
  return records;
}

void QueueSandbox::SetDword(const std::wstring& key, const wchar_t* name, DWORD value) {
  win::UniqueRegKey k;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(m_root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                                           k.put(), nullptr));
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetValueExW(k.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

bool QueueSandbox::KeyExists(const std::wstring& key) const {
  win::UniqueRegKey k;
  return RegOpenKeyExW(m_root, key.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, k.put()) == ERROR_SUCCESS;
}

long long QueueSandbox::ReadDword(const std::wstring& key, const wchar_t* name) const {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (RegGetValueW(m_root, key.c_str(), name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS || type != REG_DWORD)
    return -1;
  return value;
}

std::wstring QueueSandbox::ReadString(const std::wstring& key, const wchar_t* name, bool* found) const {
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  const bool ok = RegGetValueW(m_root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS;
  if (found) *found = ok;
  return ok ? std::wstring(value) : std::wstring();
}

void QueueSandbox::SetFailure(const std::wstring& id, int exitCode) {
  SetVariable(L"ORV_FAIL_" + id, std::to_wstring(exitCode));
}

void QueueSandbox::SetVariable(const std::wstring& name, const std::wstring& value) {
  m_failureVariables.push_back(name);
  ASSERT_TRUE(SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str()) || value.empty())
      << "error " << GetLastError();
}

}  // namespace queue_test
