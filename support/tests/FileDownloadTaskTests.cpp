// FileDownloadTask against the local HTTPS gateway (testing/gateway), whose test CA is
// trusted in this prefix's local-machine ROOT store while the program runs.
// libcurl brings in winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "FileDownloadTask.h"

#include "TestGateway.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

std::ostream& operator<<(std::ostream& out, DownloadResult result) {
  return out << DownloadResultName(result) << " (" << static_cast<int>(result) << ")";
}

std::ostream& operator<<(std::ostream& out, DownloadState state) { return out << static_cast<int>(state); }

namespace {

testgateway::GatewayInfo g_gateway;

class GatewayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    std::string why;
    ASSERT_TRUE(testgateway::FindGateway(g_gateway, why)) << why;
    m_trust.reset(new testgateway::TrustedRootCertificate(g_gateway.caDerPath));
    ASSERT_TRUE(m_trust->Ok()) << m_trust->Failure() << ", error 0x" << std::hex << m_trust->Error();
  }
  void TearDown() override {
    if (!m_trust) return;
    std::vector<BYTE> certificate = m_trust->Certificate();
    m_trust.reset();
    EXPECT_FALSE(testgateway::HasRootCertificate(certificate)) << "the test CA stays trusted after the run";
  }

 private:
  std::unique_ptr<testgateway::TrustedRootCertificate> m_trust;
};

::testing::Environment* const g_environment = ::testing::AddGlobalTestEnvironment(new GatewayEnvironment);

using Event = win::UniqueKernelHandle;

Event NewEvent() { return Event(CreateEventW(nullptr, TRUE, FALSE, nullptr)); }

std::wstring GeneratedPath(std::int64_t size, unsigned seed, const std::wstring& extra = L"") {
  return L"/file?size=" + std::to_wstring(size) + L"&seed=" + std::to_wstring(seed) + extra;
}

// Quick enough for the tests, generous enough for a loaded machine.
DownloadTimeouts TestTimeouts() {
  DownloadTimeouts t;
  t.connectMilliseconds = 10000;
  t.lowSpeedBytesPerSecond = 1;
  t.lowSpeedSeconds = 20;
  return t;
}

// What the signals of one task reported.
struct Recording {
  std::mutex lock;
  std::vector<std::int64_t> received;
  std::vector<std::int64_t> totals;
  std::int64_t bytes = 0;
  int finished = 0;
  DWORD finishedThread = 0;
  DownloadResult resultAtFinish = DownloadResult::None;
  DownloadState stateAtFinish = DownloadState::NotStarted;
};

FileDownloadTaskPtr NewTask(const std::wstring& url, const std::shared_ptr<Recording>& rec) {
  FileDownloadTaskPtr task(new FileDownloadTask);
  task->SetUrl(url);
  task->SetUserAgent(L"OrvelDownloadTest/1.0");
  task->SetTimeouts(TestTimeouts());
  task->Progress().connect(
      [rec](FileDownloadTask&, std::int64_t received, std::int64_t total, const MemoryView& block) {
        std::lock_guard<std::mutex> guard(rec->lock);
        rec->received.push_back(received);
        rec->totals.push_back(total);
        rec->bytes += block.Length();
      });
  task->Finished().connect([rec](FileDownloadTask& t) {
    std::lock_guard<std::mutex> guard(rec->lock);
    ++rec->finished;
    rec->finishedThread = GetCurrentThreadId();
    rec->resultAtFinish = t.GetResult();
    rec->stateAtFinish = t.GetState();
  });
  return task;
}

std::string Describe(const FileDownloadTask& task) {
  return std::string("result ") + DownloadResultName(task.GetResult()) + ", curl " +
         std::to_string(task.GetCurlCode()) + ", HTTP " + std::to_string(task.GetHttpStatus()) + ", received " +
         std::to_string(task.GetReceivedSize()) + ", total " + std::to_string(task.GetTotalSize()) + ", error \"" +
         task.GetErrorText() + "\"";
}

