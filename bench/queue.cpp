// The install queue's own cost per product: from the moment a product's download has
// finished to the moment its installer has been started, against starting the same
// installer directly with CreateProcessW, for a small product and for one of 256 MiB (where
// what the queue does with the file's bytes shows). The queue is stepped on its step event
// here, so the figure is the queue's machinery alone (the progress page steps it on a
// one-second timer, which adds up to that second on top).
//
// Needs the local HTTPS gateway serving the test product installers and the padded one:
// bench_queue.runner starts it (bench/with-queue-products).
#include <curl/curl.h>

#include "InstallerBenchSandbox.h"

#include <InstallQueue.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace gwplugin;

namespace {

constexpr int kRuns = 12;
// Each run of the large product moves 256 MiB through the gateway.
constexpr int kLargeRuns = 6;

double Milliseconds(LONGLONG ticks) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return static_cast<double>(ticks) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Steps the queue on its event until it is done; false on a cancel or a time-out.
bool RunQueue(CInstallQueue& queue) {
  HANDLE event = queue.StepEvent();
  const ULONGLONG deadline = GetTickCount64() + 120000;
  for (;;) {
    const int result = queue.Step();
    if (result == kStepDone) return true;
    if (result == kStepCancelled || GetTickCount64() >= deadline) return false;
    if (WaitForSingleObject(event, static_cast<DWORD>(deadline - GetTickCount64())) == WAIT_FAILED) return false;
  }
}

// Starts the installer with CreateProcessW and waits for it; the call's own duration in ms.
bool StartDirectly(const std::wstring& file, const std::wstring& commandLine, double& startMs) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');
  const LONGLONG before = Now();
  if (!CreateProcessW(file.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  startMs = Milliseconds(Now() - before);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

struct Figures {
  std::vector<double> queued;     // download finished -> installer started
  std::vector<double> machinery;  // download finished -> CreateProcessW called
  std::vector<double> direct;     // CreateProcessW of the downloaded file
};

// Downloads and installs the product served as file, runs times (the first warms up), then
// starts its last download directly as often. False (said) when a run did not install.
bool Measure(const InstallerBenchSandbox& sandbox, const wchar_t* file, int runs, Figures& figures) {
  const testgateway::GatewayInfo& gateway = sandbox.Gateway();
  std::wstring lastFile;
  std::wstring lastCommandLine;
  for (int run = 0; run < runs; ++run) {
    auto product = std::make_shared<orv_products::CProd>();
    product->id = L"VOICE_ELBE";
    product->label = L"Orvel 2 Elbe";
    product->version = VersionNumber(1, 6, 2, 0);
    product->FindBuiltInRow();
    product->instURL = gateway.Https(std::wstring(L"/") + file);
    product->state = orv_products::PS_INSTALL | orv_products::PS_INSTALL_CHECK | orv_products::PS_DOWNLOAD;

    std::mutex lock;
    LONGLONG finished = 0;
    LONGLONG starting = 0;
    LONGLONG started = 0;
    InstallQueueConfig config = sandbox.QueueConfig(L"OrvelQueueBench/1.0");
    config.observer = [&](QueueEvent event, const orv_products::CProd&) {
      const LONGLONG t = Now();
      std::lock_guard<std::mutex> guard(lock);
      if (event == QueueEvent::DownloadFinished) finished = t;
      if (event == QueueEvent::InstallerStarting) starting = t;
      if (event == QueueEvent::InstallerStarted) started = t;
    };
    CInstallQueue queue;
    queue.Configure(config);
    queue.Prepare({product}, HWND(nullptr), nullptr, nullptr);
    if (!RunQueue(queue) || queue.Entries().empty() || queue.Entries()[0].outcome != InstallOutcome::Installed) {
      std::printf("bench_queue: %ls, run %d did not install\n", file, run);
      return false;
    }
    if (run > 0) {  // the first run warms up
      figures.queued.push_back(Milliseconds(started - finished));
      figures.machinery.push_back(Milliseconds(starting - finished));
    }
    lastFile = product->instFile;
    lastCommandLine = BuildInstallerCommandLine(lastFile, GetInstallerArguments(*product, false), 1045);
  }
  for (int run = 0; run < runs; ++run) {
    double ms = 0;
    if (!StartDirectly(lastFile, lastCommandLine, ms)) {
      std::printf("bench_queue: CreateProcessW failed: %lu\n", static_cast<unsigned long>(GetLastError()));
      return false;
    }
    if (run > 0) figures.direct.push_back(ms);
  }
  return true;
}

void Print(const char* what, const Figures& f) {
  const double q = Median(f.queued);
  const double d = Median(f.direct);
  std::printf("install queue, %zu products (%s), median of runs after a warm-up:\n", f.queued.size(), what);
  std::printf("  queue: download finished -> installer started  %8.3f ms  (min %.3f, max %.3f)\n", q,
              *std::min_element(f.queued.begin(), f.queued.end()), *std::max_element(f.queued.begin(), f.queued.end()));
  std::printf("    of which before CreateProcessW is called       %8.3f ms  (min %.3f, max %.3f)\n",
              Median(f.machinery), *std::min_element(f.machinery.begin(), f.machinery.end()),
              *std::max_element(f.machinery.begin(), f.machinery.end()));
  std::printf("  CreateProcessW of the same installer            %8.3f ms  (min %.3f, max %.3f)\n", d,
              *std::min_element(f.direct.begin(), f.direct.end()), *std::max_element(f.direct.begin(), f.direct.end()));
  std::printf("  ratio queue / direct                            %8.2f\n", d > 0 ? q / d : 0.0);
}

}  // namespace

int main() {
  const InstallerBenchSandbox sandbox("bench_queue", L"OrvelQueueBench");
  if (!sandbox.Ok()) return 1;
  Figures small, large;
  if (!Measure(sandbox, L"voice_elbe.exe", kRuns, small)) return 1;
  // Served by bench_queue.runner: Elbe's installer padded with zero bytes to 256 MiB.
  if (!Measure(sandbox, L"voice_elbe_256mib.exe", kLargeRuns, large)) return 1;
  Print("voice_elbe.exe", small);
  Print("voice_elbe.exe padded to 256 MiB", large);
  std::printf("  (the progress page steps the queue every 1000 ms, which adds up to a second per phase)\n");
  return 0;
}
