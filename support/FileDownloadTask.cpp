// libcurl brings in winsock2.h, which must come before windows.h.
#include <curl/curl.h>
#include <openssl/crypto.h>

#include "FileDownloadTask.h"

#include "SupportExceptions.h"
#include "TextConversion.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <type_traits>
#include <vector>

static_assert(std::is_same<curl_off_t, long long>::value, "the progress function's signature names curl_off_t");

// One started task's worker, in the process-wide list that StopAll goes through.
struct DownloadWorkerRecord {
  FileDownloadTask* task = nullptr;  // while the worker holds its reference to it
  win::UniqueKernelHandle thread;    // SYNCHRONIZE access to the worker thread, once it exists
};

namespace {

// The list and the records' fields are guarded by the one lock. Both are never destroyed: a
// static with a destructor would be left in the process's exit list by a module (the plug-in)
// that is unloaded before the process ends.
std::mutex& WorkerListLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::vector<std::shared_ptr<DownloadWorkerRecord>>& WorkerList() {
  static auto* list = new std::vector<std::shared_ptr<DownloadWorkerRecord>>;
  return *list;
}

// Under the list's lock: drops the records of workers that have exited.
void ForgetExitedWorkers() {
  auto& list = WorkerList();
  list.erase(std::remove_if(list.begin(), list.end(),
                            [](const std::shared_ptr<DownloadWorkerRecord>& record) {
                              return !record->task && record->thread &&
                                     WaitForSingleObject(record->thread.get(), 0) == WAIT_OBJECT_0;
                            }),
             list.end());
}

DWORD Remaining(ULONGLONG start, DWORD timeoutMs) {
  if (timeoutMs == INFINITE) return INFINITE;
  const ULONGLONG elapsed = GetTickCount64() - start;
  return elapsed >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - elapsed);
}

// A refused option or handle ends the pass before anything is sent.
struct OptionRefusal {
  CURLcode code;
  std::string text;
};

struct EasyHandleCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyHandleCleanup>;

// What one pass ended with, as the worker maps it to a result.
struct PassOutcome {
  CURLcode code = CURLE_OK;
  long httpStatus = 0;
  std::string errorText;
  bool rangeIgnored = false;    // resuming, but the server sent the whole body
  bool writeException = false;  // the write step threw (allocation, a slot)
  bool tooLarge = false;        // the write step refused a block beyond the memory limit
};

bool IsHttpsUrl(const std::string& url) {
  static const char scheme[] = "https://";
  const size_t n = sizeof scheme - 1;
  if (url.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = url[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != scheme[i]) return false;
  }
  return true;
}

}  // namespace

const char* DownloadResultName(DownloadResult result) {
  switch (result) {
    case DownloadResult::None:
      return "None";
    case DownloadResult::Success:
      return "Success";
    case DownloadResult::WriteStopped:
      return "WriteStopped";
    case DownloadResult::RangeRefused:
      return "RangeRefused";
    case DownloadResult::HostNotFound:
      return "HostNotFound";
    case DownloadResult::Failed:
      return "Failed";
    case DownloadResult::OptionRefused:
      return "OptionRefused";
    case DownloadResult::HttpError:
      return "HttpError";
    case DownloadResult::PartialBody:
      return "PartialBody";
    case DownloadResult::SizeMismatch:
      return "SizeMismatch";
    case DownloadResult::TimedOut:
      return "TimedOut";
    case DownloadResult::TooLarge:
      return "TooLarge";
  }
  return "unknown";
}

void InitLibcurlOnce() {
  // Guarded, so tasks constructed on several threads at once still initialise only once.
  // Never destroyed, as the worker list below.
  static std::mutex* initLock = new std::mutex;
  static bool done = false;
  std::lock_guard<std::mutex> guard(*initLock);
  if (done) return;
  // OpenSSL would otherwise put its clean-up into the C runtime's exit list of the process,
  // through _onexit, which is the process's and not this module's: a host that frees the
  // plug-in and lives on would then call into the freed DLL as it exits. Its memory stays with
  // the process instead. The first initialisation decides, so this comes before libcurl's.
  if (OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr) != 1) throw LibcurlInitializationException();
  if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) throw LibcurlInitializationException();
  done = true;
}