// A temporary file opened for writing, held as a FileHandleRecord; deleted at the end.
class TempFile {
 public:
  TempFile() {
    wchar_t dir[MAX_PATH], name[MAX_PATH];
    if (GetTempPathW(MAX_PATH, dir) && GetTempFileNameW(dir, L"dlt", 0, name)) m_path = name;
  }
  ~TempFile() {
    m_record.reset();
    if (!m_path.empty()) DeleteFileW(m_path.c_str());
  }
  const FileHandlePtr& Open() {
    m_record = MakeFileRecord(CreateFileW(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return m_record;
  }
  void Close() { m_record.reset(); }
  std::vector<std::uint8_t> Contents() const {
    std::vector<std::uint8_t> bytes;
    HANDLE h = CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(h, &size)) {
      bytes.resize(static_cast<size_t>(size.QuadPart));
      DWORD read = 0;
      if (!bytes.empty() &&
          (!ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()))
        bytes.clear();
    }
    CloseHandle(h);
    return bytes;
  }
  const std::wstring& Path() const { return m_path; }

 private:
  std::wstring m_path;
  FileHandlePtr m_record;
};

// Index of the first differing byte, or -1 when equal (sizes included).
long long FirstDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<long long>(i);
  return a.size() == b.size() ? -1 : static_cast<long long>(n);
}

std::string GatewayLog() {
  FileDownloadTaskPtr task(new FileDownloadTask);
  task->SetUrl(g_gateway.Https(L"/_control/log"));
  task->StartToMemory();
  if (!task->WaitFinished(20000)) return "(log not fetched)";
  ByteBuffer data = task->GetData();
  return std::string(reinterpret_cast<const char*>(data.Data()), static_cast<size_t>(data.Length()));
}

// The requests of the log whose target contains needle, one per line.
std::vector<std::string> LoggedRequests(const std::string& needle) {
  std::vector<std::string> lines;
  std::string log = GatewayLog();
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (line.find(needle) != std::string::npos) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

const DWORD kFinishWait = 30000;

// ---------------------------------------------------------------------------------------

struct ProbeCase {
  const char* name;
  std::wstring path;
  std::int64_t total;
  std::uint32_t flags;
};

TEST(FileDownloadTaskProbe, ReportsTheLengthTheServerAnnounces) {
  const ProbeCase cases[] = {
      {"with length", GeneratedPath(123457, 1), 123457,
       DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN | DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN},
      {"without length", GeneratedPath(123457, 1, L"&fault=nolength"), 0, DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN},
      // Beyond 32 bits: 5,000,000,000 bytes (announced only; the probe fetches no body).
      {"5 GB", GeneratedPath(5000000000LL, 1), 5000000000LL,
       DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN | DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN},
      {"3 GB", GeneratedPath(3000000000LL, 1), 3000000000LL,
       DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN | DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN},
      {"empty", GeneratedPath(0, 1), 0, DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN},
  };
  for (const ProbeCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(c.path), rec);
    task->StartInfoOnly();
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    EXPECT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
    EXPECT_EQ(DownloadState::Finished, task->GetState());
    EXPECT_EQ(DownloadMode::InfoOnly, task->GetMode());
    EXPECT_EQ(c.total, task->GetTotalSize());
    EXPECT_EQ(c.flags, task->GetFlags());
    EXPECT_EQ(L"application/octet-stream", task->GetContentType());
    EXPECT_EQ(0, task->GetReceivedSize());
    EXPECT_TRUE(rec->received.empty()) << "a probe fetches no body";
    EXPECT_EQ(1, rec->finished);
  }
}

TEST(FileDownloadTaskProbe, UnknownHostEndsWithHostNotFoundAndNoBodyPass) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(L"https://no-such-host.invalid/file", rec);
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  EXPECT_EQ(DownloadResult::HostNotFound, task->GetResult()) << Describe(*task);
  EXPECT_EQ(CURLE_COULDNT_RESOLVE_HOST, task->GetCurlCode());
  EXPECT_EQ(DownloadState::Finished, task->GetState());
  EXPECT_EQ(1, rec->finished);
  EXPECT_EQ(DownloadResult::HostNotFound, rec->resultAtFinish) << "the result is set before the signal";
  EXPECT_EQ(DownloadState::Finished, rec->stateAtFinish);
  EXPECT_TRUE(rec->received.empty());
  EXPECT_EQ(0, task->GetData().Length());
}

// ---------------------------------------------------------------------------------------

TEST(FileDownloadTaskMemory, KeepsTheBodyInChunksAndJoinsIt) {
  // One chunk exactly, one byte into a second chunk, and sizes around them.
  const std::int64_t sizes[] = {65536, 65537, 1, 65535, 3 * 65536 + 17};
  for (std::int64_t size : sizes) {
    SCOPED_TRACE("size " + std::to_string(size));
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(size, 2)), rec);
    task->StartToMemory();
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    ASSERT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
    EXPECT_EQ(size, task->GetReceivedSize());
    EXPECT_EQ(size, task->GetTotalSize());
    EXPECT_EQ(DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN | DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN | DOWNLOAD_FLAG_MEMORY_DATA_COMPLETE,
              task->GetFlags());
    ByteBuffer data = task->GetData();
    std::vector<std::uint8_t> got(data.Data(), data.Data() + data.Length());
    EXPECT_EQ(-1, FirstDifference(testgateway::GatewayContent(2, 0, static_cast<size_t>(size)), got))
        << "got " << got.size() << " bytes";
    ASSERT_FALSE(rec->received.empty());
    EXPECT_EQ(size, rec->received.back());
    EXPECT_EQ(size, rec->bytes);
    EXPECT_EQ(size, rec->totals.back());
    EXPECT_EQ(1, rec->finished);
  }
}

