// Building and merging the offers for a generated catalogue: 5,000 products with 500 of them
// installed, and how time and peak memory grow from 500 to 5,000 to 50,000 products (installed:
// a tenth of the catalogue; the installer's own products: a hundredth). Sizes are injected, as
// the probes would set them.
//
// Each size runs in a child process of its own (this program with "--size N"), so each peak
// memory figure is that size's alone. Reported per size: the catalogue read (XML parse and
// records), the build of the downloaded lists and the merge of both offers (each the best of
// several rounds), and the peak of private memory above what the process used before it made
// the catalogue text.
#include <ProductCatalogue.h>

#include <CatalogueReader.h>
#include <LocaleCatalog.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <exception>
#include <string>
#include <vector>

namespace {

double Now() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// The best of several rounds: the least disturbed by whatever else the machine does.
double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

SIZE_T PeakPrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakPagefileUsage;
}

SIZE_T PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PagefileUsage;
}

const int kPerGroup = 100;

std::string ProductId(int i) { return "VOICE_BENCH_" + std::to_string(i); }

std::string GenerateCatalogue(int products) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">\n";
  for (int first = 0; first < products; first += kPerGroup) {
    const std::string g = std::to_string(first / kPerGroup);
    xml += "<prodgroup id=\"" + g + "\"><label>OP_GROUP_BENCH_" + g +
           "</label><descs><name><transl lang=\"en-US\">Voices " + g + "</transl><transl lang=\"pl-PL\">G\xC5\x82osy " +
           g + "</transl></name></descs><products>\n";
    for (int i = first; i < std::min(products, first + kPerGroup); ++i) {
      const std::string id = std::to_string(i);
      // Lean products: 50,000 of them stay below the XML reader's 16 MiB document limit.
      xml += "<prod><label>" + ProductId(i) + "</label><version>1." + std::to_string(6 + i % 3) + ".0." +
             std::to_string(i % 50) + "</version><file>https://gw.test/d?p=" + id + "</file><os>7</os><sg>" +
             std::to_string(i % 30) + "</sg><descs><name><transl lang=\"en-US\">Voice " + id +
             "</transl><transl lang=\"pl-PL\">G\xC5\x82os " + id +
             "</transl></name><description><transl lang=\"en-US\">"
             "Reads " +
             id + "</transl></description></descs></prod>\n";
    }
    xml += "</products></prodgroup>\n";
  }
  return xml + "</content>\n";
}

struct Figures {
  double readMs = 0;
  double buildMergeMs = 0;
  double peakMb = 0;
  int offered = 0;
};

Figures RunSize(int products) {
  using namespace gwplugin;
  using namespace orv_products;
  LocaleCatalog locales;
  const SIZE_T before = PrivateBytes();

  const std::string xml = GenerateCatalogue(products);
  const int installed = products / 10;
  const int built_in = std::max(1, products / 100);
  // Small sizes repeat more, so that each figure is the best of a measurable time.
  const int rounds = std::max(5, 200000 / products);

  Figures figures;
  std::vector<double> reads, merges;
  for (int round = 0; round < rounds; ++round) {
    const double t0 = Now();
    ServiceContent2Ptr content;
    try {
      content = ParseCatalogue(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size())));
    } catch (const std::exception& e) {
      std::fprintf(stderr, "bench_catalogue: %d products (%u bytes): %s\n", products, static_cast<unsigned>(xml.size()),
                   e.what());
      std::exit(1);
    }
    const double t1 = Now();
    if (!content) {
      std::fprintf(stderr, "bench_catalogue: the generated catalogue was not read\n");
      std::exit(1);
    }

    ProductCatalogue catalogue;
    catalogue.langid = 1045;
    for (int i = 0; i < built_in; ++i) {
      const int index = (i * 97) % products;
      catalogue.AddBuiltInDescriptor(std::wstring(L"VOICE_BENCH_") + std::to_wstring(index) +
                                     L"|1.6.0.0|0|C:\\setup\\" + std::to_wstring(index) + L".exe");
    }
    // The installed products: every tenth, older, equal or newer than offered.
    for (int i = 0; i < installed; ++i) {
      const int index = i * 10 % products;
      auto p = std::make_shared<CProd>();
      p->id = std::wstring(L"VOICE_BENCH_") + std::to_wstring(index);
      p->version = VersionNumber(1, 5 + i % 4, 0, index % 50);
      catalogue.installedProducts.push_back(p);
    }
    catalogue.sizeProbe = [](const ProductList& list) {
      for (const CProdPtr& p : list) p->size = 100000 + static_cast<std::int64_t>(p->id.size()) * 1000;
    };

    const double t2 = Now();
    catalogue.OnContentReady(content);
    catalogue.MergeProductLists();
    const double t3 = Now();
    reads.push_back((t1 - t0) * 1000);
    merges.push_back((t3 - t2) * 1000);
    figures.offered = ProductCatalogue::CountOfferedProducts(catalogue.mergedOffer.products);
  }
  figures.readMs = Best(reads);
  figures.buildMergeMs = Best(merges);
  const SIZE_T peak = PeakPrivateBytes();
  figures.peakMb = peak > before ? static_cast<double>(peak - before) / (1024.0 * 1024.0) : 0;
  return figures;
}

