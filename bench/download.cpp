// Throughput of FileDownloadTask against a bare libcurl easy transfer of the same bytes with a
// minimal write function into the same kind of sink: 256 MiB over loopback HTTPS, to a file and
// to memory; and the peak memory of the memory mode.
// Runs under bench/with-body-server, whose nginx serves the body several times faster than this
// client takes it, so that the figures are the client's; that script also measured native curl
// on the host over the same server (the machine's limit), which is printed beside ours.
// Each figure is the best of the rounds; the rounds interleave the kinds of transfer so that a
// busy moment of the machine hits each alike. Wall time gives the throughput ratio; the
// process's CPU time per MiB, less disturbed by other load, shows what each client costs.

// libcurl brings in winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "FileDownloadTask.h"
#include "TestGateway.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using testgateway::CommittedPrivateBytes;

namespace {

std::int64_t g_size = 256LL * 1024 * 1024;
int g_rounds = 3;
const double kGoal = 0.97;  // bare time / task time, at least

double Now() {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of the whole process, in seconds.
double ProcessCpu() {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

struct Timing {
  double wall = -1;  // negative: the transfer failed
  double cpu = -1;
};

class Stopwatch {
 public:
  Stopwatch() : m_wall(Now()), m_cpu(ProcessCpu()) {}
  Timing Stop() const { return Timing{Now() - m_wall, ProcessCpu() - m_cpu}; }

 private:
  double m_wall;
  double m_cpu;
};

// ---------------------------------------------------------------------------------------
// Bare libcurl.

// Where a bare transfer puts the bytes: nowhere, a file, or a growing vector.
struct Sink {
  std::int64_t total = 0;
  HANDLE file = nullptr;
  std::vector<char>* memory = nullptr;
  bool failed = false;
};

size_t WriteToSink(char* data, size_t size, size_t count, void* sinkPointer) {
  Sink& sink = *static_cast<Sink*>(sinkPointer);
  const size_t n = size * count;
  if (sink.file) {
    DWORD written = 0;
    if (!WriteFile(sink.file, data, static_cast<DWORD>(n), &written, nullptr) || written != n) {
      sink.failed = true;
      return 0;
    }
  } else if (sink.memory) {
    sink.memory->insert(sink.memory->end(), data, data + n);
  }
  sink.total += static_cast<std::int64_t>(n);
  return n;
}

// One easy handle, the same certificate checks as the task, a minimal write function.
Timing BareTransfer(const std::string& url, const wchar_t* filePath, bool toMemory) {
  Sink sink;
  std::vector<char> memory;
  if (toMemory) sink.memory = &memory;
  if (filePath) {
    sink.file = CreateFileW(filePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (sink.file == INVALID_HANDLE_VALUE) {
      std::printf("  cannot create the file (error %lu)\n", GetLastError());
      return Timing();
    }
  }
  CURL* curl = curl_easy_init();
  bool ok = curl && curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA)) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteToSink) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  Stopwatch watch;
  CURLcode rc = ok ? curl_easy_perform(curl) : CURLE_FAILED_INIT;
  if (sink.file) CloseHandle(sink.file);
  Timing timing = watch.Stop();
  if (curl) curl_easy_cleanup(curl);
  if (rc != CURLE_OK || sink.total != g_size || sink.failed) {
    std::printf("  bare transfer failed: curl %d, %lld bytes\n", static_cast<int>(rc),
                static_cast<long long>(sink.total));
    return Timing();
  }
  return timing;
}

// ---------------------------------------------------------------------------------------
// The task.

struct TaskRun {
  Timing timing;
  std::uint64_t peakCommitted = 0;  // sampled while receiving and after GetData
};

enum class Target { InfoOnly, File, Memory };

TaskRun TaskTransfer(const std::wstring& url, Target target, const wchar_t* filePath, bool sampleMemory) {
  TaskRun run;
  FileDownloadTaskPtr task(new FileDownloadTask);
  task->SetUrl(url);
  FileHandlePtr file;
  if (target == Target::File) {
    file = MakeFileRecord(CreateFileW(filePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      std::printf("  cannot create the file (error %lu)\n", GetLastError());
      return run;
    }
  }
  std::int64_t blocks = 0;
  std::uint64_t peak = 0;
  if (sampleMemory) {
    task->Progress().connect([&blocks, &peak](FileDownloadTask&, std::int64_t, std::int64_t, const MemoryView&) {
      if (++blocks % 256 == 0) peak = std::max(peak, CommittedPrivateBytes());
    });
  }
  Stopwatch watch;
  if (target == Target::File)
    task->StartToFile(file, false);
  else if (target == Target::Memory)
    task->StartToMemory();
  else
    task->StartInfoOnly();
  task->Join();
  ByteBuffer data;
  if (target == Target::Memory) data = task->GetData();
  Timing timing = watch.Stop();
  if (sampleMemory) peak = std::max(peak, CommittedPrivateBytes());
  const std::int64_t expected = target == Target::InfoOnly ? 0 : g_size;
  if (task->GetResult() != DownloadResult::Success || task->GetReceivedSize() != expected ||
      (target == Target::Memory && data.Length() != g_size)) {
    std::printf("  task failed: %s, curl %d, %lld bytes, \"%s\"\n", DownloadResultName(task->GetResult()),
                task->GetCurlCode(), static_cast<long long>(task->GetReceivedSize()), task->GetErrorText().c_str());
    return run;
  }
  run.timing = timing;
  run.peakCommitted = peak;
  return run;
}

// ---------------------------------------------------------------------------------------

// The best of the rounds, or a failed timing when any round failed.
Timing Best(const std::vector<Timing>& rounds) {
  Timing best;
  for (const Timing& t : rounds) {
    if (t.wall < 0) return Timing();
    if (best.wall < 0 || t.wall < best.wall) best.wall = t.wall;
    if (best.cpu < 0 || t.cpu < best.cpu) best.cpu = t.cpu;
  }
  return best;
}

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

void Line(const char* what, const Timing& t) {
  const double mib = MiB(static_cast<double>(g_size));
  std::printf("  %-34s %7.3f s wall %7.1f MiB/s   %7.3f s CPU  %6.2f ms CPU/MiB\n", what, t.wall, mib / t.wall, t.cpu,
              1000.0 * t.cpu / mib);
}

void Ratio(const char* what, const char* row, const Timing& bare, const Timing& task) {
  const double ratio = bare.wall / task.wall;
  const char* verdict = ratio >= kGoal ? "met" : "NOT MET";
  std::printf("  %-34s %.3f (goal >= %.2f) %s; CPU time ratio %.3f\n", what, ratio, kGoal, verdict,
              bare.cpu / task.cpu);
  // One row of the summary that scripts/run-bench prints after every benchmark.
  std::printf("ROW\t%s\t%.2f s\t%.2f s (bare libcurl)\t%.3f\t>= %.2f\t%s\n", row, task.wall, bare.wall, ratio, kGoal,
              verdict);
}

// Each round's own ratio (its bare and task transfers ran back to back) and their median: how
// far the machine's load moved the best-of figures above.
void PairedRatios(const char* what, const std::vector<Timing>& bare, const std::vector<Timing>& task) {
  std::vector<double> ratios;
  std::printf("  %-34s", (std::string(what) + ": round by round").c_str());
  for (std::size_t i = 0; i < bare.size() && i < task.size(); ++i) {
    ratios.push_back(bare[i].wall / task[i].wall);
    std::printf(" %.3f", ratios.back());
  }
  std::sort(ratios.begin(), ratios.end());
  if (!ratios.empty())
    std::printf("; median %.3f", ratios.size() % 2 ? ratios[ratios.size() / 2]
                                                   : (ratios[ratios.size() / 2 - 1] + ratios[ratios.size() / 2]) / 2);
  std::printf("\n");
}

// The environment that bench/with-body-server sets, or empty.
std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::atoi(argv[1]) > 0) g_rounds = std::atoi(argv[1]);
  if (std::atoll(Env("ORV_BODY_BYTES").c_str()) > 0) g_size = std::atoll(Env("ORV_BODY_BYTES").c_str());

