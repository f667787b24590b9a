// The catalogue document (root "content") read into its records.
#include "ByteBuffer.h"
#include "CatalogueReader.h"
#include "LocaleCatalog.h"
#include "SupportExceptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

class Catalogue : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { m_locales = new LocaleCatalog; }
  static void TearDownTestSuite() {
    delete m_locales;
    m_locales = nullptr;
  }

  // As the plug-in reads a catalogue: from a buffer, the download's or the file's.
  static ServiceContent2Ptr Read(const std::string& xml) {
    const ByteBuffer bytes(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size())));
    return ParseCatalogue(MemoryView(bytes));
  }

  // The what() of whatever Read throws, "" when it throws nothing.
  static std::string FailureOf(const std::string& xml) {
    try {
      Read(xml);
    } catch (const std::exception& e) {
      return e.what();
    }
    return std::string();
  }

 private:
  static LocaleCatalog* m_locales;
};

LocaleCatalog* Catalogue::m_locales = nullptr;

const char* const kProduct =
    "<prod><label>VOICE_A</label><version>1.0.0.0</version><file>https://x.test/a.exe</file><os>7</os><descs/></prod>";

// A document with one group holding the given products.
std::string Document(const std::string& products, const std::string& groupDescs = "<descs/>") {
  return "<content protocol=\"1\"><prodgroup id=\"1\"><label>G</label>" + groupDescs + "<products>" + products +
         "</products></prodgroup></content>";
}

std::wstring Text(const LocalizedText& texts, const wchar_t* name, LANGID lang) {
  std::wstring text;
  if (!texts.GetText(name, lang, text)) return L"(none)";
  return text;
}

}  // namespace

TEST_F(Catalogue, MinimalDocument) {
  ServiceContent2Ptr content = Read(Document(kProduct));
  ASSERT_TRUE(content);
  ASSERT_EQ(1u, content->groups.size());
  ASSERT_EQ(1u, content->products.size());
  const ServiceContentProductGroup2& group = *content->groups[0];
  EXPECT_EQ(L"G", group.label);
  ASSERT_EQ(1u, group.products.size());
  EXPECT_EQ(content->products[0], group.products[0]) << "the same record in both lists";

  const ServiceContentProduct2& p = *content->products[0];
  EXPECT_EQ(L"VOICE_A", p.label);
  EXPECT_EQ(L"1.0.0.0", p.version.ToString());
  EXPECT_EQ(L"https://x.test/a.exe", p.file);
  EXPECT_EQ(L"7", p.os);
  EXPECT_FALSE(p.isNew);
  EXPECT_EQ(10, p.sg);
  EXPECT_EQ(L"", p.type);
  EXPECT_EQ(L"", p.idsapi);
  EXPECT_TRUE(p.translations.Ids().empty());
}

TEST_F(Catalogue, GroupsAndProductsInDocumentOrder) {
  const std::string xml =
      "<content protocol=\"1\">"
      "<prodgroup><label>first</label><descs/><products>"
      "<prod label=\"p1\" version=\"1\" file=\"f\" os=\"o\"><descs/></prod>"
      "<prod label=\"p2\" version=\"2\" file=\"f\" os=\"o\"><descs/></prod></products></prodgroup>"
      "<other/>"
      "<prodgroup><label>empty</label><descs/><products/></prodgroup>"
      "<prodgroup label=\"third\"><products><prod label=\"p3\" version=\"3\" file=\"f\" os=\"o\"><descs/></prod>"
      "</products><descs/></prodgroup>"
      "</content>";
  ServiceContent2Ptr content = Read(xml);
  ASSERT_TRUE(content);
  ASSERT_EQ(3u, content->groups.size());
  EXPECT_EQ(L"first", content->groups[0]->label);
  EXPECT_EQ(2u, content->groups[0]->products.size());
  EXPECT_EQ(L"empty", content->groups[1]->label);
  EXPECT_TRUE(content->groups[1]->products.empty()) << "a group with an empty products element is kept";
  EXPECT_EQ(L"third", content->groups[2]->label);
  ASSERT_EQ(3u, content->products.size());
  EXPECT_EQ(L"p1", content->products[0]->label);
  EXPECT_EQ(L"p2", content->products[1]->label);
  EXPECT_EQ(L"p3", content->products[2]->label);
  EXPECT_EQ(L"3.0.0.0", content->products[2]->version.ToString());

  ServiceContent2Ptr empty = Read("<content protocol=\"1\"/>");
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->groups.empty());
  EXPECT_TRUE(empty->products.empty());
}