TEST(FileDownloadTaskMemory, BodyWithoutLengthSucceedsWithUnknownTotal) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(70000, 3, L"&fault=nolength")), rec);
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  EXPECT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  EXPECT_EQ(0, task->GetTotalSize());
  EXPECT_EQ(70000, task->GetData().Length());
}

TEST(FileDownloadTaskMemory, KeepsExactlyTheBytesThatCameWhenTheProbedLengthWasWrong) {
  struct Case {
    const char* name;
    std::int64_t size;
    const wchar_t* extra;
    DownloadResult result;
    std::int64_t received;
  };
  const Case cases[] = {
      {"longer than probed", 4000, L"&head_size=3000", DownloadResult::SizeMismatch, 4000},
      {"longer than probed by several chunks", 200000, L"&head_size=1000", DownloadResult::SizeMismatch, 200000},
      {"shorter than probed", 4000, L"&head_size=5000", DownloadResult::SizeMismatch, 4000},
      {"connection ends early", 150000, L"&fault=short", DownloadResult::PartialBody, 75000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(c.size, 4, c.extra)), rec);
    task->StartToMemory();
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    EXPECT_EQ(c.result, task->GetResult()) << Describe(*task);
    EXPECT_EQ(c.received, task->GetReceivedSize());
    ByteBuffer data = task->GetData();
    std::vector<std::uint8_t> got(data.Data(), data.Data() + data.Length());
    EXPECT_EQ(-1, FirstDifference(testgateway::GatewayContent(4, 0, static_cast<size_t>(c.received)), got))
        << "got " << got.size() << " bytes";
  }
}

// A body in memory stops at its limit as soon as passing it shows: at the probe's length, at
// the body's own length, or at the block that would go beyond it. What is kept never does.
TEST(FileDownloadTaskMemory, StopsAtItsLimit) {
  const std::int32_t limit = 100000;
  struct Case {
    const char* name;
    std::wstring path;
    DownloadResult result;
    int curlCode;
    std::int64_t kept;  // -1: whatever came before the block that passed the limit
    std::size_t requests;
  };
  const Case cases[] = {
      {"exactly the limit", GeneratedPath(limit, 15, L"&t=limit1"), DownloadResult::Success, CURLE_OK, limit, 2},
      {"exactly the limit, without length", GeneratedPath(limit, 15, L"&fault=nolength&t=limit2"),
       DownloadResult::Success, CURLE_OK, limit, 2},
      {"the probe announces more", GeneratedPath(limit + 1, 15, L"&t=limit3"), DownloadResult::TooLarge, CURLE_OK, 0,
       1},
      {"the body announces more than the probe", GeneratedPath(5000000, 15, L"&head_size=1000&t=limit4"),
       DownloadResult::TooLarge, CURLE_FILESIZE_EXCEEDED, 0, 2},
      {"a body without length runs past it", GeneratedPath(5000000, 15, L"&fault=nolength&t=limit5"),
       DownloadResult::TooLarge, CURLE_WRITE_ERROR, -1, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(c.path), rec);
    task->StartToMemory(limit);
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    EXPECT_EQ(c.result, task->GetResult()) << Describe(*task);
    EXPECT_EQ(c.curlCode, task->GetCurlCode()) << Describe(*task);
    const std::int64_t received = task->GetReceivedSize();
    EXPECT_LE(received, limit);
    if (c.kept >= 0) {
      EXPECT_EQ(c.kept, received);
    }
    ByteBuffer data = task->GetData();
    std::vector<std::uint8_t> got(data.Data(), data.Data() + data.Length());
    EXPECT_EQ(-1, FirstDifference(testgateway::GatewayContent(15, 0, static_cast<size_t>(received)), got))
        << "got " << got.size() << " bytes";
    EXPECT_EQ(received, rec->bytes);
    EXPECT_EQ(1, rec->finished);
    const std::string tag = "t=limit" + std::to_string(&c - cases + 1);
    EXPECT_EQ(c.requests, LoggedRequests(tag).size()) << "a refused probe asks for no body";
  }
}