  // No server to measure against: the rows say so, and the run fails on them.
  const std::string unavailable = Env("ORV_BODY_UNAVAILABLE");
  if (!unavailable.empty()) {
    std::printf("bench_download: no server for the body: %s\n", unavailable.c_str());
    for (const char* target : {"to a file", "to memory"})
      std::printf("ROW\tdownload %.0f MiB %s\t-\t-\t-\t>= %.2f\tNOT MEASURED (%s)\n", MiB(static_cast<double>(g_size)),
                  target, kGoal, unavailable.c_str());
    return 0;
  }
  const std::string narrowUrl = Env("ORV_BODY_URL");
  const std::string caDer = Env("ORV_BODY_CA_DER");
  if (narrowUrl.empty() || caDer.empty() || std::atoll(Env("ORV_BODY_BYTES").c_str()) <= 0) {
    std::printf("bench_download: run it under bench/with-body-server (ORV_BODY_URL is not set)\n");
    return 1;
  }
  testgateway::TrustedRootCertificate trust(testgateway::UnixPathToWindows(caDer));
  if (!trust.Ok()) {
    std::printf("bench_download: %s (error 0x%08lx)\n", trust.Failure().c_str(), trust.Error());
    return 1;
  }
  InitLibcurlOnce();

  const std::wstring url(narrowUrl.begin(), narrowUrl.end());  // ASCII
  wchar_t dir[MAX_PATH], path[MAX_PATH];
  if (!GetTempPathW(MAX_PATH, dir) || !GetTempFileNameW(dir, L"bdl", 0, path)) {
    std::printf("bench_download: no temporary file (error %lu)\n", GetLastError());
    return 1;
  }

