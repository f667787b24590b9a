// The progress page end to end: from the page's opening (its first queue step) to the end
// of the last installer, for ten small products downloaded from the local gateway, against
// the sum of the same ten downloads and installer runs done directly, one after the other.
// The page steps its queue on a one-second timer, as shipped; it is measured once more with
// a 1 ms step, so the cost of the one-second step is reported apart from the queue's own.
//
// Needs the local HTTPS gateway serving the test product installers: bench_progress_page.runner
// starts it (with-gateway --root <queue-products>).
#include "InstallerBenchSandbox.h"

#include <DialogTemplates.h>
#include <FakeNsisHost.h>
#include <FakeNsisWindow.h>
#include <InstallQueue.h>
#include <NsisStack.h>
#include <PluginApp.h>

#include <windows.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace gwplugin;

namespace {

constexpr int kProducts = 10;

double Seconds(LONGLONG ticks) {
  static const LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  return static_cast<double>(ticks) / static_cast<double>(frequency.QuadPart);
}

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

std::vector<orv_products::CProdPtr> Products(const testgateway::GatewayInfo& gateway) {
  std::vector<orv_products::CProdPtr> products;
  for (int i = 0; i < kProducts; ++i) {
    auto product = std::make_shared<orv_products::CProd>();
    product->id = L"VOICE_BENCH_" + std::to_wstring(i);
    product->label = L"Bench voice " + std::to_wstring(i);
    product->instURL = gateway.Https(L"/voice_elbe.exe");
    product->size = 1;  // known: the queue downloads it
    product->state = orv_products::PS_INSTALL | orv_products::PS_INSTALL_CHECK | orv_products::PS_DOWNLOAD;
    products.push_back(product);
  }
  return products;
}

// Downloads into a new file and runs it, as the queue would, without the queue.
bool DownloadAndRun(const std::wstring& url, const std::wstring& folder, int index) {
  const std::wstring path = folder + L"direct" + std::to_wstring(index) + L".exe";
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  {
    FileHandlePtr file = MakeFileRecord(handle);
    FileDownloadTaskPtr task(new FileDownloadTask());
    task->SetUrl(url);
    task->SetUserAgent(L"OrvelBench/1.0");
    task->StartToFile(file, false);
    task->Join();
    if (task->GetResult() != DownloadResult::Success) return false;
  }
  std::wstring command = L"\"" + path + L"\"   /S /L=1045";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(path.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  DeleteFileW(path.c_str());
  return true;
}

// Opens the progress page with the products marked and returns the seconds from its opening
// to the end of the last installer (negative on failure).
double RunPage(const InstallerBenchSandbox& sandbox, UINT step_ms) {
  const testgateway::GatewayInfo& gateway = sandbox.Gateway();
  DestroyPluginApp();
  gwplugin_test::FakeNsisWindow nsis_window;
  gwplugin_test::FakeNsisHost host;
  host.Call([](HWND, int size, WCHAR* vars, nsis::StackEntry** top, nsis::ExtraParameters* extra) {
    NsisEnterCall(size, vars, top, extra);
  });
  CGWPluginApp& app = ThePluginApp();
  if (!app.EnsureStarted()) return -1;
  app.langid = 1045;
  for (const orv_products::CProdPtr& product : Products(gateway)) app.catalogue.mergedOffer.products.push_back(product);

  std::mutex lock;
  LONGLONG last_end = 0;
  int ended = 0;
  InstallQueueConfig config = sandbox.QueueConfig(L"OrvelBench/1.0");
  config.observer = [&](QueueEvent event, const orv_products::CProd&) {
    if (event != QueueEvent::InstallerEnded) return;
    std::lock_guard<std::mutex> hold(lock);
    last_end = Now();
    ++ended;
  };
  app.progressPage.Queue().Configure(config);
  app.progressPage.SetStepInterval(step_ms);
  app.SubclassNsisWindow(nsis_window.Handle());
  host.Push(L"");  // no banner
  nsis_window.GiveUpAfter(600000);
  const LONGLONG start = Now();
  const int result = app.RunPage(app.progressPage, TemplatesForLanguage(1045).progress);
  app.RestoreNsisWindow();
  const bool ok = result == kPageNext && !nsis_window.GaveUp() && ended == kProducts;
  DestroyPluginApp();
  return ok ? Seconds(last_end - start) : -1;
}

}  // namespace

int main() {
  const InstallerBenchSandbox sandbox("bench_progress_page", L"OrvelProgressBench");
  if (!sandbox.Ok()) return 1;
  const testgateway::GatewayInfo& gateway = sandbox.Gateway();
  const std::wstring& temp = sandbox.Temp();

  // Warm-up: one direct run (the first download pays for TLS set-up and caches).
  bool ok = DownloadAndRun(gateway.Https(L"/voice_elbe.exe"), temp, 99);
  double direct = 0;
  const LONGLONG direct_start = Now();
  for (int i = 0; i < kProducts && ok; ++i) ok = DownloadAndRun(gateway.Https(L"/voice_elbe.exe"), temp, i);
  direct = Seconds(Now() - direct_start);
  const double fast = ok ? RunPage(sandbox, 1) : -1;
  const double shipped = ok && fast >= 0 ? RunPage(sandbox, 1000) : -1;

  if (!ok || fast < 0 || shipped < 0) {
    std::printf("bench_progress_page: a run did not complete\n");
    return 1;
  }
  std::printf("progress page, %d products (voice_elbe.exe from the local gateway):\n", kProducts);
  std::printf("  downloads and installer runs done directly, in turn   %8.2f s\n", direct);
  std::printf("  progress page, queue stepped every 1 ms               %8.2f s   ratio %5.2f\n", fast, fast / direct);
  std::printf("  progress page, queue stepped every 1000 ms (shipped)  %8.2f s   ratio %5.2f\n", shipped,
              shipped / direct);
  std::printf("  of which the one-second step                          %8.2f s\n", shipped - fast);
  return 0;
}