// One easy handle with the options every pass shares. Lives on the worker for one pass.
class FileDownloadTask::Transfer {
 public:
  Transfer(FileDownloadTask& task, const std::string& url, const std::string& userAgent,
           const DownloadTimeouts& timeouts)
      : m_handle(curl_easy_init()) {
    if (!m_handle) throw OptionRefusal{CURLE_FAILED_INIT, "curl_easy_init failed"};
    m_errorBuffer[0] = '\0';
    Set(CURLOPT_ERRORBUFFER, m_errorBuffer, "CURLOPT_ERRORBUFFER");
    Set(CURLOPT_URL, url.c_str(), "CURLOPT_URL");
    Set(CURLOPT_USERAGENT, userAgent.c_str(), "CURLOPT_USERAGENT");
    Set(CURLOPT_FOLLOWLOCATION, 1L, "CURLOPT_FOLLOWLOCATION");
    Set(CURLOPT_MAXREDIRS, 10L, "CURLOPT_MAXREDIRS");
    Set(CURLOPT_PROTOCOLS_STR, "http,https", "CURLOPT_PROTOCOLS_STR");
    // An https transfer never continues in the clear.
    Set(CURLOPT_REDIR_PROTOCOLS_STR, IsHttpsUrl(url) ? "https" : "http,https", "CURLOPT_REDIR_PROTOCOLS_STR");
    // Whatever is fetched may later run with installer rights: the peer must prove who
    // it is, against the certificates that Windows trusts.
    Set(CURLOPT_SSL_VERIFYPEER, 1L, "CURLOPT_SSL_VERIFYPEER");
    Set(CURLOPT_SSL_VERIFYHOST, 2L, "CURLOPT_SSL_VERIFYHOST");
    Set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2), "CURLOPT_SSLVERSION");
    Set(CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA), "CURLOPT_SSL_OPTIONS");
    Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMilliseconds), "CURLOPT_CONNECTTIMEOUT_MS");
    Set(CURLOPT_LOW_SPEED_LIMIT, static_cast<long>(timeouts.lowSpeedBytesPerSecond), "CURLOPT_LOW_SPEED_LIMIT");
    Set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeouts.lowSpeedSeconds), "CURLOPT_LOW_SPEED_TIME");
    // An error page is not the file: a status of 400 or more ends the pass before any
    // of its body is written.
    Set(CURLOPT_FAILONERROR, 1L, "CURLOPT_FAILONERROR");
    // A cancel must not wait for a byte that may never come: libcurl asks this function also
    // while it connects, shakes hands and waits, about once a second.
    Set(CURLOPT_XFERINFOFUNCTION, &FileDownloadTask::ProgressCallback, "CURLOPT_XFERINFOFUNCTION");
    Set(CURLOPT_XFERINFODATA, static_cast<void*>(&task), "CURLOPT_XFERINFODATA");
    Set(CURLOPT_NOPROGRESS, 0L, "CURLOPT_NOPROGRESS");
  }

  template <typename Value>
  void Set(CURLoption option, Value value, const char* name) {
    CURLcode rc = curl_easy_setopt(m_handle.get(), option, value);
    if (rc != CURLE_OK) throw OptionRefusal{rc, std::string(name) + " refused: " + curl_easy_strerror(rc)};
  }

  PassOutcome Perform() {
    PassOutcome outcome;
    outcome.code = curl_easy_perform(m_handle.get());
    long status = 0;
    if (curl_easy_getinfo(m_handle.get(), CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) outcome.httpStatus = status;
    if (outcome.code != CURLE_OK)
      outcome.errorText = m_errorBuffer[0] ? m_errorBuffer : curl_easy_strerror(outcome.code);
    return outcome;
  }

  CURL* Handle() const { return m_handle.get(); }

  // Body pass state, touched only by the worker inside curl_easy_perform.
  DownloadMode mode = DownloadMode::NotStarted;
  FileHandlePtr file;
  std::int64_t resumeFrom = 0;
  std::int32_t memoryLimit = kMaxMemoryBytes;
  bool firstBlock = true;
  bool rangeIgnored = false;
  bool writeException = false;
  bool tooLarge = false;

 private:
  EasyHandle m_handle;
  char m_errorBuffer[CURL_ERROR_SIZE];
};