TEST_F(Catalogue, ProductFieldsAndDefaults) {
  struct Case {
    const char* extra;  // properties added to a product with label, version, file and os
    const char* version;
    bool isNew;
    int sg;
  };
  const Case cases[] = {
      {"", "1.0.0.0", false, 10},
      {"<new>2</new><sg>3</sg>", "1.0.0.0", true, 3},
      {"<new>yes</new>", "1.0.0.0", false, 10},
      {"<new>-1</new><sg>x</sg>", "1.0.0.0", true, 0},
      {"<sg>-4</sg>", "1.0.0.0", false, -4},
      {"<id>17</id><type>voice</type><idsapi>{X}</idsapi>", "1.0.0.0", false, 10},
  };
  for (const Case& c : cases) {
    const std::string product = std::string("<prod><label>L</label><version>") + c.version +
                                "</version><file>F</file><os>O</os>" + c.extra + "<descs/></prod>";
    ServiceContent2Ptr content = Read(Document(product));
    ASSERT_TRUE(content) << c.extra;
    ASSERT_EQ(1u, content->products.size());
    const ServiceContentProduct2& p = *content->products[0];
    EXPECT_EQ(c.isNew, p.isNew) << c.extra;
    EXPECT_EQ(c.sg, p.sg) << c.extra;
  }
  ServiceContent2Ptr typed = Read(
      Document("<prod label=\"L\" version=\"2.1\" file=\"F\" os=\"O\" type=\"voice\" idsapi=\"{X}\"><descs/></prod>"));
  ASSERT_TRUE(typed);
  EXPECT_EQ(L"2.1.0.0", typed->products[0]->version.ToString());
  EXPECT_EQ(L"voice", typed->products[0]->type);
  EXPECT_EQ(L"{X}", typed->products[0]->idsapi);
}

TEST_F(Catalogue, Translations) {
  const std::string descs =
      "<descs>"
      "<name><transl lang=\"en-US\">English</transl><transl lang=\"en\">Ignored</transl>"
      "<transl lang=\"pl\">Polski</transl><transl lang=\"de-DE\"/></name>"
      "<description><transl lang=\"pl-PL\">Opis &#x141;&#243;d&#378;</transl></description>"
      "<extra><transl lang=\"fr\">Autre</transl></extra>"
      "<plain>not a text</plain>"
      "</descs>";
  ServiceContent2Ptr content = Read(Document(kProduct, descs));
  ASSERT_TRUE(content);
  const LocalizedText& t = content->groups[0]->translations;
  EXPECT_EQ(L"English", Text(t, L"name", 1033)) << "en-US and en are both 1033; the first stays";
  EXPECT_EQ(L"Polski", Text(t, L"name", 1045));
  EXPECT_EQ(L"", Text(t, L"name", 1031)) << "a transl without text gives an empty text";
  EXPECT_EQ(L"Opis \u0141\u00F3d\u017A", Text(t, L"description", 1045));
  EXPECT_EQ(L"Autre", Text(t, L"extra", 1036)) << "other names are stored too";
  EXPECT_EQ(L"(none)", Text(t, L"plain", 1033)) << "a plain text child is a property of descs";
  std::int32_t id = 0;
  EXPECT_TRUE(t.FindId(L"name", id));
  EXPECT_EQ(-1, id);
}

