// One HTTP(S) transfer with libcurl on a worker thread of its own: a size probe (headers
// only), then, unless only the probe was asked for, the body into an open file (appending,
// optionally resuming from the file's size) or into memory.
//
// Callers poll the state, result and byte counts, or connect slots to the progress signal
// (after every block) and the finished signal (once, at the end). Both signals are emitted
// on the worker thread with the task's lock released, so slots may call the getters; slots
// that touch windows must hand the work over to their own thread.
//
// Transfers verify the server's certificate against the Windows certificate store and its
// host name, speak TLS 1.2 or later, follow redirects only to https from an https URL, fail
// on an HTTP error status, a body that ends early or one whose length differs from the
// probed size, and give up on a connection that cannot be made or a transfer that stalls.
// A body kept in memory never grows past the limit its caller sets.
#pragma once

#include "ByteBuffer.h"
#include "Files.h"
#include "MemoryView.h"
#include "RefCounted.h"

#include <UniqueHandle.h>
#include <windows.h>

#include <boost/signals2/signal.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum class DownloadMode : std::int32_t {
  NotStarted = 0,
  InfoOnly = 1,  // size probe only
  ToFile = 2,
  ToMemory = 3,
};

enum class DownloadState : std::int32_t {
  NotStarted = 0,
  Started = 1,    // set by Start before the worker runs
  Receiving = 2,  // set at every block of the body
  Finished = 3,   // set last by the worker, after the result
};

enum class DownloadResult : std::int32_t {
  None = 0,
  Success = 1,               // the probe (probe-only mode) or the whole body arrived
  WriteStopped = 2,          // the write step refused a block: a file write failed, or cancel
  Cancelled = WriteStopped,  // RequestCancel stopped the transfer (the same result)
  RangeRefused = 3,          // the server refused the resume offset
  // 4 is not a final result.
  HostNotFound = 5,   // the probe could not resolve the host name
  Failed = 6,         // any other libcurl failure (TLS, connection, redirect), or an exception
  OptionRefused = 7,  // libcurl refused an option or a handle: the transfer never ran
  HttpError = 8,      // the server answered with a status of 400 or more
  PartialBody = 9,    // the connection ended before the announced length arrived
  SizeMismatch = 10,  // the body's length differs from the length the probe announced
  TimedOut = 11,      // no connection in time, or the transfer stalled (low-speed limit)
  TooLarge = 12,      // memory mode: the announced length or the bytes received passed the limit
};

// The result's name ("Success", "HttpError", ...), for logs and test reports.
const char* DownloadResultName(DownloadResult result);

// Bits of GetFlags().
enum DownloadFlags : std::uint32_t {
  DOWNLOAD_FLAG_TOTAL_SIZE_KNOWN = 0x1,  // the probe reported a length above 0
  DOWNLOAD_FLAG_CONTENT_TYPE_KNOWN = 0x2,
  DOWNLOAD_FLAG_MEMORY_DATA_COMPLETE = 0x4,  // memory mode ended with Success
};

// When a transfer gives up. A stalled transfer is one whose average speed stays below
// lowSpeedBytesPerSecond for lowSpeedSeconds (libcurl averages over the last few seconds).
struct DownloadTimeouts {
  std::int32_t connectMilliseconds = 30000;  // name resolution, TCP and TLS handshakes
  std::int32_t lowSpeedBytesPerSecond = 100;
  std::int32_t lowSpeedSeconds = 60;
};

class FileDownloadTask;
struct DownloadWorkerRecord;
using FileDownloadTaskPtr = boost::intrusive_ptr<FileDownloadTask>;

class FileDownloadTask : public RefCounted {
 public:
  // (task, bytes received so far including a resume offset, probed total or 0, the block)
  using ProgressSignal = boost::signals2::signal<void(FileDownloadTask& task, std::int64_t received, std::int64_t total,
                                                      const MemoryView& block)>;
  using FinishedSignal = boost::signals2::signal<void(FileDownloadTask& task)>;

  // Initialises libcurl once per process: throws LibcurlInitializationException when that
  // fails (the next construction tries again). Hold the task through a FileDownloadTaskPtr
  // before starting it: the worker keeps a reference of its own.
  FileDownloadTask();
  ~FileDownloadTask() override;

  // Before a start.
  void SetUrl(const std::wstring& url);
  void SetUserAgent(const std::wstring& userAgent);
  void SetTimeouts(const DownloadTimeouts& timeouts);

  // Connect slots before the start; they are called in connection order.
  ProgressSignal& Progress() { return m_progress; }
  FinishedSignal& Finished() { return m_finished; }

  // The most a memory-mode body can hold: one buffer holds it in the end.
  static constexpr std::int32_t kMaxMemoryBytes = 0x7FFFFFFF;

  // Each starts the worker; a task starts once (a second start throws std::logic_error).
  // A worker thread that cannot be created throws boost::thread_resource_error and leaves
  // the task not started.
  void StartInfoOnly();
  // The body may hold at most maxBytes: a longer length announced by the probe or by the
  // body's own headers, or a byte received beyond it, ends the transfer with TooLarge before
  // more is stored, and no memory is set aside beyond it. The bytes received up to the stop
  // are kept, as for any failed transfer.
  void StartToMemory(std::int32_t maxBytes = kMaxMemoryBytes);
  // Appends the body to file. resume: continue from the file's current size (the server is
  // asked for the rest); otherwise the file is emptied first. A FileException from reading
  // the size or emptying the file reaches the caller and the task is not started.
  void StartToFile(const FileHandlePtr& file, bool resume);

