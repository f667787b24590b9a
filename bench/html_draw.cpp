// Prepares (parse and measure) and draws generated product descriptions of 10 KB, 100 KB and
// 1 MB with the HTML drawer at a tooltip's width, and draws the same texts without markup
// with DrawTextW (word breaks, same width and font). Prints the times, the ratio at 100 KB
// and the time per KB at each size (goal: linear growth).
#include "PPHtmlDrawer.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

const int kWidth = 400;

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A description as the catalogue carries them: headings, coloured and bold runs, breaks,
// rules and now and then a small table; plain holds the same words without markup.
void Generate(size_t bytes, std::wstring& html, std::wstring& plain) {
  html.clear();
  plain.clear();
  for (int n = 0; html.size() * sizeof(wchar_t) < bytes; ++n) {
    const std::wstring id = std::to_wstring(n);
    const std::wstring words =
        L"A clear voice for reading texts aloud, with natural pauses and a pleasant tone; "
        L"product " +
        id + L" speaks English and Polish. ";
    html += L"<h2>Voice " + id + L"</h2><font color=#336699 size=2>" + words + L"</font><b>Size:</b> 120 MB<br>" +
            words + L"<br><hr width=80%>";
    plain += L"Voice " + id + L"\r\n" + words + L"Size: 120 MB\r\n" + words + L"\r\n";
    if (n % 10 == 9) {
      html +=
          L"<table border=1 cellpadding=2><tr><td>Language</td><td>English</td></tr>"
          L"<tr><td>Version</td><td>1.0." +
          id + L"</td></tr></table>";
      plain += L"Language English\r\nVersion 1.0." + id + L"\r\n";
    }
  }
}

struct Result {
  double drawer;
  double draw_text;
};

Result Measure(HDC dc, size_t bytes, int rounds) {
  std::wstring html, plain;
  Generate(bytes, html, plain);
  std::vector<double> drawer_times, text_times;
  LOGFONTW font = {};
  font.lfHeight = 10 * GetDeviceCaps(dc, LOGPIXELSY) / 72;
  font.lfCharSet = DEFAULT_CHARSET;
  wcscpy(font.lfFaceName, L"Verdana");
  HFONT verdana = CreateFontIndirectW(&font);
  for (int round = 0; round < rounds; ++round) {
    double t0 = Now();
    {
      CPPHtmlDrawer drawer;
      drawer.SetMaxWidth(kWidth);
      const SIZE size = drawer.PrepareOutput(dc, html);
      drawer.DrawPreparedOutput(dc, RECT{0, 0, kWidth, size.cy});
    }
    drawer_times.push_back(Now() - t0);
    t0 = Now();
    {
      HGDIOBJ old = SelectObject(dc, verdana);
      RECT rect = {0, 0, kWidth, 0};
      DrawTextW(dc, plain.c_str(), static_cast<int>(plain.size()), &rect, DT_WORDBREAK | DT_CALCRECT);
      DrawTextW(dc, plain.c_str(), static_cast<int>(plain.size()), &rect, DT_WORDBREAK);
      SelectObject(dc, old);
    }
    text_times.push_back(Now() - t0);
  }
  DeleteObject(verdana);
  return Result{Median(drawer_times), Median(text_times)};
}

}  // namespace

int main() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, kWidth, 600);
  ReleaseDC(nullptr, screen);
  if (!dc || !bitmap) {
    std::printf("no memory DC: %lu\n", GetLastError());
    return 1;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  const struct {
    size_t bytes;
    int rounds;
  } sizes[] = {{10 * 1024, 9}, {100 * 1024, 5}, {1024 * 1024, 3}};
  double per_kb_10 = 0;
  for (const auto& s : sizes) {
    const Result r = Measure(dc, s.bytes, s.rounds);
    const double kb = static_cast<double>(s.bytes) / 1024.0;
    if (s.bytes == sizes[0].bytes) per_kb_10 = r.drawer / kb;
    std::printf("%7.0f KB: drawer %8.1f ms (%.3f ms/KB, %.2f x the 10 KB rate), DrawTextW %8.1f ms, ratio %.1f\n", kb,
                r.drawer * 1000.0, r.drawer * 1000.0 / kb, (r.drawer / kb) / per_kb_10, r.draw_text * 1000.0,
                r.drawer / r.draw_text);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return 0;
}
