#include "CatalogueReader.h"

#include "LocaleCatalog.h"
#include "SupportExceptions.h"

#include <boost/make_shared.hpp>

#include <stdexcept>
#include <utility>
#include <vector>

namespace {

const bool g_contentReaderRegistered = RegisterContentReader();

// The names and defaults read for every product, made once: a catalogue holds thousands of
// products, and each literal passed as a string would be a new string per read.
const std::wstring kId = L"id";
const std::wstring kLabel = L"label";
const std::wstring kNew = L"new";
const std::wstring kType = L"type";
const std::wstring kIdSapi = L"idsapi";
const std::wstring kVersion = L"version";
const std::wstring kFile = L"file";
const std::wstring kOs = L"os";
const std::wstring kSg = L"sg";
const std::wstring kTransl = L"transl";
const std::wstring kLang = L"lang";
const std::wstring kDescs = L"descs";
const std::wstring kProd = L"prod";
const std::wstring kNone;
const std::wstring kMinusOne = L"-1";
const std::wstring kZero = L"0";
const std::wstring kTen = L"10";

LANGID LanguageOf(const std::wstring& localeName) {
  const LocaleCatalog* catalog = LocaleCatalog::Instance();
  const LocaleRecord* record = nullptr;
  if (catalog == nullptr || !catalog->FindLcid(localeName, record)) throw LocaleException();
  return LANGIDFROMLCID(record->lcid);
}

// The languages met so far in one document: a catalogue names the same few locales thousands
// of times, and a look-up among the system's hundreds of locale names costs more than a glance
// at these. Only locales that were found are kept, so an unknown one still throws each time.
class LanguageCache {
 public:
  LANGID Get(const std::wstring& localeName) {
    for (const auto& known : m_known)
      if (known.first == localeName) return known.second;
    const LANGID language = LanguageOf(localeName);
    if (m_known.size() < kMax) m_known.emplace_back(localeName, language);
    return language;
  }

 private:
  static const std::size_t kMax = 16;
  std::vector<std::pair<std::wstring, LANGID>> m_known;
};

void ReadTranslationsInto(XmlObjectReader& reader, LocalizedText& translations, LanguageCache& languages) {
  while (reader.EnterNextChild()) {
    // The node's own name: it stays in the tree while the reader goes below it.
    const std::wstring& textName = reader.CurrentName();
    while (reader.TryEnterChild(kTransl)) {
      const LANGID language = languages.Get(reader.ReadRequiredProperty(kLang));
      // A second text for the same name and language is ignored; the first stays.
      translations.AddText(textName, language, reader.ReadProperty(kXmlTextProperty, kNone));
      reader.LeaveChild();
    }
    reader.LeaveChild();
  }
}

ServiceContentProduct2Ptr ReadProduct(XmlObjectReader& reader) {
  ServiceContentProduct2Ptr product = boost::make_shared<ServiceContentProduct2>();
  XmlTextToInt(reader.ReadProperty(kId, kMinusOne));  // identifiers of the gateway's own; not kept
  product->label = reader.ReadRequiredProperty(kLabel);
  product->isNew = XmlTextToBool(reader.ReadProperty(kNew, kZero));
  product->type = reader.ReadProperty(kType, kNone);
  product->idsapi = reader.ReadProperty(kIdSapi, kNone);
  product->version = VersionNumber::Parse(reader.ReadRequiredProperty(kVersion));
  product->file = reader.ReadRequiredProperty(kFile);
  product->os = reader.ReadRequiredProperty(kOs);
  product->sg = XmlTextToInt(reader.ReadProperty(kSg, kTen));
  return product;
}

}  // namespace

bool RegisterContentReader() {
  RegisterXmlObjectReader(L"content", &ReadCatalogueContent);
  return true;
}

void ReadTranslations(XmlObjectReader& reader, LocalizedText& translations) {
  LanguageCache languages;
  ReadTranslationsInto(reader, translations, languages);
}

XmlObjectPtr ReadCatalogueContent(XmlObjectReader& reader, void* /*context*/) {
  ServiceContent2Ptr content = boost::make_shared<ServiceContent2>();
  reader.ReadRequiredProperty(L"protocol");
  LanguageCache languages;

  while (reader.TryEnterChild(L"prodgroup")) {
    XmlTextToInt(reader.ReadProperty(L"id", std::wstring()));  // not kept
    ServiceContentProductGroup2Ptr group = boost::make_shared<ServiceContentProductGroup2>();
    group->label = reader.ReadRequiredProperty(L"label");
    content->groups.push_back(group);

    reader.EnterChild(L"descs");
    ReadTranslationsInto(reader, group->translations, languages);
    reader.LeaveChild();

    reader.EnterChild(L"products");
    while (reader.TryEnterChild(kProd)) {
      ServiceContentProduct2Ptr product = ReadProduct(reader);
      content->products.push_back(product);
      group->products.push_back(product);
      reader.EnterChild(kDescs);
      ReadTranslationsInto(reader, product->translations, languages);
      reader.LeaveChild();  // descs
      reader.LeaveChild();  // prod
    }
    reader.LeaveChild();  // products
    reader.LeaveChild();  // prodgroup
  }
  return content;
}

ServiceContent2Ptr ParseCatalogue(const MemoryView& text) {
  XmlNodePtr root = ParseXml(text);
  if (!root) return ServiceContent2Ptr();
  // Only the catalogue reader's result may be taken as a catalogue.
  if (root->Name() != L"content") throw std::runtime_error("XML object reader not found.");
  RegisterContentReader();
  // The tree is ours alone and goes when this returns: the records take its texts over.
  return boost::static_pointer_cast<ServiceContent2>(ReadXmlObjectTakingValues(root, nullptr));
}