// ---------------------------------------------------------------------------------------

FileDownloadTask::FileDownloadTask() {
  InitLibcurlOnce();
  HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!event) throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "CreateEventW");
  m_finishedEvent.reset(event);
}

FileDownloadTask::~FileDownloadTask() {
  // The last release may come from the worker itself, after its finished signal: a thread
  // cannot join itself, and a joinable thread object must not be destroyed.
  if (m_thread.joinable()) {
    if (m_thread.get_id() == boost::this_thread::get_id()) {
      m_thread.detach();
    } else {
      try {
        m_thread.join();
      } catch (...) {
        m_thread.detach();
      }
    }
  }
}

void FileDownloadTask::SetUrl(const std::wstring& url) {
  boost::lock_guard<boost::mutex> guard(m_lock);
  m_url = url;
}

void FileDownloadTask::SetUserAgent(const std::wstring& userAgent) {
  boost::lock_guard<boost::mutex> guard(m_lock);
  m_userAgent = userAgent;
}

void FileDownloadTask::SetTimeouts(const DownloadTimeouts& timeouts) {
  boost::lock_guard<boost::mutex> guard(m_lock);
  m_timeouts = timeouts;
}

void FileDownloadTask::MarkStarted(DownloadMode mode, std::int64_t received, std::int32_t memoryLimit) {
  // Checked and set under one hold of the lock, so two racing starts cannot both pass.
  if (m_state != DownloadState::NotStarted) throw std::logic_error("FileDownloadTask started twice");
  m_mode = mode;
  m_received = received;
  m_memoryLimit = std::max<std::int32_t>(memoryLimit, 0);
  m_state = DownloadState::Started;
}

void FileDownloadTask::StartInfoOnly() {
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    MarkStarted(DownloadMode::InfoOnly, 0);
  }
  Start();
}

void FileDownloadTask::StartToMemory(std::int32_t maxBytes) {
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    MarkStarted(DownloadMode::ToMemory, 0, maxBytes);
  }
  Start();
}

void FileDownloadTask::StartToFile(const FileHandlePtr& file, bool resume) {
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    if (m_state != DownloadState::NotStarted) throw std::logic_error("FileDownloadTask started twice");
    // Both may throw FileException: the task is then left as it was, not started.
    std::int64_t offset = 0;
    if (resume)
      offset = GetFileSize64(file);
    else
      TruncateFile(file);
    MarkStarted(DownloadMode::ToFile, offset);
    m_file = file;
  }
  Start();
}

void FileDownloadTask::Start() {
  // Keeps the task alive until its thread object is stored, whatever the worker does.
  FileDownloadTaskPtr self(this);
  std::unique_ptr<FileDownloadTaskPtr> workerReference(new FileDownloadTaskPtr(self));
  auto record = std::make_shared<DownloadWorkerRecord>();
  record->task = this;
  {
    std::lock_guard<std::mutex> guard(WorkerListLock());
    ForgetExitedWorkers();
    WorkerList().push_back(record);
  }
  m_worker = record;
  boost::thread worker;
  try {
    worker = boost::thread(&FileDownloadTask::ThreadProc, workerReference.get());
  } catch (...) {
    {
      std::lock_guard<std::mutex> guard(WorkerListLock());
      auto& list = WorkerList();
      list.erase(std::remove(list.begin(), list.end(), record), list.end());
    }
    m_worker.reset();
    boost::lock_guard<boost::mutex> guard(m_lock);
    m_state = DownloadState::NotStarted;
    m_mode = DownloadMode::NotStarted;
    m_received = 0;
    m_file.reset();
    throw;
  }
  workerReference.release();  // the worker owns it now
  HANDLE thread = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), worker.native_handle(), GetCurrentProcess(), &thread, SYNCHRONIZE, FALSE,
                      0)) {
    std::lock_guard<std::mutex> guard(WorkerListLock());
    record->thread.reset(thread);
  }
  boost::lock_guard<boost::mutex> guard(m_joinLock);
  m_thread = std::move(worker);
}