TEST_F(Catalogue, EveryFailureEndsTheRead) {
  struct Case {
    std::string xml;
    const char* failure;
  };
  const std::string badLang = "<descs><name><transl lang=\"xx-YY\">x</transl></name></descs>";
  const Case cases[] = {
      {"<content><prodgroup/></content>", "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {"<content protocol=\"1\"><prodgroup><descs/><products/></prodgroup></content>",
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {"<content protocol=\"1\"><prodgroup label=\"g\"><products/></prodgroup></content>",
       "Exception.Runtime.Xml.Object.ChildEnterFailure"},
      {"<content protocol=\"1\"><prodgroup label=\"g\"><descs/></prodgroup></content>",
       "Exception.Runtime.Xml.Object.ChildEnterFailure"},
      {Document("<prod label=\"L\" file=\"F\" os=\"O\"><descs/></prod>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      // After a product read in full, whose part of the tree is gone by then.
      {Document(std::string(kProduct) + "<prod label=\"L\" file=\"F\" os=\"O\"><descs/></prod>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {Document("<prod version=\"1\" file=\"F\" os=\"O\"><descs/></prod>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {Document("<prod label=\"L\" version=\"1\" os=\"O\"><descs/></prod>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {Document("<prod label=\"L\" version=\"1\" file=\"F\"><descs/></prod>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {Document("<prod label=\"L\" version=\"1\" file=\"F\" os=\"O\"/>"),
       "Exception.Runtime.Xml.Object.ChildEnterFailure"},
      {Document("<prod label=\"L\" version=\"1.2.3.4.5\" file=\"F\" os=\"O\"><descs/></prod>"), "FormatException"},
      {Document("<prod label=\"L\" version=\"1.-2\" file=\"F\" os=\"O\"><descs/></prod>"), "FormatException"},
      {Document("<prod label=\"L\" version=\"\" file=\"F\" os=\"O\"><descs/></prod>"), "FormatException"},
      {Document(kProduct, badLang), "LocaleException"},
      {Document(kProduct, "<descs><name><transl id=\"1\">x</transl></name></descs>"),
       "Exception.Runtime.Xml.Object.PropertyNotFound"},
      {"<catalogue protocol=\"1\"/>", "XML object reader not found."},
      {"<content protocol=\"1\"><a>\xFF</a></content>", "Invalid characters detected."},
  };
  for (const Case& c : cases) EXPECT_EQ(c.failure, FailureOf(c.xml)) << c.xml;

  EXPECT_FALSE(Read("<content protocol=\"1\">")) << "unparsable text is no document";
  // A transl without attributes is a plain text of its parent, not a language version.
  ServiceContent2Ptr plain = Read(Document(kProduct, "<descs><name><transl>x</transl></name></descs>"));
  ASSERT_TRUE(plain);
  EXPECT_TRUE(plain->groups[0]->translations.Languages().empty());
  EXPECT_FALSE(Read("")) << "empty text is no document";
}

TEST_F(Catalogue, RegisteredUnderContent) {
  const XmlObjectReaderRegistry& registry = GetXmlObjectReaderRegistry();
  auto it = registry.find(L"content");
  ASSERT_NE(registry.end(), it);
  EXPECT_EQ(&ReadCatalogueContent, it->second);
  EXPECT_TRUE(RegisterContentReader());

  const std::string xml = Document(kProduct);
  XmlNodePtr root = ParseXml(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size())));
  ASSERT_TRUE(root);
  ServiceContent2Ptr content = boost::static_pointer_cast<ServiceContent2>(ReadXmlObject(root, nullptr));
  ASSERT_TRUE(content);
  EXPECT_EQ(1u, content->products.size());
}

TEST(CatalogueWithoutLocales, LanguageLookupNeedsTheCatalog) {
  ASSERT_EQ(nullptr, LocaleCatalog::Instance());
  const std::string xml = Document(kProduct, "<descs><name><transl lang=\"en\">x</transl></name></descs>");
  EXPECT_THROW(ParseCatalogue(MemoryView(xml.data(), static_cast<std::int32_t>(xml.size()))), LocaleException);
}