  // Memory first, while nothing else has grown the process.
  const std::uint64_t committedBefore = CommittedPrivateBytes();
  const TaskRun memoryRun = TaskTransfer(url, Target::Memory, nullptr, true);

  std::vector<Timing> discard, bareFile, taskFile, bareMemory, taskMemory, probe;
  for (int round = 0; round < g_rounds; ++round) {
    // Each pair runs back to back, the bare transfer first in even rounds and second in odd
    // ones: a machine whose load rises or falls through a round then favours neither.
    const bool taskFirst = round % 2 == 1;
    discard.push_back(BareTransfer(narrowUrl, nullptr, false));
    if (taskFirst) taskFile.push_back(TaskTransfer(url, Target::File, path, false).timing);
    bareFile.push_back(BareTransfer(narrowUrl, path, false));
    if (!taskFirst) taskFile.push_back(TaskTransfer(url, Target::File, path, false).timing);
    if (taskFirst) taskMemory.push_back(TaskTransfer(url, Target::Memory, nullptr, false).timing);
    bareMemory.push_back(BareTransfer(narrowUrl, nullptr, true));
    if (!taskFirst) taskMemory.push_back(TaskTransfer(url, Target::Memory, nullptr, false).timing);
    probe.push_back(TaskTransfer(url, Target::InfoOnly, nullptr, false).timing);
  }
  DeleteFileW(path);

  const Timing d = Best(discard), bf = Best(bareFile), tf = Best(taskFile), bm = Best(bareMemory),
               tm = Best(taskMemory), p = Best(probe);
  if (memoryRun.timing.wall < 0 || d.wall < 0 || bf.wall < 0 || tf.wall < 0 || bm.wall < 0 || tm.wall < 0 ||
      p.wall < 0) {
    std::printf("bench_download: a transfer failed\n");
    return 1;
  }
  std::printf("download: %.0f MiB over loopback HTTPS from nginx, best of %d rounds; ratio = bare time / task time\n",
              MiB(static_cast<double>(g_size)), g_rounds);
  Timing native;
  if (std::sscanf(Env("ORV_NATIVE_CURL").c_str(), "%lf %lf", &native.wall, &native.cpu) == 2)
    Line("native curl on the host (limit)", native);
  Line("bare libcurl, bytes discarded", d);
  Line("bare libcurl, WriteFile per block", bf);
  Line("FileDownloadTask to a file", tf);
  Line("bare libcurl, std::vector append", bm);
  Line("FileDownloadTask to memory", tm);
  if (native.wall > 0)
    std::printf("  the server is not the limit: native curl takes the body %.1f times as fast as bare libcurl here\n",
                d.wall / native.wall);
  char fileRow[64], memoryRow[64];
  std::snprintf(fileRow, sizeof fileRow, "download %.0f MiB to a file", MiB(static_cast<double>(g_size)));
  std::snprintf(memoryRow, sizeof memoryRow, "download %.0f MiB to memory", MiB(static_cast<double>(g_size)));
  Ratio("to a file: throughput ratio", fileRow, bf, tf);
  Ratio("to memory: throughput ratio", memoryRow, bm, tm);
  PairedRatios("to a file", bareFile, taskFile);
  PairedRatios("to memory", bareMemory, taskMemory);
  std::printf("  size probe alone (InfoOnly task)   %7.3f s wall                   %7.3f s CPU\n", p.wall, p.cpu);
  std::printf(
      "  memory mode: peak committed private memory %.1f MiB above the %.1f MiB before it\n"
      "    (a %.0f MiB body of announced length, in one array that GetData hands over)\n",
      MiB(static_cast<double>(memoryRun.peakCommitted) - static_cast<double>(committedBefore)),
      MiB(static_cast<double>(committedBefore)), MiB(static_cast<double>(g_size)));
  return 0;
}