void FileDownloadTask::RequestCancel() { m_cancelRequested = true; }

int FileDownloadTask::ProgressCallback(void* task, long long, long long, long long, long long) {
  return static_cast<FileDownloadTask*>(task)->m_cancelRequested ? 1 : 0;
}

bool FileDownloadTask::OnWorkerThread() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_workerThreadId != 0 && m_workerThreadId == GetCurrentThreadId();
}

void FileDownloadTask::Join() {
  if (GetState() == DownloadState::NotStarted || OnWorkerThread()) return;
  // The event, not the thread object: Start may not have stored the thread yet.
  if (WaitForSingleObject(m_finishedEvent.get(), INFINITE) != WAIT_OBJECT_0)
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), "WaitForSingleObject");
  boost::lock_guard<boost::mutex> guard(m_joinLock);
  if (m_thread.joinable()) m_thread.join();
}

bool FileDownloadTask::WaitFinished(DWORD timeoutMs) {
  if (GetState() == DownloadState::NotStarted) return false;
  if (OnWorkerThread()) return GetState() == DownloadState::Finished;
  return WaitForSingleObject(m_finishedEvent.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool FileDownloadTask::WaitEnded(DWORD timeoutMs) {
  if (GetState() == DownloadState::NotStarted) return true;
  if (OnWorkerThread()) return false;
  const ULONGLONG start = GetTickCount64();
  if (!WaitFinished(timeoutMs)) return false;
  HANDLE thread = nullptr;
  {
    std::lock_guard<std::mutex> guard(WorkerListLock());
    if (m_worker) thread = m_worker->thread.get();
  }
  // Without a handle of its own (it could not be had) the finished signal is all there is.
  return !thread || WaitForSingleObject(thread, Remaining(start, timeoutMs)) == WAIT_OBJECT_0;
}

int FileDownloadTask::StopAll(DWORD waitMs) {
  const ULONGLONG start = GetTickCount64();
  std::vector<std::shared_ptr<DownloadWorkerRecord>> records;
  std::vector<FileDownloadTaskPtr> tasks;  // held until the wait is over: never the last reference
  {
    std::lock_guard<std::mutex> guard(WorkerListLock());
    ForgetExitedWorkers();
    records = WorkerList();
    for (const auto& record : records)
      if (record->task) tasks.emplace_back(record->task);
  }
  for (const FileDownloadTaskPtr& task : tasks) task->RequestCancel();
  int running = 0;
  for (const auto& record : records) {
    HANDLE thread = nullptr;
    bool finished = false;
    {
      std::lock_guard<std::mutex> guard(WorkerListLock());
      thread = record->thread.get();
      finished = !record->task;
    }
    const bool ended = thread ? WaitForSingleObject(thread, Remaining(start, waitMs)) == WAIT_OBJECT_0 : finished;
    if (!ended) ++running;
  }
  return running;
}

DownloadMode FileDownloadTask::GetMode() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_mode;
}

DownloadState FileDownloadTask::GetState() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_state;
}

DownloadResult FileDownloadTask::GetResult() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_result;
}

const char* FileDownloadTask::GetResultName() const {
  const DownloadResult result = GetResult();
  return result == DownloadResult::Cancelled && m_cancelRequested ? "Cancelled" : DownloadResultName(result);
}

std::uint32_t FileDownloadTask::GetFlags() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_flags;
}

std::int64_t FileDownloadTask::GetReceivedSize() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_received;
}

std::int64_t FileDownloadTask::GetTotalSize() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_totalSize;
}

std::wstring FileDownloadTask::GetContentType() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_contentType;
}

int FileDownloadTask::GetCurlCode() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_curlCode;
}

long FileDownloadTask::GetHttpStatus() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_httpStatus;
}

