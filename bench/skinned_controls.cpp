// The skinned controls' cost on screen: the main dialog's template with every skinned control
// (buttons, sliders, voice list, links) drawn from the English module's skin, against the same
// template drawn by the system's own controls. For each: WM_PAINTs and CPU time per second of
// an idle window, and the time to paint the whole window once (median of many, the two windows
// taking turns so the machine's load falls on both alike). Prints the figures and the ratios
// skinned / plain (goals: no paints while idle; a full paint within 4 times the plain one).
#include <algorithm>
#include <cstdio>
#include <vector>

#include "SkinnedPanel.h"

namespace {

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto value = [](const FILETIME& t) {
    return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  return static_cast<double>(value(kernel) + value(user)) / 1e7;
}

// Pumps for `seconds`, answering the WM_PAINTs seen.
int Pump(double seconds) {
  LARGE_INTEGER start, now;
  QueryPerformanceCounter(&start);
  int paints = 0;
  for (QueryPerformanceCounter(&now); Seconds(start, now) < seconds; QueryPerformanceCounter(&now)) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_PAINT) ++paints;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return paints;
}

struct Idle {
  double paintsPerSecond = 0;
  double cpuMsPerSecond = 0;
};

Idle MeasureIdle(controls_test::CSkinnedPanel& panel, double seconds) {
  panel.ShowWindow(SW_SHOWNOACTIVATE);
  panel.UpdateWindow();
  Pump(0.3);  // the first paints settle
  const double cpu = ThreadCpuSeconds();
  const int paints = Pump(seconds);
  Idle idle;
  idle.paintsPerSecond = paints / seconds;
  idle.cpuMsPerSecond = (ThreadCpuSeconds() - cpu) * 1000.0 / seconds;
  panel.ShowWindow(SW_HIDE);
  Pump(0.1);
  return idle;
}

double PaintOnce(controls_test::CSkinnedPanel& panel) {
  panel.Painter().Invalidate();  // a whole paint composes the skin again
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  panel.RedrawWindow(nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  QueryPerformanceCounter(&end);
  return Seconds(start, end) * 1e6;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  controls_test::SkinSession session(controls_test::ProgramFolder() + L"..\\reader\\bin\\lang\\english.dll");
  if (!session.ok()) {
    std::printf("english.dll or GDI+ missing (error %lu)\n", GetLastError());
    return 1;
  }
  controls_test::CSkinnedPanel skinned(nullptr, true), plain(nullptr, false);
  if (!skinned.Create() || !plain.Create()) {
    std::printf("template 582 did not make the windows (error %lu)\n", GetLastError());
    return 1;
  }
  skinned.SetWindowPos(nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  plain.SetWindowPos(nullptr, 20, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  const Idle idleSkinned = MeasureIdle(skinned, 2.0);
  const Idle idlePlain = MeasureIdle(plain, 2.0);

  skinned.ShowWindow(SW_SHOWNOACTIVATE);
  plain.ShowWindow(SW_SHOWNOACTIVATE);
  Pump(0.3);
  std::vector<double> timesSkinned, timesPlain;
  for (int i = 0; i < 60; ++i) {
    timesSkinned.push_back(PaintOnce(skinned));
    timesPlain.push_back(PaintOnce(plain));
  }
  const double paintSkinned = Median(timesSkinned), paintPlain = Median(timesPlain);
  std::printf("idle paints per second:   skinned %.1f, plain %.1f\n", idleSkinned.paintsPerSecond,
              idlePlain.paintsPerSecond);
  std::printf("idle CPU ms per second:   skinned %.2f, plain %.2f (ratio %.2f)\n", idleSkinned.cpuMsPerSecond,
              idlePlain.cpuMsPerSecond,
              idlePlain.cpuMsPerSecond > 0 ? idleSkinned.cpuMsPerSecond / idlePlain.cpuMsPerSecond : 0.0);
  std::printf("one whole paint (median): skinned %.0f us, plain %.0f us (ratio %.2f; goal <= 4)\n", paintSkinned,
              paintPlain, paintPlain > 0 ? paintSkinned / paintPlain : 0.0);
  return 0;
}
