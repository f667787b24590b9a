// Reads a generated catalogue of 5,000 products into records, and parses the same bytes with
// TinyXML alone; prints both times, their ratio (goal: at most 1.3), the time of each step of the
// read and the peak memory.
#include "ByteBuffer.h"
#include "CatalogueReader.h"
#include "LocaleCatalog.h"

#include <windows.h>
#include <psapi.h>

#include <tinyxml.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const int kGroups = 50;
const int kProductsPerGroup = 100;  // 5,000 products
const int kRounds = 11;
const double kGoal = 1.3;  // read / bare parse, fastest rounds, at most

std::string GenerateCatalogue() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">\n";
  for (int g = 0; g < kGroups; ++g) {
    const std::string gs = std::to_string(g);
    xml += "<prodgroup id=\"" + gs + "\"><label>GROUP_" + gs + "</label><descs><name><transl lang=\"en-US\">Voices " +
           gs + "</transl><transl lang=\"pl-PL\">G\xC5\x82osy " + gs + "</transl></name></descs><products>\n";
    for (int p = 0; p < kProductsPerGroup; ++p) {
      const std::string id = std::to_string(g * kProductsPerGroup + p);
      xml += "<prod id=\"" + id + "\"><label>VOICE_" + id + "</label><new>" + std::to_string(p % 2) +
             "</new><type>voice</type><idsapi>{" + id + "-SAPI}</idsapi><version>1." + std::to_string(p % 20) + ".0." +
             std::to_string(p) + "</version><file>https://gw.example.test/download?product=" + id +
             "&amp;lang=en</file><os>win7</os><sg>" + std::to_string(p % 30) +
             "</sg><descs><name><transl lang=\"en-US\">Voice number " + id + "</transl><transl lang=\"de-DE\">Stimme " +
             id + "</transl><transl lang=\"pl-PL\">G\xC5\x82os " + id +
             "</transl></name><description><transl lang=\"en-US\">A clear voice for reading texts aloud, "
             "product " +
             id + ".</transl><transl lang=\"pl-PL\">Wyra\xC5\xBAny g\xC5\x82os do czytania, produkt " + id +
             ".</transl></description></descs></prod>\n";
    }
    xml += "</products></prodgroup>\n";
  }
  return xml + "</content>\n";
}

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

struct Memory {
  double peakWorkingSetMiB = 0;
  double peakPagefileMiB = 0;
};

Memory PeakMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof(counters);
  Memory m;
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
    m.peakWorkingSetMiB = static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0);
    m.peakPagefileMiB = static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0);
  } else {
    std::printf("GetProcessMemoryInfo failed: %lu\n", GetLastError());
  }
  return m;
}

}  // namespace