std::string FileDownloadTask::GetErrorText() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_errorText;
}

ByteBuffer FileDownloadTask::GetData() const {
  boost::lock_guard<boost::mutex> guard(m_lock);
  return m_memory.Join();
}

void FileDownloadTask::SetOutcome(DownloadResult result, int curlCode, long httpStatus, const std::string& error) {
  boost::lock_guard<boost::mutex> guard(m_lock);
  m_result = result;
  m_curlCode = curlCode;
  m_httpStatus = httpStatus;
  m_errorText = error;
  if (result == DownloadResult::Success && m_mode == DownloadMode::ToMemory)
    m_flags |= DOWNLOAD_FLAG_MEMORY_DATA_COMPLETE;
}

// ---------------------------------------------------------------------------------------
// The worker.

void FileDownloadTask::ThreadProc(FileDownloadTaskPtr* workerReference) {
  std::unique_ptr<FileDownloadTaskPtr> reference(workerReference);
  FileDownloadTask& task = **reference;
  {
    boost::lock_guard<boost::mutex> guard(task.m_lock);
    task.m_workerThreadId = GetCurrentThreadId();
  }
  try {
    task.Run();
  } catch (const std::exception& e) {
    task.SetOutcome(DownloadResult::Failed, 0, 0, e.what());
  } catch (...) {
    task.SetOutcome(DownloadResult::Failed, 0, 0, "unknown exception");
  }
  {
    boost::lock_guard<boost::mutex> guard(task.m_lock);
    task.m_state = DownloadState::Finished;
    task.m_file.reset();  // the last reference closes the file before anyone is told
  }
  try {
    task.m_finished(task);
  } catch (...) {
    // A slot's failure is its own; the outcome is already set and must still be
    // announced as finished to the waiters below.
  }
  SetEvent(task.m_finishedEvent.get());
  {
    // From here on the worker touches the task no more: StopAll must not reach it.
    std::lock_guard<std::mutex> guard(WorkerListLock());
    if (task.m_worker) task.m_worker->task = nullptr;
  }
  reference.reset();  // may destroy the task, here on the worker
}

