#include "SizeProbes.h"

#include "MessageWait.h"
#include "PluginLog.h"

#include <UniqueHandle.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <mutex>
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

// Probes cancelled at a deadline before they ended. Each touches nothing but its own task, so
// the caller goes on without them; their workers still run this module's code, so the unload
// waits for them. Never destroyed: a release at the module's detach could join a worker under
// the loader lock.
std::mutex& UnfinishedLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}
std::vector<FileDownloadTaskPtr>& Unfinished() {
  static auto* tasks = new std::vector<FileDownloadTaskPtr>;
  return *tasks;
}

void KeepUnfinished(const FileDownloadTaskPtr& task) {
  std::lock_guard<std::mutex> hold(UnfinishedLock());
  std::vector<FileDownloadTaskPtr>& tasks = Unfinished();
  tasks.erase(
      std::remove_if(tasks.begin(), tasks.end(), [](const FileDownloadTaskPtr& t) { return t->WaitFinished(0); }),
      tasks.end());
  tasks.push_back(task);
}

}  // namespace

SizeProbeReport ProbeSizes(const orv_products::ProductList& products, const SizeProbeSettings& settings) {
  SizeProbeReport report;
  std::vector<CProdPtr> pending;
  for (const CProdPtr& product : products)
    if (product && !product->instURL.empty()) pending.push_back(product);
  report.probed = static_cast<int>(pending.size());
  if (pending.empty()) return report;
  for (const CProdPtr& product : pending) product->size = 0;

  std::shared_ptr<win::UniqueKernelHandle> wake = NewWakeEvent();
  if (!wake) {
    LogLine(L"size probes: CreateEvent failed, error " + std::to_wstring(GetLastError()));
    report.failed = report.probed;
    return report;
  }
  // One wait for all of them: a host that never answers holds the caller for one connect
  // time-out, not for one per round of probes.
  const std::int32_t budget = settings.deadlineMilliseconds > 0
                                  ? settings.deadlineMilliseconds
                                  : std::max<std::int32_t>(1, settings.timeouts.connectMilliseconds);
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(budget);
  auto remaining = [deadline]() -> DWORD {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  };
  const std::size_t limit = static_cast<std::size_t>(std::max(1, settings.maxInFlight));
  std::vector<RunningProbe> running;
  std::size_t next = 0;

  while (next < pending.size() || !running.empty()) {
    while (next < pending.size() && running.size() < limit && remaining() > 0) {
      CProdPtr product = pending[next++];
      // No probe's own time-outs reach past the shared deadline, so one whose host never
      // completes a connection or never answers ends by itself then, whatever a cancel can do.
      const DWORD left = remaining();
      DownloadTimeouts timeouts = settings.timeouts;
      timeouts.connectMilliseconds = static_cast<std::int32_t>(
          std::min<DWORD>(static_cast<DWORD>(std::max(1, timeouts.connectMilliseconds)), left));
      timeouts.lowSpeedSeconds = static_cast<std::int32_t>(
          std::min<DWORD>(static_cast<DWORD>(std::max(1, timeouts.lowSpeedSeconds)), (left + 999) / 1000));
      try {
        FileDownloadTaskPtr task(new FileDownloadTask());
        task->SetUrl(product->instURL);
        task->SetUserAgent(settings.userAgent);
        task->SetTimeouts(timeouts);
        std::shared_ptr<win::UniqueKernelHandle> event = wake;
        task->Finished().connect([event](FileDownloadTask&) { SetEvent(event->get()); });
        task->StartInfoOnly();
        running.push_back({product, task});
        report.peakInFlight = std::max(report.peakInFlight, static_cast<int>(running.size()));
      } catch (const std::exception& e) {
        ++report.failed;
        LogLine(L"size probe of " + product->id + L" could not start: " + WidenAscii(e.what()));
      }
    }
    if (running.empty() || remaining() == 0) break;
    // Every probe sets the event when it ends; the periodic look is only a guard against a
    // wake-up lost to a failed SetEvent.
    if (WaitDispatchingMessages(wake->get(), std::min<DWORD>(1000, remaining())) == WAIT_FAILED) {
      LogLine(L"size probes: wait failed, error " + std::to_wstring(GetLastError()));
      break;
    }
    auto ended = std::stable_partition(running.begin(), running.end(),
                                       [](const RunningProbe& probe) { return !probe.task->WaitFinished(0); });
    for (auto it = ended; it != running.end(); ++it) {
      const DownloadResult result = it->task->GetResult();
      if (result == DownloadResult::Success && it->task->GetTotalSize() > 0) {
        it->product->size = it->task->GetTotalSize();
        ++report.sized;
      } else if (result != DownloadResult::Success) {
        ++report.failed;
        LogLine(L"size probe of " + it->product->id + L" failed: " + std::to_wstring(static_cast<int>(result)));
      }
    }
    running.erase(ended, running.end());
  }

  // The deadline: what still runs is told to stop and what never started is not started;
  // their sizes stay unknown.
  report.cancelled = static_cast<int>(running.size() + (pending.size() - next));
  for (RunningProbe& probe : running) {
    probe.task->RequestCancel();
    KeepUnfinished(probe.task);
  }
  if (report.cancelled > 0)
    LogLine(L"size probes: " + std::to_wstring(report.cancelled) + L" without a size at the deadline of " +
            std::to_wstring(budget) + L" ms");
  return report;
}

bool EndUnfinishedProbes(DWORD waitMs) {
  std::vector<FileDownloadTaskPtr> tasks;
  {
    std::lock_guard<std::mutex> hold(UnfinishedLock());
    tasks.swap(Unfinished());
  }
  const ULONGLONG until = GetTickCount64() + waitMs;
  for (const FileDownloadTaskPtr& task : tasks) task->RequestCancel();
  std::vector<FileDownloadTaskPtr> still;
  for (const FileDownloadTaskPtr& task : tasks) {
    const ULONGLONG now = GetTickCount64();
    if (!task->WaitFinished(now < until ? static_cast<DWORD>(until - now) : 0)) still.push_back(task);
  }
  if (still.empty()) return true;
  std::lock_guard<std::mutex> hold(UnfinishedLock());
  Unfinished().insert(Unfinished().end(), still.begin(), still.end());
  return false;
}

}  // namespace gwplugin
