// Throughput of FileDownloadTask against a bare libcurl easy transfer of the same bytes with a
// minimal write function into the same kind of sink: 256 MiB over loopback HTTPS, to a file and
// to memory; and the peak memory of the memory mode.
// Runs under bench/with-body-server, whose nginx serves the body several times faster than this
// client takes it, so that the figures are the client's; that script also measured native curl
// on the host over the same server (the machine's limit), which is printed beside ours.
// Single transfers vary by a quarter and more on a shared host, far more than the goal's margin,
// so the rows take many rounds: in each, our transfer and the bare one run back to back, which
// goes first alternating round by round, so that a busy moment hits both alike. A row's ratio is
// the median of the rounds' own ratios, printed with their spread; its times are the medians.
// Wall time gives the throughput ratio; the process's CPU time per MiB, less disturbed by other
// load, shows what each client costs.

// libcurl brings in winsock2.h, which must come before windows.h.
#include <curl/curl.h>

#include "FileDownloadTask.h"
#include "TestGateway.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using testgateway::CommittedPrivateBytes;

namespace {

std::int64_t g_size = 256LL * 1024 * 1024;
// Rounds: with the processors kept out of deep idle states (bench/with-body-server), half the
// rounds' ratios lie within some 0.03 of their median and single ones stray by 0.1 or more; the
// median of 25 rounds is then known to about +-0.015 (its 95% confidence interval, printed), well
// inside the goal's margin. A round takes some 6 s so; up to 30 s where the processors cannot be
// kept awake. No round starts once the budget is spent, but at least the minimum run, and the
// rows say how many there were.
int g_rounds = 25;
const int kMinRounds = 9;
const double kRoundsBudgetS = 200;
const int kInfoRounds = 3;  // rounds that also time the transfers printed for information only
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

// The value at fraction q (0 to 1) of sorted values, interpolated between neighbours.
double Quantile(const std::vector<double>& sorted, double q) {
  const double at = q * static_cast<double>(sorted.size() - 1);
  const std::size_t below = static_cast<std::size_t>(at);
  if (below + 1 >= sorted.size()) return sorted.back();
  return sorted[below] + (at - static_cast<double>(below)) * (sorted[below + 1] - sorted[below]);
}

struct Spread {
  double median = 0, q1 = 0, q3 = 0, min = 0, max = 0;
};

Spread SpreadOf(std::vector<double> values) {
  Spread s;
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  s.median = Quantile(values, 0.5);
  s.q1 = Quantile(values, 0.25);
  s.q3 = Quantile(values, 0.75);
  s.min = values.front();
  s.max = values.back();
  return s;
}

// The 95% confidence interval of the median of the values, from their order statistics: the
// k-th smallest and k-th largest, for the largest k that a binomial tail of n halves leaves below
// 2.5%. False for fewer than six values, which give no such interval.
bool MedianInterval(std::vector<double> values, double& low, double& high) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  double tail = 0, choose = 1;  // P(X <= i) and C(n, i) for X ~ Bin(n, 1/2)
  std::size_t k = 0;
  for (std::size_t i = 0; i < n / 2; ++i) {
    tail += choose * std::pow(0.5, static_cast<double>(n));
    if (tail > 0.025) break;
    k = i + 1;
    choose = choose * static_cast<double>(n - i) / static_cast<double>(i + 1);
  }
  if (k == 0) return false;
  low = values[k - 1];
  high = values[n - k];
  return true;
}

// One kind of transfer over the rounds, or failed when any round failed.
struct Rounds {
  std::vector<Timing> timings;
  bool Failed() const {
    return timings.empty() || std::any_of(timings.begin(), timings.end(), [](const Timing& t) { return t.wall < 0; });
  }
  Timing Median() const {
    std::vector<double> wall, cpu;
    for (const Timing& t : timings) {
      wall.push_back(t.wall);
      cpu.push_back(t.cpu);
    }
    return Timing{SpreadOf(wall).median, SpreadOf(cpu).median};
  }
};

// Each round's own ratio, bare time / task time: its two transfers ran back to back.
std::vector<double> RoundRatios(const Rounds& bare, const Rounds& task, bool cpu) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < bare.timings.size() && i < task.timings.size(); ++i)
    ratios.push_back(cpu ? bare.timings[i].cpu / task.timings[i].cpu : bare.timings[i].wall / task.timings[i].wall);
  return ratios;
}

double MiB(double bytes) { return bytes / (1024.0 * 1024.0); }

void Line(const char* what, const Timing& t) {
  const double mib = MiB(static_cast<double>(g_size));
  std::printf("  %-34s %7.3f s wall %7.1f MiB/s   %7.3f s CPU  %6.2f ms CPU/MiB\n", what, t.wall, mib / t.wall, t.cpu,
              1000.0 * t.cpu / mib);
}

std::string RowName(const char* target) {
  char row[64];
  std::snprintf(row, sizeof row, "download %.0f MiB %s", MiB(static_cast<double>(g_size)), target);
  return row;
}