// ---------------------------------------------------------------------------------------

TEST(FileDownloadTaskFile, ResumesFromTheFileSizeWithAByteIdenticalResult) {
  const std::int64_t size = 300000;
  const std::vector<std::uint8_t> expected = testgateway::GatewayContent(4, 0, size);
  TempFile file;
  const FileHandlePtr& record = file.Open();
  ASSERT_TRUE(record) << "GetLastError " << GetLastError();
  AppendToFile(record, MemoryView(expected.data(), 1000));

  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(size, 4, L"&t=resume")), rec);
  task->StartToFile(record, true);
  EXPECT_EQ(1000, task->GetReceivedSize()) << "received starts at the resume offset";
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  ASSERT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  EXPECT_EQ(size, task->GetReceivedSize());
  ASSERT_FALSE(rec->received.empty());
  EXPECT_GT(rec->received.front(), 1000) << "progress counts from the resume offset";
  EXPECT_EQ(size - 1000, rec->bytes);
  file.Close();
  EXPECT_EQ(-1, FirstDifference(expected, file.Contents()));

  std::vector<std::string> requests = LoggedRequests("t=resume");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ(0u, requests[0].find("HEAD ")) << requests[0];
  EXPECT_NE(std::string::npos, requests[1].find("bytes=1000-")) << requests[1];
}

TEST(FileDownloadTaskFile, WithoutResumptionEmptiesTheFileFirst) {
  const std::int64_t size = 3000;
  TempFile file;
  const FileHandlePtr& record = file.Open();
  ASSERT_TRUE(record);
  std::vector<std::uint8_t> junk(5000, 0xEE);
  AppendToFile(record, MemoryView(junk.data(), static_cast<std::int32_t>(junk.size())));

  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(size, 5)), rec);
  task->StartToFile(record, false);
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  ASSERT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  file.Close();
  EXPECT_EQ(-1, FirstDifference(testgateway::GatewayContent(5, 0, size), file.Contents()));
}

TEST(FileDownloadTaskFile, ResumptionAgainstAServerIgnoringRangeRestartsFromZero) {
  const std::int64_t size = 200000;
  const std::vector<std::uint8_t> expected = testgateway::GatewayContent(6, 0, size);
  TempFile file;
  const FileHandlePtr& record = file.Open();
  ASSERT_TRUE(record);
  AppendToFile(record, MemoryView(expected.data(), 1000));

  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(size, 6, L"&fault=norange&t=norange")), rec);
  task->StartToFile(record, true);
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  ASSERT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  EXPECT_EQ(size, task->GetReceivedSize());
  EXPECT_EQ(size, rec->bytes) << "the whole body, once";
  file.Close();
  std::vector<std::uint8_t> got = file.Contents();
  EXPECT_EQ(static_cast<size_t>(size), got.size()) << "never the partial file with a whole body after it";
  EXPECT_EQ(-1, FirstDifference(expected, got));
  std::vector<std::string> requests = LoggedRequests("t=norange");
  ASSERT_EQ(3u, requests.size()) << "probe, ranged attempt, restart";
  EXPECT_NE(std::string::npos, requests[1].find("bytes=1000-")) << requests[1];
  EXPECT_NE(std::string::npos, requests[2].find(" -")) << "the restart asks for no range: " << requests[2];
}

TEST(FileDownloadTaskFile, ResumingAtOrBeyondTheEnd) {
  const std::int64_t size = 3000;
  const std::vector<std::uint8_t> whole = testgateway::GatewayContent(14, 0, size);
  struct Case {
    const char* name;
    size_t fileSize;
    DownloadResult result;
  };
  const Case cases[] = {
      {"file already whole", static_cast<size_t>(size), DownloadResult::Success},
      {"file longer than the resource", static_cast<size_t>(size) + 500, DownloadResult::RangeRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::uint8_t> before = whole;
    before.resize(c.fileSize, 0x55);
    TempFile file;
    const FileHandlePtr& record = file.Open();
    ASSERT_TRUE(record);
    AppendToFile(record, MemoryView(before.data(), static_cast<std::int32_t>(before.size())));
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(size, 14)), rec);
    task->StartToFile(record, true);
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    EXPECT_EQ(c.result, task->GetResult()) << Describe(*task);
    EXPECT_EQ(416, task->GetHttpStatus());
    file.Close();
    EXPECT_EQ(-1, FirstDifference(before, file.Contents())) << "the file is left as it was";
  }
}

