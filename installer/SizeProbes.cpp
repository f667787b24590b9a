#include "SizeProbes.h"

#include "MessageWait.h"
#include "PluginLog.h"

#include <UniqueHandle.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

namespace gwplugin {

using orv_products::CProdPtr;

namespace {

struct RunningProbe {
  CProdPtr product;
  FileDownloadTaskPtr task;
};

// An auto-reset event that the probes' finished slots set. The slots hold it too, since a
// worker may still be inside its slot when the last probe has been seen to end.
std::shared_ptr<win::UniqueKernelHandle> NewWakeEvent() {
  win::UniqueKernelHandle event(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  if (!event) return nullptr;
  return std::make_shared<win::UniqueKernelHandle>(std::move(event));
}

}  // namespace

SizeProbeReport ProbeSizes(const orv_products::ProductList& products, const SizeProbeSettings& settings) {
  SizeProbeReport report;
  std::vector<CProdPtr> pending;
  for (const CProdPtr& product : products)
    if (product && !product->instURL.empty()) pending.push_back(product);
  report.probed = static_cast<int>(pending.size());
  if (pending.empty()) return report;

  std::shared_ptr<win::UniqueKernelHandle> wake = NewWakeEvent();
  if (!wake) {
    LogLine(L"size probes: CreateEvent failed, error " + std::to_wstring(GetLastError()));
    for (const CProdPtr& product : pending) product->size = 0;
    report.failed = report.probed;
    return report;
  }
  const std::size_t limit = static_cast<std::size_t>(std::max(1, settings.maxInFlight));
  std::vector<RunningProbe> running;
  std::size_t next = 0;

  while (next < pending.size() || !running.empty()) {
    while (next < pending.size() && running.size() < limit) {
      CProdPtr product = pending[next++];
      product->size = 0;
      try {
        FileDownloadTaskPtr task(new FileDownloadTask());
        task->SetUrl(product->instURL);
        task->SetUserAgent(settings.userAgent);
        task->SetTimeouts(settings.timeouts);
        std::shared_ptr<win::UniqueKernelHandle> event = wake;
        task->Finished().connect([event](FileDownloadTask&) { SetEvent(event->get()); });
        task->StartInfoOnly();
        running.push_back({product, task});
        report.peakInFlight = std::max(report.peakInFlight, static_cast<int>(running.size()));
      } catch (const std::exception& e) {
        ++report.failed;
        LogLine(L"size probe of " + product->id + L" could not start: " +
                std::wstring(e.what(), e.what() + strlen(e.what())));
      }
    }
    if (running.empty()) break;
    // Every probe ends within its time-outs and sets the event; the periodic look is only a
    // guard against a wake-up lost to a failed SetEvent.
    if (WaitDispatchingMessages(wake->get(), 1000) == WAIT_FAILED) {
      LogLine(L"size probes: wait failed, error " + std::to_wstring(GetLastError()));
      for (RunningProbe& probe : running) probe.task->Join();
    }
    auto ended = std::stable_partition(running.begin(), running.end(),
                                       [](const RunningProbe& probe) { return !probe.task->WaitFinished(0); });
    for (auto it = ended; it != running.end(); ++it) {
      const DownloadResult result = it->task->GetResult();
      if (result == DownloadResult::Success && it->task->GetTotalSize() > 0) {
        it->product->size = it->task->GetTotalSize();
        ++report.sized;
      } else {
        it->product->size = 0;
        if (result != DownloadResult::Success) {
          ++report.failed;
          LogLine(L"size probe of " + it->product->id + L" failed: " + std::to_wstring(static_cast<int>(result)));
        }
      }
    }
    running.erase(ended, running.end());
  }
  return report;
}

}  // namespace gwplugin