void FileDownloadTask::Run() {
  std::string url, userAgent;
  DownloadTimeouts timeouts;
  DownloadMode mode;
  std::int64_t resumeFrom;
  std::int32_t memoryLimit;
  FileHandlePtr file;
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    url = WideToAnsi(m_url);
    userAgent = WideToAnsi(m_userAgent);
    timeouts = m_timeouts;
    mode = m_mode;
    resumeFrom = m_received;
    memoryLimit = m_memoryLimit;
    file = m_file;
  }

  try {
    // Probe: the headers only.
    Transfer probe(*this, url, userAgent, timeouts);
    probe.Set(CURLOPT_NOBODY, 1L, "CURLOPT_NOBODY");
    PassOutcome outcome = probe.Perform();
    if (outcome.code != CURLE_OK) {
      DownloadResult result = DownloadResult::Failed;
      if (outcome.code == CURLE_ABORTED_BY_CALLBACK)
        result = DownloadResult::Cancelled;
      else if (outcome.code == CURLE_COULDNT_RESOLVE_HOST)
        result = DownloadResult::HostNotFound;
      else if (outcome.code == CURLE_HTTP_RETURNED_ERROR)
        result = DownloadResult::HttpError;
      else if (outcome.code == CURLE_OPERATION_TIMEDOUT)
        result = DownloadResult::TimedOut;
      SetOutcome(result, outcome.code, outcome.httpStatus, outcome.errorText);
      return;
    }
    if (outcome.httpStatus >= 400) {
      SetOutcome(DownloadResult::HttpError, outcome.code, outcome.httpStatus, "HTTP error status");
      return;
    }

    curl_off_t length = -1;
    CURLcode rc = curl_easy_getinfo(probe.Handle(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (rc != CURLE_OK) {
      SetOutcome(DownloadResult::Failed, rc, outcome.httpStatus,
                 std::string("CURLINFO_CONTENT_LENGTH_DOWNLOAD_T: ") + curl_easy_strerror(rc));
      return;
    }
    char* type = nullptr;
    rc = curl_easy_getinfo(probe.Handle(), CURLINFO_CONTENT_TYPE, &type);
    if (rc != CURLE_OK) {
      SetOutcome(DownloadResult::Failed, rc, outcome.httpStatus,
                 std::string("CURLINFO_CONTENT_TYPE: ") + curl_easy_strerror(rc));
      return;
    }
    std::wstring contentType;
    if (type) contentType = AnsiToWide(type, 32);
    {
      boost::lock_guard<boost::mutex> guard(m_lock);
      if (length > 0) {
        m_totalSize = static_cast<std::int64_t>(length);
        m_flags |= DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN;
      } else {
        m_totalSize = 0;
      }
      if (!contentType.empty()) {
        m_contentType = contentType;
        m_flags |= DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN;
      }
    }
    if (mode == DownloadMode::InfoOnly) {
      SetOutcome(DownloadResult::Success, CURLE_OK, outcome.httpStatus, std::string());
      return;
    }
    // Refused before a byte of the body is asked for.
    if (mode == DownloadMode::ToMemory && length > memoryLimit) {
      SetOutcome(DownloadResult::TooLarge, CURLE_OK, outcome.httpStatus,
                 "the server announced " + std::to_string(static_cast<long long>(length)) + " bytes, more than the " +
                     std::to_string(memoryLimit) + " allowed");
      return;
    }
  } catch (const OptionRefusal& refusal) {
    SetOutcome(DownloadResult::OptionRefused, refusal.code, 0, refusal.text);
    return;
  }
  // A cancel that came with the probe's last turn.
  if (m_cancelRequested) {
    SetOutcome(DownloadResult::Cancelled, CURLE_ABORTED_BY_CALLBACK, 0, "cancelled");
    return;
  }

  DownloadResult result = RunBody(url, userAgent, timeouts, resumeFrom);
  if (result == DownloadResult::None) {
    // The server ignored the resume offset and sent the whole body, of which nothing was
    // kept: start again from zero rather than append a second copy.
    if (mode == DownloadMode::ToFile) {
      try {
        TruncateFile(file);
      } catch (const FileException&) {
        SetOutcome(DownloadResult::WriteStopped, 0, 0, "emptying the file for a restart failed");
        return;
      }
    }
    {
      boost::lock_guard<boost::mutex> guard(m_lock);
      m_received = 0;
    }
    result = RunBody(url, userAgent, timeouts, 0);
    if (result == DownloadResult::None)
      SetOutcome(DownloadResult::Failed, CURLE_RANGE_ERROR, GetHttpStatus(), "restart did not take");
  }
}

// The body pass. Returns None when the server ignored the resume offset (nothing of its
// answer was kept), otherwise the final result, already stored.
DownloadResult FileDownloadTask::RunBody(const std::string& url, const std::string& userAgent,
                                         const DownloadTimeouts& timeouts, std::int64_t resumeFrom) {
  PassOutcome outcome;
  try {
    Transfer body(*this, url, userAgent, timeouts);
    {
      boost::lock_guard<boost::mutex> guard(m_lock);
      body.mode = m_mode;
      body.file = m_file;
      body.memoryLimit = m_memoryLimit;
    }
    body.resumeFrom = resumeFrom;
    // The body's own headers may announce more than the probe did: libcurl then ends the pass
    // before its first byte. (To libcurl 0 means no limit; the write step refuses the first
    // byte of a 0 limit.)
    if (body.mode == DownloadMode::ToMemory && body.memoryLimit > 0)
      body.Set(CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(body.memoryLimit), "CURLOPT_MAXFILESIZE_LARGE");
    body.Set(CURLOPT_WRITEFUNCTION, &FileDownloadTask::WriteCallback, "CURLOPT_WRITEFUNCTION");
    body.Set(CURLOPT_WRITEDATA, static_cast<void*>(this), "CURLOPT_WRITEDATA");
    body.Set(CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(resumeFrom), "CURLOPT_RESUME_FROM_LARGE");
    m_transfer = &body;
    outcome = body.Perform();
    m_transfer = nullptr;
    outcome.rangeIgnored = body.rangeIgnored;
    outcome.writeException = body.writeException;
    outcome.tooLarge = body.tooLarge;
  } catch (const OptionRefusal& refusal) {
    m_transfer = nullptr;
    SetOutcome(DownloadResult::OptionRefused, refusal.code, 0, refusal.text);
    return DownloadResult::OptionRefused;
  }

  DownloadResult result = DownloadResult::Failed;
  std::string error = outcome.errorText;
  if (resumeFrom > 0 && outcome.httpStatus == 416 &&
      (outcome.code == CURLE_OK || outcome.code == CURLE_HTTP_RETURNED_ERROR)) {
    // The offset is at or past the end. Resuming a file that is already whole is done;
    // any other refused offset is the caller's to handle.
    std::int64_t total = GetTotalSize();
    if (total > 0 && resumeFrom == total) {
      SetOutcome(DownloadResult::Success, CURLE_OK, outcome.httpStatus, std::string());
      return DownloadResult::Success;
    }
    SetOutcome(DownloadResult::RangeRefused, outcome.code, outcome.httpStatus,
               "the server refused the resume offset " + std::to_string(resumeFrom));
    return DownloadResult::RangeRefused;
  }
  switch (outcome.code) {
    case CURLE_OK:
      if (outcome.httpStatus >= 400) {
        result = DownloadResult::HttpError;
        error = "HTTP error status";
      } else {
        std::int64_t received = 0, total = 0;
        {
          boost::lock_guard<boost::mutex> guard(m_lock);
          received = m_received;
          total = (m_flags & DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN) ? m_totalSize : -1;
        }
        if (total >= 0 && received != total) {
          result = DownloadResult::SizeMismatch;
          error = "received " + std::to_string(received) + " bytes, the probe announced " + std::to_string(total);
        } else {
          result = DownloadResult::Success;
        }
      }
      break;
    case CURLE_PARTIAL_FILE:
      result = DownloadResult::PartialBody;
      break;
    case CURLE_HTTP_RETURNED_ERROR:
      result = DownloadResult::HttpError;
      break;
    case CURLE_WRITE_ERROR:
      if (outcome.rangeIgnored) return DownloadResult::None;
      if (outcome.writeException)
        result = DownloadResult::Failed;
      else if (outcome.tooLarge)
        result = DownloadResult::TooLarge;
      else
        result = DownloadResult::WriteStopped;
      break;
    case CURLE_FILESIZE_EXCEEDED:
      result = DownloadResult::TooLarge;
      break;
    case CURLE_ABORTED_BY_CALLBACK:
      result = DownloadResult::Cancelled;
      break;
    case CURLE_RANGE_ERROR:
      // libcurl reports a 200 answer to a ranged request as a range error, before any of
      // the body is delivered.
      if (resumeFrom > 0 && outcome.httpStatus == 200) return DownloadResult::None;
      result = DownloadResult::RangeRefused;
      break;
    case CURLE_OPERATION_TIMEDOUT:
      result = DownloadResult::TimedOut;
      break;
    default:
      result = DownloadResult::Failed;
      break;
  }
  SetOutcome(result, outcome.code, outcome.httpStatus, error);
  return result;
}

size_t FileDownloadTask::WriteCallback(char* data, size_t size, size_t count, void* taskPointer) {
  FileDownloadTask* task = static_cast<FileDownloadTask*>(taskPointer);
  const size_t n = size * count;
  if (n == 0) return 0;
  // No exception may travel through libcurl.
  try {
    if (n > static_cast<size_t>(std::numeric_limits<std::int32_t>::max())) return 0;
    return task->OnData(MemoryView(data, static_cast<std::int32_t>(n))) ? n : 0;
  } catch (...) {
    task->m_transfer->writeException = true;
    return 0;
  }
}

bool FileDownloadTask::OnData(const MemoryView& block) {
  Transfer& transfer = *m_transfer;
  const std::int32_t n = block.Length();
  if (transfer.firstBlock) {
    transfer.firstBlock = false;
    if (transfer.resumeFrom > 0) {
      // A resumed body must be the rest, not the whole: anything but 206 is refused
      // before a byte of it is written.
      long status = 0;
      if (curl_easy_getinfo(transfer.Handle(), CURLINFO_RESPONSE_CODE, &status) != CURLE_OK || status != 206) {
        transfer.rangeIgnored = true;
        return false;
      }
    }
  }
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    m_state = DownloadState::Receiving;
  }

  if (transfer.mode == DownloadMode::ToFile) {
    try {
      AppendToFile(transfer.file, block);
    } catch (const FileException&) {
      return false;
    }
    boost::lock_guard<boost::mutex> guard(m_lock);
    m_received += n;
    if (m_cancelRequested) return false;
  } else if (transfer.mode == DownloadMode::ToMemory) {
    std::int64_t announced = 0;
    {
      boost::lock_guard<boost::mutex> guard(m_lock);
      if (m_cancelRequested) return false;
      // Refused whole, before it is stored: a server that sends more than it may does not
      // get to fill memory with it.
      if (m_memory.stored + n > transfer.memoryLimit) {
        transfer.tooLarge = true;
        return false;
      }
      m_received += n;
      announced = m_totalSize;
    }
    if (m_memory.stored == 0 && announced <= transfer.memoryLimit) m_memory.Reserve(announced);
    m_memory.Append(block);
  } else {
    return false;
  }

  std::int64_t received = 0, total = 0;
  {
    boost::lock_guard<boost::mutex> guard(m_lock);
    received = m_received;
    total = m_totalSize;
  }
  m_progress(*this, received, total, block);
  return true;
}