TEST(FileDownloadTaskFile, NullFileIsRefusedAtStartAndLeavesTheTaskUnstarted) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(10, 1)), rec);
  EXPECT_THROW(task->StartToFile(FileHandlePtr(), true), FileException);
  EXPECT_THROW(task->StartToFile(FileHandlePtr(), false), FileException);
  EXPECT_EQ(DownloadState::NotStarted, task->GetState());
  EXPECT_EQ(DownloadMode::NotStarted, task->GetMode());
  EXPECT_FALSE(task->WaitFinished(0));
  // Still startable.
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  EXPECT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  EXPECT_THROW(task->StartToMemory(), std::logic_error) << "a task starts once";
}

// ---------------------------------------------------------------------------------------
// Faults: each ends with its own result, never with Success.

struct FaultCase {
  const char* name;
  std::wstring url;
  DownloadMode mode;
  DownloadResult result;
  int curlCode;
  long httpStatus;  // -1: not checked
};

TEST(FileDownloadTaskFaults, EndWithTheirOwnResult) {
  const FaultCase cases[] = {
      {"untrusted certificate", g_gateway.Untrusted(GeneratedPath(1000, 1)), DownloadMode::ToMemory,
       DownloadResult::Failed, CURLE_PEER_FAILED_VERIFICATION, -1},
      {"certificate for another host", g_gateway.WrongHost(GeneratedPath(1000, 1)), DownloadMode::ToMemory,
       DownloadResult::Failed, CURLE_PEER_FAILED_VERIFICATION, -1},
      {"404 at the probe", g_gateway.Https(GeneratedPath(1000, 1, L"&fault=404")), DownloadMode::ToMemory,
       DownloadResult::HttpError, CURLE_HTTP_RETURNED_ERROR, 404},
      {"500 at the probe", g_gateway.Https(GeneratedPath(1000, 1, L"&fault=500")), DownloadMode::InfoOnly,
       DownloadResult::HttpError, CURLE_HTTP_RETURNED_ERROR, 500},
      {"404 at the body", g_gateway.Https(GeneratedPath(1000, 1, L"&fault=404&only=GET")), DownloadMode::ToFile,
       DownloadResult::HttpError, CURLE_HTTP_RETURNED_ERROR, 404},
      {"500 at the body", g_gateway.Https(GeneratedPath(1000, 1, L"&fault=500&only=GET")), DownloadMode::ToMemory,
       DownloadResult::HttpError, CURLE_HTTP_RETURNED_ERROR, 500},
      {"short body to memory", g_gateway.Https(GeneratedPath(100000, 1, L"&fault=short")), DownloadMode::ToMemory,
       DownloadResult::PartialBody, CURLE_PARTIAL_FILE, 200},
      {"short body to a file", g_gateway.Https(GeneratedPath(100000, 1, L"&fault=short&short_by=1")),
       DownloadMode::ToFile, DownloadResult::PartialBody, CURLE_PARTIAL_FILE, 200},
      {"body longer than probed", g_gateway.Https(GeneratedPath(4000, 1, L"&head_size=3000")), DownloadMode::ToFile,
       DownloadResult::SizeMismatch, CURLE_OK, 200},
      {"body shorter than probed", g_gateway.Https(GeneratedPath(4000, 1, L"&head_size=5000")), DownloadMode::ToMemory,
       DownloadResult::SizeMismatch, CURLE_OK, 200},
      {"redirect from https to http", g_gateway.Https(GeneratedPath(1000, 1, L"&fault=redirect-http")),
       DownloadMode::ToMemory, DownloadResult::Failed, CURLE_UNSUPPORTED_PROTOCOL, -1},
      {"nothing listening", L"https://127.0.0.1:1/file", DownloadMode::ToMemory, DownloadResult::Failed,
       CURLE_COULDNT_CONNECT, -1},
      // More than libcurl takes as one option value (8 MB).
      {"URL too long for libcurl", g_gateway.Https(L"/file?pad=" + std::wstring(9 * 1024 * 1024, L'a')),
       DownloadMode::ToMemory, DownloadResult::OptionRefused, CURLE_BAD_FUNCTION_ARGUMENT, -1},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(c.url, rec);
    TempFile file;
    if (c.mode == DownloadMode::ToFile)
      task->StartToFile(file.Open(), false);
    else if (c.mode == DownloadMode::InfoOnly)
      task->StartInfoOnly();
    else
      task->StartToMemory();
    ASSERT_TRUE(task->WaitFinished(kFinishWait));
    EXPECT_EQ(c.result, task->GetResult()) << Describe(*task);
    EXPECT_EQ(c.curlCode, task->GetCurlCode()) << Describe(*task);
    if (c.httpStatus >= 0) {
      EXPECT_EQ(c.httpStatus, task->GetHttpStatus());
    }
    if (c.result != DownloadResult::SizeMismatch && c.result != DownloadResult::PartialBody) {
      EXPECT_FALSE(task->GetErrorText().empty());
    }
    EXPECT_EQ(0u, task->GetFlags() & DOWNLOAD_FLAG_MEMORY_DATA_COMPLETE);
    EXPECT_EQ(DownloadState::Finished, task->GetState());
    EXPECT_EQ(1, rec->finished);
    if (c.result == DownloadResult::HttpError && c.mode == DownloadMode::ToFile) {
      file.Close();
      EXPECT_TRUE(file.Contents().empty()) << "no error page in the file";
    }
  }
}