  // Asks the worker to stop: the transfer ends with Cancelled within about a second, whatever
  // the server does (also while connecting, in the TLS handshake or while nothing arrives).
  void RequestCancel();

  // Waits until the worker has ended (returns at once on the worker itself, or when the
  // task was never started). A failed wait throws std::system_error.
  void Join();
  // Waits at most timeoutMs for the finished signal to have been emitted; true when it was.
  // On the worker thread it does not wait: true once the state is Finished.
  bool WaitFinished(DWORD timeoutMs);
  // Waits at most timeoutMs until the worker thread has exited, which is later than the finished
  // signal: the thread still runs this module's code after it. True when it has exited, or when
  // the task was never started; never true on the worker itself.
  bool WaitEnded(DWORD timeoutMs);

  // For a module about to be unloaded: asks every task whose worker still runs to stop, and
  // waits at most waitMs in all until those workers have exited. Answers how many still run.
  static int StopAll(DWORD waitMs);

  DownloadMode GetMode() const;
  DownloadState GetState() const;
  DownloadResult GetResult() const;
  // The result's name for logs: "Cancelled" for a result 2 that a cancel caused, which the
  // value alone does not tell from a failed write.
  const char* GetResultName() const;
  std::uint32_t GetFlags() const;
  std::int64_t GetReceivedSize() const;
  std::int64_t GetTotalSize() const;
  std::wstring GetContentType() const;
  // The libcurl code and HTTP status of the last pass, and libcurl's text for a failure:
  // for reports and logs.
  int GetCurlCode() const;
  long GetHttpStatus() const;
  std::string GetErrorText() const;

  // The memory-mode body in one buffer; meaningful once the task is finished. Read it only:
  // when the body filled the length the probe announced, every call shares the task's array.
  ByteBuffer GetData() const;

  // libcurl's write function; data is the task.
  static size_t WriteCallback(char* data, size_t size, size_t count, void* task);

 private:
  class Transfer;
  // Bytes of the memory mode, never moved while they arrive. When the probe announced the
  // length, they fill one array of that length, taken when the first block arrives, and the
  // join hands that array over as it is: a large body would otherwise be written to fresh
  // memory twice (chunks, then the join), and fresh pages are most of what storing it costs.
  // Without a length, when that array cannot be had, and for bytes beyond it, fixed chunks
  // take them and the join copies them once. Written only by the worker; read only after
  // the end.
  struct ChunkList {
    static constexpr std::int32_t kChunkSize = 0x10000;
    // A larger announced length is not taken on trust for one array (a 32-bit installer has
    // 2 GiB of address space in all): chunks grow with what really arrives.
    static constexpr std::int64_t kMaxWhole = 512LL * 1024 * 1024;
    ByteBuffer whole;
    std::vector<ByteBuffer> chunks;  // the bytes beyond whole's length
    std::int64_t stored = 0;
    // Before the first byte: one array for the announced length, when it can be had.
    void Reserve(std::int64_t announced);
    void Append(const MemoryView& block);
    ByteBuffer Join() const;
  };

  static void ThreadProc(FileDownloadTaskPtr* workerReference);
  // libcurl's transfer-progress function (called about once a second while nothing moves);
  // data is the task. Non-zero stops the pass.
  static int ProgressCallback(void* task, long long, long long, long long, long long);
  void MarkStarted(DownloadMode mode, std::int64_t received, std::int32_t memoryLimit = kMaxMemoryBytes);
  void Start();
  void Run();
  DownloadResult RunBody(const std::string& url, const std::string& userAgent, const DownloadTimeouts& timeouts,
                         std::int64_t resumeFrom);
  bool OnData(const MemoryView& block);
  void SetOutcome(DownloadResult result, int curlCode, long httpStatus, const std::string& error);
  bool OnWorkerThread() const;

  // Guards every field below up to m_transfer, except m_thread and m_memory.
  mutable boost::mutex m_lock;
  // Stored by Start under m_joinLock; used by Join under m_joinLock and by the destructor.
  boost::thread m_thread;
  boost::mutex m_joinLock;
  DWORD m_workerThreadId = 0;  // set by the worker when it begins
  std::wstring m_url;
  std::wstring m_userAgent;
  DownloadTimeouts m_timeouts;
  DownloadMode m_mode = DownloadMode::NotStarted;
  DownloadState m_state = DownloadState::NotStarted;
  std::uint32_t m_flags = 0;
  DownloadResult m_result = DownloadResult::None;
  int m_curlCode = 0;
  long m_httpStatus = 0;
  std::string m_errorText;
  std::wstring m_contentType;
  std::int64_t m_totalSize = 0;
  std::int32_t m_memoryLimit = kMaxMemoryBytes;  // memory mode: the most the body may hold
  ChunkList m_memory;                            // the worker appends outside the lock; read after the end
  FileHandlePtr m_file;
  // Also read without the lock, by the progress function on every libcurl turn.
  std::atomic<bool> m_cancelRequested{false};
  std::int64_t m_received = 0;

  // The running body pass; touched by the worker only, no lock.
  Transfer* m_transfer = nullptr;

  // Manual-reset event, set once the finished signal has been emitted.
  win::UniqueKernelHandle m_finishedEvent;
  // This task's entry in the list of running workers (StopAll); set by Start.
  std::shared_ptr<DownloadWorkerRecord> m_worker;

  ProgressSignal m_progress;
  FinishedSignal m_finished;
};

// libcurl's process-wide initialisation, once; throws LibcurlInitializationException on
// failure and leaves itself to be tried again.
void InitLibcurlOnce();