int main() {
  try {
    LocaleCatalog locales;
    const std::string xml = GenerateCatalogue();
    // The read takes the bytes as the plug-in has them: a buffer from the download.
    const ByteBuffer bytes(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size())));
    const MemoryView view(bytes);
    std::printf("catalogue: %d products, %.2f MiB\n", kGroups * kProductsPerGroup,
                static_cast<double>(xml.size()) / (1024.0 * 1024.0));
    const Memory before = PeakMemory();

    // Rounds alternate between the two, so that a busy machine slows both alike.
    std::vector<double> readTimes, bareTimes;
    std::size_t products = 0;
    Memory afterRead;
    for (int round = 0; round < kRounds; ++round) {
      double t0 = Now();
      {
        ServiceContent2Ptr content = ParseCatalogue(view);
        products = content ? content->products.size() : 0;
      }
      readTimes.push_back(Now() - t0);
      if (round == 0) afterRead = PeakMemory();  // before any bare parse could raise the peak

      // The document is freed inside the timing, as a reader that uses it must free it.
      t0 = Now();
      {
        TiXmlDocument document;
        document.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
        if (document.Error()) {
          std::printf("TinyXML: %s\n", document.ErrorDesc());
          return 1;
        }
      }
      bareTimes.push_back(Now() - t0);
      if (std::getenv("ORV_BENCH_VERBOSE") != nullptr)
        std::printf("round %d: read %.1f ms, bare %.1f ms\n", round, readTimes.back() * 1000.0,
                    bareTimes.back() * 1000.0);
    }
    if (products != static_cast<std::size_t>(kGroups * kProductsPerGroup)) {
      std::printf("read %u products, expected %d\n", static_cast<unsigned>(products), kGroups * kProductsPerGroup);
      return 1;
    }

    // Where the time goes (minimum of the rounds, each step on its own), step by step as
    // ParseCatalogue does it: the translation takes the parser's tree apart as it goes, so
    // "TinyXML free" is what is left of it.
    std::vector<double> checks, parse, translate, freeDoc, records, freeAll, freeRecords;
    for (int round = 0; round < kRounds; ++round) {
      double t0 = Now();
      if (!IsValidUtf8(xml.data(), xml.size()) || PrescanXml(xml.c_str(), 1000, 1000).depth > 1000) return 1;
      checks.push_back(Now() - t0);
      std::unique_ptr<TiXmlDocument> document(new TiXmlDocument);
      document->SetTabSize(0);  // as the read parses: no rows and columns
      t0 = Now();
      document->Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
      parse.push_back(Now() - t0);
      t0 = Now();
      XmlNodePtr root;
      char scratch[1024];
      TranslateXmlElementReleasing(root, document->FirstChildElement(), scratch, sizeof(scratch));
      translate.push_back(Now() - t0);
      t0 = Now();
      document.reset();
      freeDoc.push_back(Now() - t0);
      t0 = Now();
      XmlObjectPtr content = ReadXmlObjectTakingValues(root, nullptr);
      records.push_back(Now() - t0);
      t0 = Now();
      root.reset();
      freeAll.push_back(Now() - t0);
      t0 = Now();
      content.reset();
      freeRecords.push_back(Now() - t0);
    }
    auto ms = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()) * 1000.0; };
    std::printf(
        "steps (fastest round): checks %.1f, TinyXML parse %.1f, translation %.1f, TinyXML free %.1f, "
        "records %.1f, tree free %.1f, records free %.1f ms\n",
        ms(checks), ms(parse), ms(translate), ms(freeDoc), ms(records), ms(freeAll), ms(freeRecords));

    // The fastest round is the least disturbed by other work on the machine; medians follow.
    auto fastest = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
    const double read = fastest(readTimes);
    const double bare = fastest(bareTimes);
    const double ratio = read / bare;
    std::printf("object reader into records: %.1f ms fastest, %.1f ms median of %d (records and documents freed)\n",
                read * 1000.0, Median(readTimes) * 1000.0, kRounds);
    std::printf("TinyXML bare parse:         %.1f ms fastest, %.1f ms median of %d (document freed)\n", bare * 1000.0,
                Median(bareTimes) * 1000.0, kRounds);
    const char* verdict = ratio <= kGoal ? "met" : "NOT MET";
    std::printf("ratio: %.2f fastest, %.2f median (goal <= %.2f) %s\n", ratio, Median(readTimes) / Median(bareTimes),
                kGoal, verdict);
    // One row of the summary that scripts/run-bench prints after every benchmark.
    std::printf(
        "ROW\tcatalogue, %d products (%.2f MiB) read into records, fastest\t%.1f ms\t%.1f ms (TinyXML parse)\t"
        "%.2f\t<= %.1f\t%s\n",
        kGroups * kProductsPerGroup, static_cast<double>(xml.size()) / (1024.0 * 1024.0), read * 1000.0, bare * 1000.0,
        ratio, kGoal, verdict);
    std::printf("peak working set: %.1f MiB before, %.1f MiB after reading (+%.1f)\n", before.peakWorkingSetMiB,
                afterRead.peakWorkingSetMiB, afterRead.peakWorkingSetMiB - before.peakWorkingSetMiB);
    std::printf("peak pagefile usage: %.1f MiB before, %.1f MiB after reading (+%.1f)\n", before.peakPagefileMiB,
                afterRead.peakPagefileMiB, afterRead.peakPagefileMiB - before.peakPagefileMiB);
    return 0;
  } catch (const std::exception& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
}