// ---------------------------------------------------------------------------------------

void FileDownloadTask::ChunkList::Reserve(std::int64_t announced) {
  if (stored != 0 || !whole.IsEmpty() || announced <= 0 || announced > kMaxWhole) return;
  try {
    whole = ByteBuffer(static_cast<std::int32_t>(announced));
  } catch (const std::bad_alloc&) {
    // Chunks take the body as it comes; they need no single block of that size.
  }
}

void FileDownloadTask::ChunkList::Append(const MemoryView& block) {
  const std::uint8_t* from = block.Data();
  std::int32_t remaining = block.Length();
  const std::int32_t wholeLength = whole.Length();
  if (stored < wholeLength && remaining > 0) {
    const std::int32_t count = static_cast<std::int32_t>(std::min<std::int64_t>(wholeLength - stored, remaining));
    std::memcpy(whole.Data() + stored, from, static_cast<size_t>(count));
    from += count;
    remaining -= count;
    stored += count;
  }
  while (remaining > 0) {
    const std::int64_t beyond = stored - wholeLength;
    if (beyond == static_cast<std::int64_t>(chunks.size()) * kChunkSize) chunks.emplace_back(kChunkSize);
    const std::int32_t offset = static_cast<std::int32_t>(beyond % kChunkSize);
    const std::int32_t count = std::min(kChunkSize - offset, remaining);
    std::memcpy(chunks.back().Data() + offset, from, static_cast<size_t>(count));
    from += count;
    remaining -= count;
    stored += count;
  }
}

ByteBuffer FileDownloadTask::ChunkList::Join() const {
  if (chunks.empty() && stored == whole.Length()) return whole;
  ByteBuffer joined(static_cast<std::int32_t>(stored));
  const std::int64_t fromWhole = std::min<std::int64_t>(stored, whole.Length());
  if (fromWhole > 0) std::memcpy(joined.Data(), whole.Data(), static_cast<size_t>(fromWhole));
  std::int64_t position = fromWhole;
  for (const ByteBuffer& chunk : chunks) {
    const std::int64_t count = std::min<std::int64_t>(kChunkSize, stored - position);
    if (count <= 0) break;
    std::memcpy(joined.Data() + position, chunk.Data(), static_cast<size_t>(count));
    position += count;
  }
  return joined;
}