// The row of one target: the median of the rounds' ratios against the goal, their spread (the
// middle half of the rounds and all of them) beside it.
void Ratio(const char* target, const Rounds& bare, const Rounds& task) {
  const Spread r = SpreadOf(RoundRatios(bare, task, false));
  const Spread c = SpreadOf(RoundRatios(bare, task, true));
  const std::size_t n = task.timings.size();
  const char* verdict = r.median >= kGoal ? "met" : "NOT MET";
  std::printf("  %-34s %.3f (goal >= %.2f) %s; CPU time ratio %.3f\n",
              (std::string(target) + ": throughput ratio").c_str(), r.median, kGoal, verdict, c.median);
  double low = 0, high = 0;
  std::printf("    over %zu rounds: middle half %.3f to %.3f, all %.3f to %.3f", n, r.q1, r.q3, r.min, r.max);
  if (MedianInterval(RoundRatios(bare, task, false), low, high))
    std::printf("; the median, 95%% confidence: %.3f to %.3f", low, high);
  std::printf("\n");
  // One row of the summary that scripts/run-bench prints after every benchmark.
  std::printf(
      "ROW\t%s\t%.2f s\t%.2f s (bare libcurl)\t%.3f (middle half of the rounds %.3f to %.3f, all %.3f to %.3f, "
      "n=%zu)\t>= %.2f\t%s\n",
      RowName(target).c_str(), task.Median().wall, bare.Median().wall, r.median, r.q1, r.q3, r.min, r.max, n, kGoal,
      verdict);
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
      std::printf("ROW\t%s\t-\t-\t-\t>= %.2f\tNOT MEASURED (%s)\n", RowName(target).c_str(), kGoal,
                  unavailable.c_str());
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
  if (memoryRun.timing.wall < 0) {
    std::printf("bench_download: a transfer failed\n");
    return 1;
  }

  std::printf("download: %.0f MiB over loopback HTTPS from nginx; ratio = bare time / task time, round by round\n",
              MiB(static_cast<double>(g_size)));
  std::printf("  round  to a file: bare    task   ratio   to memory: bare    task   ratio   round\n");
  Rounds discard, bareFile, taskFile, bareMemory, taskMemory, probe;
  const double start = Now();
  int rounds = 0;
  for (; rounds < g_rounds; ++rounds) {
    if (rounds >= kMinRounds && Now() - start > kRoundsBudgetS) {
      std::printf("  the rounds' budget of %.0f s is spent: %d rounds instead of %d\n", kRoundsBudgetS, rounds,
                  g_rounds);
      break;
    }
    const double roundStart = Now();
    // Each pair runs back to back, the bare transfer first in even rounds and second in odd
    // ones: a machine whose load rises or falls through a round then favours neither.
    const bool taskFirst = rounds % 2 == 1;
    if (rounds < kInfoRounds) discard.timings.push_back(BareTransfer(narrowUrl, nullptr, false));
    if (taskFirst) taskFile.timings.push_back(TaskTransfer(url, Target::File, path, false).timing);
    bareFile.timings.push_back(BareTransfer(narrowUrl, path, false));
    if (!taskFirst) taskFile.timings.push_back(TaskTransfer(url, Target::File, path, false).timing);
    if (taskFirst) taskMemory.timings.push_back(TaskTransfer(url, Target::Memory, nullptr, false).timing);
    bareMemory.timings.push_back(BareTransfer(narrowUrl, nullptr, true));
    if (!taskFirst) taskMemory.timings.push_back(TaskTransfer(url, Target::Memory, nullptr, false).timing);
    if (rounds < kInfoRounds) probe.timings.push_back(TaskTransfer(url, Target::InfoOnly, nullptr, false).timing);
    const Timing &bf = bareFile.timings.back(), &tf = taskFile.timings.back(), &bm = bareMemory.timings.back(),
                 &tm = taskMemory.timings.back();
    if (bf.wall < 0 || tf.wall < 0 || bm.wall < 0 || tm.wall < 0) break;
    std::printf("  %5d  %15.3f s %6.3f s %6.3f  %15.3f s %6.3f s %6.3f  %5.1f s\n", rounds + 1, bf.wall, tf.wall,
                bf.wall / tf.wall, bm.wall, tm.wall, bm.wall / tm.wall, Now() - roundStart);
    std::fflush(stdout);
  }
  DeleteFileW(path);
  if (discard.Failed() || bareFile.Failed() || taskFile.Failed() || bareMemory.Failed() || taskMemory.Failed() ||
      probe.Failed()) {
    std::printf("bench_download: a transfer failed\n");
    return 1;
  }

  std::printf("  medians of %d rounds (bytes discarded and the size probe: of the first %zu):\n", rounds,
              discard.timings.size());
  Timing native;
  if (std::sscanf(Env("ORV_NATIVE_CURL").c_str(), "%lf %lf", &native.wall, &native.cpu) == 2)
    Line("native curl on the host (limit)", native);
  const Timing d = discard.Median();
  Line("bare libcurl, bytes discarded", d);
  Line("bare libcurl, WriteFile per block", bareFile.Median());
  Line("FileDownloadTask to a file", taskFile.Median());
  Line("bare libcurl, std::vector append", bareMemory.Median());
  Line("FileDownloadTask to memory", taskMemory.Median());
  if (native.wall > 0)
    std::printf("  the server is not the limit: native curl takes the body %.1f times as fast as bare libcurl here\n",
                d.wall / native.wall);
  Ratio("to a file", bareFile, taskFile);
  Ratio("to memory", bareMemory, taskMemory);
  const Timing p = probe.Median();
  std::printf("  size probe alone (InfoOnly task)   %7.3f s wall                   %7.3f s CPU\n", p.wall, p.cpu);
  std::printf(
      "  memory mode: peak committed private memory %.1f MiB above the %.1f MiB before it\n"
      "    (a %.0f MiB body of announced length, in one array that GetData hands over)\n",
      MiB(static_cast<double>(memoryRun.peakCommitted) - static_cast<double>(committedBefore)),
      MiB(static_cast<double>(committedBefore)), MiB(static_cast<double>(g_size)));
  return 0;
}