// Runs this program for one size and reads its one line of figures.
bool RunChild(int products, Figures& figures) {
  wchar_t self[MAX_PATH];
  if (!GetModuleFileNameW(nullptr, self, MAX_PATH)) return false;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return false;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --size " + std::to_wstring(products);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (!started) {
    std::fprintf(stderr, "bench_catalogue: CreateProcess failed, error %lu\n", GetLastError());
    CloseHandle(read_end);
    return false;
  }
  std::string output;
  char buffer[512];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) output.append(buffer, got);
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return code == 0 && std::sscanf(output.c_str(), "%lf %lf %lf %d", &figures.readMs, &figures.buildMergeMs,
                                  &figures.peakMb, &figures.offered) == 4;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--size") {
    const Figures f = RunSize(std::atoi(argv[2]));
    std::printf("%.3f %.3f %.3f %d\n", f.readMs, f.buildMergeMs, f.peakMb, f.offered);
    return 0;
  }
  const int sizes[] = {500, 5000, 50000};
  Figures figures[3];
  for (int i = 0; i < 3; ++i) {
    if (!RunChild(sizes[i], figures[i])) {
      std::fprintf(stderr, "bench_catalogue: the run for %d products failed\n", sizes[i]);
      return 1;
    }
  }
  std::printf("catalogue build and merge (installed: a tenth, the installer's own: a hundredth)\n");
  std::printf("%8s %10s %12s %16s %12s %10s\n", "products", "installed", "read (ms)", "build+merge (ms)", "peak (MiB)",
              "offered");
  for (int i = 0; i < 3; ++i)
    std::printf("%8d %10d %12.2f %16.2f %12.1f %10d\n", sizes[i], sizes[i] / 10, figures[i].readMs,
                figures[i].buildMergeMs, figures[i].peakMb, figures[i].offered);
  for (int i = 1; i < 3; ++i) {
    const double growth = static_cast<double>(sizes[i]) / sizes[i - 1];
    std::printf("%d -> %d products (x%.0f): read x%.1f, build+merge x%.1f, peak memory x%.1f (linear: x%.0f)\n",
                sizes[i - 1], sizes[i], growth, figures[i].readMs / figures[i - 1].readMs,
                figures[i].buildMergeMs / figures[i - 1].buildMergeMs, figures[i].peakMb / figures[i - 1].peakMb,
                growth);
  }
  std::printf("goal 5,000 products, 500 installed: build+merge %.2f ms, read %.2f ms, peak %.1f MiB\n",
              figures[1].buildMergeMs, figures[1].readMs, figures[1].peakMb);
  return 0;
}
