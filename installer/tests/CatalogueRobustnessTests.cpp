// Mutated catalogues: each one either reads or fails with one of the reader's own exceptions;
// nothing crashes, hangs or recurses beyond the nesting limit.
#include "CatalogueReader.h"
#include "LocaleCatalog.h"
#include "SupportExceptions.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

std::string ValidCatalogue() {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<content protocol=\"1.0\">\n";
  for (int g = 0; g < 3; ++g) {
    xml += "  <prodgroup id=\"" + std::to_string(g) + "\">\n    <label>GROUP_" + std::to_string(g) +
           "</label>\n    <descs><name><transl lang=\"en-US\">Voices &amp; more</transl>"
           "<transl lang=\"pl\">G\xC5\x82osy &#x141;</transl></name></descs>\n    <products>\n";
    for (int p = 0; p < 6; ++p) {
      xml += "      <prod id=\"" + std::to_string(p) + "\" new=\"" + std::to_string(p % 2) +
             "\">\n        <label>VOICE_" + std::to_string(g) + "_" + std::to_string(p) +
             "</label>\n        <version>1." + std::to_string(p) +
             ".0.3</version>\n"
             "        <file>https://gw.example.test/get?id=" +
             std::to_string(p) +
             "&amp;x=1</file>\n"
             "        <os>win</os><sg>" +
             std::to_string(p * 3) +
             "</sg><type>voice</type>\n"
             "        <descs><name><transl lang=\"en\">Name " +
             std::to_string(p) +
             "</transl></name>"
             "<description><transl lang=\"de-DE\"><![CDATA[<b>Stimme</b>]]></transl>"
             "<transl lang=\"fr\">Voix &#233;l&#233;gante</transl></description></descs>\n      </prod>\n";
    }
    xml += "    </products>\n  </prodgroup>\n";
  }
  return xml + "</content>\n";
}

// Pieces that steer TinyXML into its odd corners.
const char* const kTokens[] = {
    "<",
    ">",
    "</",
    "/>",
    "<a>",
    "</a>",
    "<prod>",
    "</prod>",
    "<descs>",
    "</descs>",
    "<transl lang=\"en\">",
    "&#x",
    "&#",
    ";",
    "&amp;",
    "&",
    "\"",
    "'",
    "=",
    "<?xml version=\"",
    "?>",
    "<!--",
    "-->",
    "<![CDATA[",
    "]]>",
    "<!DOCTYPE ",
    "\xC5",
    "\x81",
    "\xEF\xBB\xBF",
    "\xEF\xBF\xBE",
    " ",
    "\n",
    "\t",
    "x41;",
    "#65;",
    "<\x7F>",
    "<label>",
    "</label>",
    "<version>1.-1</version>",
    "<sg>99999999999</sg>",
    "lang=\"xx-YY\"",
};

std::string Mutate(const std::string& base, std::mt19937& rng) {
  std::string s = base;
  auto pos = [&](std::size_t size) { return std::uniform_int_distribution<std::size_t>(0, size)(rng); };
  const int kind = std::uniform_int_distribution<int>(0, 9)(rng);
  switch (kind) {
    case 0:  // truncation
      s.resize(pos(s.size()));
      break;
    case 1:  // byte flips
    case 2: {
      const int flips = std::uniform_int_distribution<int>(1, 8)(rng);
      for (int i = 0; i < flips && !s.empty(); ++i)
        s[pos(s.size() - 1)] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
      break;
    }
    case 3: {  // deep nesting somewhere
      const int depth = std::uniform_int_distribution<int>(1, 3000)(rng);
      std::string open, close;
      for (int i = 0; i < depth; ++i) {
        open += "<d>";
        close += "</d>";
      }
      const std::size_t at = pos(s.size());
      s.insert(at, open + (rng() % 2 ? close : std::string()));
      break;
    }
    case 4: {  // a huge attribute
      std::string value(std::uniform_int_distribution<std::size_t>(1000, 200000)(rng), 'v');
      const std::size_t at = s.find("<prod ");
      s.insert(at + 6, "huge=\"" + value + "\" ");
      break;
    }
    case 5: {  // a range removed
      const std::size_t a = pos(s.size());
      s.erase(a, std::uniform_int_distribution<std::size_t>(1, 200)(rng));
      break;
    }
    case 6: {  // a range repeated elsewhere
      const std::size_t a = pos(s.size());
      const std::string piece = s.substr(a, std::uniform_int_distribution<std::size_t>(1, 300)(rng));
      s.insert(pos(s.size()), piece);
      break;
    }
    default: {  // markup tokens dropped in
      const int count = std::uniform_int_distribution<int>(1, 6)(rng);
      for (int i = 0; i < count; ++i) {
        const char* token = kTokens[rng() % (sizeof(kTokens) / sizeof(kTokens[0]))];
        s.insert(pos(s.size()), token);
      }
      break;
    }
  }
  return s;
}

int DomDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (const TiXmlElement* e = node->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    const int d = 1 + DomDepth(e);
    if (d > deepest) deepest = d;
  }
  return deepest;
}

// Writes a mutant that broke a rule to the temporary folder, so it can be looked at.
void KeepForDiagnosis(const std::string& text) {
  wchar_t dir[MAX_PATH];
  if (GetTempPathW(MAX_PATH, dir) == 0) return;
  static unsigned kept = 0;
  const std::wstring path = std::wstring(dir) + L"orvel-catalogue-mutant-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(++kept) + L".xml";
  FILE* f = _wfopen(path.c_str(), L"wb");
  if (f == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  std::printf("mutant kept in %ls\n", path.c_str());
}

bool IsOwnFailure(const std::string& what) {
  return what.rfind("Exception.Runtime.Xml.", 0) == 0 || what == "FormatException" || what == "LocaleException" ||
         what == "Invalid characters detected." || what == "XML object reader not found." ||
         what == "error while parsing xml.";
}

}  // namespace

TEST(CatalogueRobustness, MutatedCataloguesReadOrFailCleanly) {
  LocaleCatalog locales;
  const std::string base = ValidCatalogue();
  {
    ServiceContent2Ptr content = ParseCatalogue(MemoryView(base.data(), static_cast<std::int32_t>(base.size())));
    ASSERT_TRUE(content);
    ASSERT_EQ(18u, content->products.size());
  }

  std::mt19937 rng(20240611u);
  // ORV_MUTANTS asks for a longer run by hand; the suite runs a few thousand.
  const char* asked = std::getenv("ORV_MUTANTS");
  const int kMutants = asked != nullptr ? std::atoi(asked) : 3000;
  int read = 0, none = 0, refused = 0;
  for (int i = 0; i < kMutants; ++i) {
    const std::string mutant = Mutate(base, rng);
    const MemoryView view(mutant.data(), static_cast<std::int32_t>(mutant.size()));
    try {
      if (ParseCatalogue(view))
        ++read;
      else
        ++none;
    } catch (const std::exception& e) {
      if (!IsOwnFailure(e.what())) KeepForDiagnosis(mutant);
      ASSERT_TRUE(IsOwnFailure(e.what())) << "mutant " << i << " threw '" << e.what() << "'";
      ++refused;
    }

    // The depth walk must never see less nesting than TinyXML builds. Only text that the
    // walk accepts is given to TinyXML directly, as ParseXml does.
    std::string text = mutant.substr(0, mutant.find('\0'));
    if (IsValidUtf8(text.data(), text.size())) {
      const int walked = MeasureXmlNestingDepth(text.c_str(), kMaxXmlNestingDepth);
      if (walked <= kMaxXmlNestingDepth) {
        TiXmlDocument doc;
        doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_UTF8);
        if (walked < DomDepth(&doc)) KeepForDiagnosis(text);
        ASSERT_GE(walked, DomDepth(&doc)) << "mutant " << i;
      }
    }
  }
  std::printf("%d mutants: %d read, %d no document, %d refused\n", kMutants, read, none, refused);
  EXPECT_GT(read, 0);
  EXPECT_GT(refused, 0);
}