TEST(FileDownloadTaskFaults, RedirectWithinHttpsIsFollowed) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(5000, 8, L"&fault=redirect")), rec);
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  ASSERT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  ByteBuffer data = task->GetData();
  EXPECT_EQ(-1, FirstDifference(testgateway::GatewayContent(8, 0, 5000),
                                std::vector<std::uint8_t>(data.Data(), data.Data() + data.Length())));
}

TEST(FileDownloadTaskFaults, StalledTransfersEndWithinTheLowSpeedTime) {
  struct StallCase {
    const char* name;
    std::wstring path;
    DownloadMode mode;
  };
  const StallCase cases[] = {
      {"body stalls after 1000 bytes", GeneratedPath(500000, 1, L"&fault=stall&stall_after=1000&stall_seconds=90"),
       DownloadMode::ToMemory},
      {"probe never answered", GeneratedPath(1000, 1, L"&fault=hang&hang_seconds=90"), DownloadMode::InfoOnly},
  };
  for (const StallCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(g_gateway.Https(c.path), rec);
    DownloadTimeouts timeouts = TestTimeouts();
    timeouts.lowSpeedBytesPerSecond = 10000;
    timeouts.lowSpeedSeconds = 1;
    task->SetTimeouts(timeouts);
    if (c.mode == DownloadMode::InfoOnly)
      task->StartInfoOnly();
    else
      task->StartToMemory();
    // The server stalls for 90 s: ending as timed out within 60 s (sixty times the low-speed
    // time) can only be the low-speed limit's doing.
    ASSERT_TRUE(task->WaitFinished(60000)) << "a stalled transfer must end by itself";
    EXPECT_EQ(DownloadResult::TimedOut, task->GetResult()) << Describe(*task);
    EXPECT_EQ(CURLE_OPERATION_TIMEDOUT, task->GetCurlCode());
    EXPECT_EQ(1, rec->finished);
  }
}

// Cancel stops a transfer within about a second whatever the server does: while it holds the
// connection without a TLS handshake, sends no headers, or sends no more of the body. The
// task's own time-outs are far beyond the run, so only the cancel can end it.
TEST(FileDownloadTaskCancel, EndsAsCancelledWhileTheServerSendsNothing) {
  struct CancelCase {
    const char* name;
    std::wstring url;
    std::string logged;  // the gateway's log line of the stalled request (its start)
    DownloadMode mode;
  };
  const std::wstring stall = L"&fault=stall&only=GET&stall_seconds=300&stall_after=";
  const CancelCase cases[] = {
      {"no TLS handshake, probe", g_gateway.Silent(GeneratedPath(1000, 1)), "ACCEPT silent", DownloadMode::InfoOnly},
      {"no TLS handshake, to a file", g_gateway.Silent(GeneratedPath(1000, 1)), "ACCEPT silent", DownloadMode::ToFile},
      {"no headers, probe", g_gateway.Https(GeneratedPath(1000, 2, L"&fault=hang&hang_seconds=300")),
       "HEAD /file?size=1000&seed=2&", DownloadMode::InfoOnly},
      {"no body, to memory", g_gateway.Https(GeneratedPath(500000, 3, stall + L"0")), "GET /file?size=500000&seed=3&",
       DownloadMode::ToMemory},
      {"body stops after 4 KiB, to a file", g_gateway.Https(GeneratedPath(500000, 4, stall + L"4096")),
       "GET /file?size=500000&seed=4&", DownloadMode::ToFile},
  };
  DownloadTimeouts patient;
  patient.connectMilliseconds = 300000;
  patient.lowSpeedBytesPerSecond = 1;
  patient.lowSpeedSeconds = 300;
  int silentAccepts = 0;
  for (const CancelCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(c.url, rec);
    task->SetTimeouts(patient);
    TempFile file;
    if (c.mode == DownloadMode::InfoOnly)
      task->StartInfoOnly();
    else if (c.mode == DownloadMode::ToMemory)
      task->StartToMemory();
    else
      task->StartToFile(file.Open(), false);
    const int count = c.logged == "ACCEPT silent" ? ++silentAccepts : 1;
    ASSERT_TRUE(testgateway::AwaitLogged(g_gateway, c.logged, count)) << "the request never reached the gateway";

    task->RequestCancel();
    // A second is what the cancel needs; ten is the safety net.
    const bool ended = task->WaitFinished(10000);
    EXPECT_TRUE(ended) << "still running 10 s after the cancel: " << Describe(*task);
    if (ended) {
      EXPECT_EQ(DownloadResult::Cancelled, task->GetResult()) << Describe(*task);
      EXPECT_EQ(1, rec->finished);
    }
    // Whatever the task did, the server lets go before the next case.
    EXPECT_TRUE(testgateway::ReleaseHeld(g_gateway));
    task->Join();
  }
}

// ---------------------------------------------------------------------------------------
// Threads, references and signals.

TEST(FileDownloadTaskLifetime, DroppingTheLastReferenceWhileTheWorkerRunsKeepsTheTaskAlive) {
  Event dropped = NewEvent();
  Event destroyed = NewEvent();
  HANDLE droppedHandle = dropped.get();
  HANDLE destroyedHandle = destroyed.get();
  // Released with the task's slots, that is when the task is destroyed.
  std::shared_ptr<void> destructionWitness(nullptr, [destroyedHandle](void*) { SetEvent(destroyedHandle); });
  struct Seen {
    std::atomic<int> finished{0};
    std::atomic<int> result{-1};
    std::atomic<DWORD> progressWait{WAIT_FAILED};
  };
  auto seen = std::make_shared<Seen>();

  FileDownloadTaskPtr task(new FileDownloadTask);
  task->SetUrl(g_gateway.Https(GeneratedPath(200000, 9)));
  task->SetTimeouts(TestTimeouts());
  task->Progress().connect(
      [droppedHandle, destructionWitness, seen](FileDownloadTask&, std::int64_t, std::int64_t, const MemoryView&) {
        // Holds the worker inside the transfer until the caller has let go.
        if (seen->progressWait == WAIT_FAILED) seen->progressWait = WaitForSingleObject(droppedHandle, 10000);
      });
  task->Finished().connect([seen](FileDownloadTask& t) {
    ++seen->finished;
    seen->result = static_cast<int>(t.GetResult());
  });
  task->StartToMemory();
  task.reset();
  destructionWitness.reset();
  SetEvent(droppedHandle);

  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(destroyedHandle, kFinishWait))
      << "the task is destroyed once the worker ends";
  EXPECT_EQ(WAIT_OBJECT_0, seen->progressWait.load()) << "the worker was running when the caller let go";
  EXPECT_EQ(1, seen->finished.load());
  EXPECT_EQ(static_cast<int>(DownloadResult::Success), seen->result.load());
}

TEST(FileDownloadTaskLifetime, ATaskNeverStartedDiesWithItsLastReference) {
  Event destroyed = NewEvent();
  HANDLE destroyedHandle = destroyed.get();
  {
    std::shared_ptr<void> witness(nullptr, [destroyedHandle](void*) { SetEvent(destroyedHandle); });
    FileDownloadTaskPtr task(new FileDownloadTask);
    task->Finished().connect([witness](FileDownloadTask&) {});
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(destroyedHandle, 0));
}

TEST(FileDownloadTaskSignals, SlotsMayCallTheGettersAndRunOnTheWorker) {
  struct Seen {
    std::mutex lock;
    int progressCalls = 0;
    bool receivedMatches = true;
    bool stateReceiving = true;
    bool resultNone = true;
    std::int64_t total = -1;
    DWORD progressThread = 0;
    DWORD finishedThread = 0;
    int finishedDataLength = -1;
    DownloadResult finishedResult = DownloadResult::None;
    bool waitFinishedInSlot = false;
    std::vector<int> order;
  };
  auto seen = std::make_shared<Seen>();
  FileDownloadTaskPtr task(new FileDownloadTask);
  task->SetUrl(g_gateway.Https(GeneratedPath(600000, 10)));
  task->SetTimeouts(TestTimeouts());
  task->Progress().connect([seen](FileDownloadTask& t, std::int64_t received, std::int64_t total, const MemoryView&) {
    // Every getter takes the task's lock: a signal emitted under it would hang here.
    bool matches = t.GetReceivedSize() == received;
    bool receiving = t.GetState() == DownloadState::Receiving;
    bool none = t.GetResult() == DownloadResult::None;
    std::int64_t probed = t.GetTotalSize();
    (void)t.GetFlags();
    (void)t.GetContentType();
    (void)t.GetMode();
    std::lock_guard<std::mutex> guard(seen->lock);
    ++seen->progressCalls;
    seen->receivedMatches = seen->receivedMatches && matches;
    seen->stateReceiving = seen->stateReceiving && receiving;
    seen->resultNone = seen->resultNone && none;
    seen->total = total == probed ? total : -2;
    seen->progressThread = GetCurrentThreadId();
  });
  task->Finished().connect([seen](FileDownloadTask& t) {
    DownloadResult result = t.GetResult();
    int length = t.GetData().Length();
    bool waited = t.WaitFinished(0);
    t.Join();  // on the worker itself: returns at once
    std::lock_guard<std::mutex> guard(seen->lock);
    seen->finishedThread = GetCurrentThreadId();
    seen->finishedResult = result;
    seen->finishedDataLength = length;
    seen->waitFinishedInSlot = waited;
    seen->order.push_back(1);
  });
  task->Finished().connect([seen](FileDownloadTask&) {
    std::lock_guard<std::mutex> guard(seen->lock);
    seen->order.push_back(2);
  });
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait)) << "a slot deadlocked on the task's lock?";
  task->Join();

  std::lock_guard<std::mutex> guard(seen->lock);
  EXPECT_EQ(DownloadResult::Success, task->GetResult()) << Describe(*task);
  EXPECT_GT(seen->progressCalls, 0);
  EXPECT_TRUE(seen->receivedMatches);
  EXPECT_TRUE(seen->stateReceiving);
  EXPECT_TRUE(seen->resultNone) << "no result before the end";
  EXPECT_EQ(600000, seen->total);
  EXPECT_NE(GetCurrentThreadId(), seen->progressThread);
  EXPECT_EQ(seen->progressThread, seen->finishedThread) << "both signals come from the worker";
  EXPECT_EQ(DownloadResult::Success, seen->finishedResult);
  EXPECT_EQ(600000, seen->finishedDataLength);
  EXPECT_TRUE(seen->waitFinishedInSlot);
  EXPECT_EQ((std::vector<int>{1, 2}), seen->order) << "slots in connection order, each once";
}

TEST(FileDownloadTaskSignals, FinishedComesExactlyOnceWhateverTheOutcome) {
  const std::wstring urls[] = {
      g_gateway.Https(GeneratedPath(100000, 11)),
      g_gateway.Https(GeneratedPath(100000, 11, L"&fault=404")),
      g_gateway.Https(GeneratedPath(100000, 11, L"&fault=short")),
      L"https://no-such-host.invalid/",
  };
  for (const std::wstring& url : urls) {
    auto rec = std::make_shared<Recording>();
    FileDownloadTaskPtr task = NewTask(url, rec);
    task->StartToMemory();
    task->Join();
    std::lock_guard<std::mutex> guard(rec->lock);
    EXPECT_EQ(1, rec->finished) << Describe(*task);
    EXPECT_EQ(DownloadState::Finished, rec->stateAtFinish);
    EXPECT_NE(DownloadResult::None, rec->resultAtFinish);
  }
}

TEST(FileDownloadTaskSignals, CancelFromAProgressSlotStopsTheTransfer) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(2000000, 12)), rec);
  task->Progress().connect(
      [](FileDownloadTask& t, std::int64_t, std::int64_t, const MemoryView&) { t.RequestCancel(); });
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  EXPECT_EQ(DownloadResult::WriteStopped, task->GetResult()) << Describe(*task);
  EXPECT_EQ(CURLE_WRITE_ERROR, task->GetCurlCode());
  EXPECT_LT(task->GetReceivedSize(), 2000000);
  EXPECT_EQ(1, rec->finished);
}

TEST(FileDownloadTaskSignals, AnExceptionInAProgressSlotFailsTheTaskButStillFinishesIt) {
  auto rec = std::make_shared<Recording>();
  FileDownloadTaskPtr task = NewTask(g_gateway.Https(GeneratedPath(100000, 13)), rec);
  task->Progress().connect([](FileDownloadTask&, std::int64_t, std::int64_t, const MemoryView&) {
    throw std::runtime_error("slot failure");
  });
  task->StartToMemory();
  ASSERT_TRUE(task->WaitFinished(kFinishWait));
  EXPECT_EQ(DownloadResult::Failed, task->GetResult()) << Describe(*task);
  EXPECT_EQ(1, rec->finished);
}

}  // namespace
