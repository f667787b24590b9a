// ParseXml and TranslateXmlElement: how a document becomes a property tree, its encoding, and
// the limits checked before parsing.
#include "TextConversion.h"
#include "XmlExceptions.h"
#include "XmlTestUtil.h"

#include <tinyxml.h>

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

TEST(XmlTranslation, DocumentsBecomePropertyTrees) {
  struct Case {
    const char* xml;
    const char* tree;  // Dump of the root, "null" when ParseXml gives nothing
  };
  const Case cases[] = {
      {"<content protocol=\"1\"><prodgroup id=\"3\"><label>Voices</label></prodgroup></content>",
       "content{protocol=1}[prodgroup{id=3,label=Voices}[]]"},
      // The parent's name and a dot are taken off a leaf's name, only as a prefix.
      {"<a><a.b>x</a.b></a>", "a{b=x}[]"},
      {"<a><c.a.b>x</c.a.b></a>", "a{c.a.b=x}[]"},
      {"<a><ab>x</ab></a>", "a{ab=x}[]"},
      {"<a><a.>x</a.></a>", "a{=x}[]"},
      // Duplicate names fail the whole translation.
      {"<a x=\"1\"><x>2</x></a>", "null"},
      {"<a><x>1</x><x>2</x></a>", "null"},
      {"<a Value=\"v\">text</a>", "null"},
      // A bare text root cannot be a property.
      {"<a>text</a>", "null"},
      // Empty elements are nodes, not properties.
      {"<a/>", "a{}[]"},
      {"<a></a>", "a{}[]"},
      {"<r><e/><e></e></r>", "r{}[e{}[],e{}[]]"},
      // Own text next to children is "Value"; text after a child is not kept.
      {"<a>hello<b/></a>", "a{Value=hello}[b{}[]]"},
      {"<a><b/>after</a>", "a{}[b{}[]]"},
      {"<a k=\"1\">text</a>", "a{Value=text,k=1}[]"},
      {"<a><![CDATA[<raw>]]></a>", "null"},
      {"<r><a><![CDATA[<raw>]]></a></r>", "r{a=<raw>}[]"},
      // Attribute values may be empty; entities are resolved.
      {"<a e=\"\" q=\"&lt;&amp;&quot;\"/>", "a{e=,q=<&\"}[]"},
      // Declarations, comments and later root elements are skipped.
      {"<?xml version=\"1.0\"?><!-- c --><first/><second/>", "first{}[]"},
      // Unparsable or element-less text.
      {"", "null"},
      {"<a>", "null"},
      {"<a></b>", "null"},
      {"just text", "null"},
      {"<!-- only a comment -->", "null"},
      {"<a b=\"1\" b=\"2\"/>", "null"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.tree, Dump(Parse(c.xml))) << c.xml;

  // Leaves and nodes keep apart among many children, past the first 64 too.
  std::string many = "<r>", expectedProperties, expectedChildren;
  for (int i = 0; i < 70; ++i) {
    const std::string n = std::to_string(100 + i);
    if (i % 3 == 0) {
      many += "<n" + n + "/>";
      expectedChildren += (expectedChildren.empty() ? "" : ",") + ("n" + n + "{}[]");
    } else {
      many += "<p" + n + ">" + n + "</p" + n + ">";
      expectedProperties += (expectedProperties.empty() ? "" : ",") + ("p" + n + "=" + n);
    }
  }
  EXPECT_EQ("r{" + expectedProperties + "}[" + expectedChildren + "]", Dump(Parse(many + "</r>")));

  // The text ends at its first zero byte, as TinyXML reads it.
  EXPECT_EQ("r{a=x}[]", Dump(Parse(std::string("<r><a>x</a></r>\0<broken", 23))));
  EXPECT_EQ("r{a=x}[]", Dump(Parse(std::string("<r><a>x</a></r>\0\xFF", 17)))) << "bytes after it are not checked";
  EXPECT_EQ("null", Dump(Parse(std::string("<r>\0</r>", 8))));
  EXPECT_EQ("null", Dump(Parse(std::string("\0<r/>", 5))));
  // A buffer's terminator lies past its length, also for a view of its end.
  const ByteBuffer buffer{MemoryView("<x><a>1</a></x><y/>", 19)};
  EXPECT_EQ(0, buffer.Data()[buffer.Length()]);
  EXPECT_TRUE(MemoryView(buffer).IsZeroTerminated());
  EXPECT_TRUE(MemoryView(buffer).SubView(15).IsZeroTerminated());
  EXPECT_FALSE(MemoryView(buffer.Data(), buffer.Length()).IsZeroTerminated());
  EXPECT_EQ("y{}[]", Dump(ParseXml(MemoryView(buffer).SubView(15))));
}

TEST(XmlTranslation, NodesKnowTheirParents) {
  XmlNodePtr root = Parse("<a><b><c/></b></a>");
  ASSERT_TRUE(root);
  EXPECT_EQ(nullptr, root->Parent());
  const XmlNodePtr& b = root->Children().at(0);
  EXPECT_EQ(root.get(), b->Parent());
  EXPECT_EQ(b.get(), b->Children().at(0)->Parent());

  XmlNodePtr kept = b;
  root.reset();  // the kept subtree outlives its parent
  EXPECT_EQ(nullptr, kept->Parent());
  EXPECT_EQ(1u, kept->Children().size());
}

TEST(XmlTranslation, FailuresReportWhereWithAResultPlace) {
  struct Case {
    const char* xml;
    const char* message;
    int row, column;
  };
  const Case cases[] = {
      {"<a><x>1</x>\n  <x>2</x></a>", "PropertyNotUnique", 2, 3},
      {"<a x=\"1\">\n<x>2</x></a>", "PropertyNotUnique", 2, 1},
      {"<a>\n <b Value=\"1\">t</b></a>", "PropertyNotUnique", 2, 5},
      {"\n\n  <a>text</a>", "RootToPropertyTranslationImpossible", 3, 3},
      {"<a b=\"1\"><c/></a>", "", -1, -1},
  };
  for (const Case& c : cases) {
    TiXmlDocument doc;
    doc.Parse(c.xml, nullptr, TIXML_ENCODING_UTF8);
    ASSERT_FALSE(doc.Error()) << c.xml << ": " << doc.ErrorDesc();
    XmlNodePtr root;
    XmlParseResultPtr result;
    char scratch[1024];
    const bool ok = TranslateXmlElement(root, doc.FirstChildElement(), &result, scratch, sizeof(scratch));
    ASSERT_TRUE(result) << c.xml;
    EXPECT_EQ(*c.message == '\0', ok) << c.xml;
    EXPECT_EQ(ok, result->ok) << c.xml;
    EXPECT_EQ(c.message, ToUtf8(result->message)) << c.xml;
    EXPECT_EQ(c.row, result->row) << c.xml;
    EXPECT_EQ(c.column, result->column) << c.xml;
  }
}

TEST(XmlEncoding, NumericReferencesAreUnicode) {
  const char* declarations[] = {"", "<?xml version=\"1.0\"?>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                                "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "\xEF\xBB\xBF"};
  for (const char* declaration : declarations) {
    const std::string xml = std::string(declaration) +
                            "<a hex=\"&#x141;\" dec=\"&#243;\" astral=\"&#x1F600;\">&#x141;&#243;d&#378; \xC5\x81</a>";
    XmlNodePtr root = Parse(xml);
    ASSERT_TRUE(root) << xml;
    std::wstring value;
    ASSERT_TRUE(root->GetProperty(L"hex", value));
    EXPECT_EQ(L"\u0141", value) << "declaration: " << declaration;
    ASSERT_TRUE(root->GetProperty(L"dec", value));
    EXPECT_EQ(L"\u00F3", value) << "declaration: " << declaration;
    ASSERT_TRUE(root->GetProperty(L"astral", value));
    EXPECT_EQ(std::wstring(L"\xD83D\xDE00"), value) << "declaration: " << declaration;
    ASSERT_TRUE(root->GetProperty(L"Value", value));
    EXPECT_EQ(L"\u0141\u00F3d\u017A \u0141", value) << "declaration: " << declaration;
  }
}

TEST(XmlEncoding, InvalidUtf8IsRefusedAnywhere) {
  const char* documents[] = {
      "<a>\xFF</a>",                // text
      "<a b=\"\xC3\"/>",            // cut sequence in a value
      "<\xC0\x80/>",                // overlong in a name
      "<a><!-- \xE9t\xE9 --></a>",  // Latin-1 in a comment
      "<a>x</a>\xF0",               // cut at the very end
      "<a>\xED\xA0\x80</a>",        // encoded surrogate
  };
  for (const char* xml : documents) {
    try {
      Parse(xml);
      ADD_FAILURE() << "no exception for " << xml;
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ("Invalid characters detected.", e.what()) << xml;
    }
  }
}

TEST(XmlEncoding, LongNamesAndTextsPassTheScratchBuffer) {
  const std::string longName(700, 'n');
  std::string longText;
  for (int i = 0; i < 2000; ++i) longText += "\xC5\x81";
  const std::string xml = "<" + longName + " v=\"" + longText + "\">" + longText + "<" + longName + "." + longName +
                          ">" + longText + "</" + longName + "." + longName + "></" + longName + ">";
  XmlNodePtr root = Parse(xml);
  ASSERT_TRUE(root);
  const std::wstring expected(2000, L'\u0141');
  EXPECT_EQ(std::wstring(longName.begin(), longName.end()), root->Name());
  std::wstring value;
  ASSERT_TRUE(root->GetProperty(L"v", value));
  EXPECT_EQ(expected, value);
  ASSERT_TRUE(root->GetProperty(L"Value", value));
  EXPECT_EQ(expected, value);
  ASSERT_TRUE(root->GetProperty(std::wstring(longName.begin(), longName.end()), value)) << "prefix taken off";
  EXPECT_EQ(expected, value);
}

TEST(XmlLimits, SizeAndDepthAreCheckedBeforeParsing) {
  auto nested = [](int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<e>";
    for (int i = 0; i < depth; ++i) xml += "</e>";
    return xml;
  };
  auto kindOf = [](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const XmlException& e) {
      return e.what();
    }
    return "none";
  };
  EXPECT_EQ("none", kindOf([&] { EXPECT_TRUE(Parse(nested(kMaxXmlNestingDepth))); }));
  EXPECT_EQ("Exception.Runtime.Xml.NestingTooDeep", kindOf([&] { Parse(nested(kMaxXmlNestingDepth + 1)); }));
  // Far too deep for any stack, and never closed.
  std::string open;
  for (int i = 0; i < 500000; ++i) open += "<a>";
  EXPECT_EQ("Exception.Runtime.Xml.NestingTooDeep", kindOf([&] { Parse(open); }));

  std::string attributes;
  for (int i = 0; i < kMaxXmlAttributesPerElement; ++i) attributes += " a" + std::to_string(i) + "=\"\"";
  EXPECT_EQ("none", kindOf([&] { EXPECT_TRUE(Parse("<r><e" + attributes + "/></r>")); }));
  EXPECT_EQ("Exception.Runtime.Xml.TooManyAttributes", kindOf([&] { Parse("<r><e" + attributes + " z=\"\"/></r>"); }));

  std::string big = "<a>" + std::string(kMaxXmlDocumentBytes, ' ') + "</a>";
  EXPECT_EQ("Exception.Runtime.Xml.DocumentTooLarge", kindOf([&] { Parse(big); }));
  big.resize(kMaxXmlDocumentBytes - 4);
  big += "</a>";
  EXPECT_EQ("none", kindOf([&] { EXPECT_TRUE(Parse(big)); }));
}

// The deepest element nesting of a parsed TinyXML document.
static int DomDepth(const TiXmlNode* node) {
  int deepest = 0;
  for (const TiXmlElement* e = node->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    const int d = 1 + DomDepth(e);
    if (d > deepest) deepest = d;
  }
  return deepest;
}

TEST(XmlLimits, DepthWalkNeverSeesLessThanTinyXml) {
  // Constructs where TinyXML steps over text that looks like markup: numeric references run
  // to the next ';', declarations end at the first '>' outside their known values, unknown
  // tags end at the first '>', and a broken end tag stops everything.
  const char* documents[] = {
      "<a><b>&#x</b></a>x41;<c><d><e/></d></c></b></a>",
      "<a><b>&#</b></a>#65;<c><d><e/></d></c></b></a>",
      "<a q=\"&#x\"></a>x41;\"><c><d/></c></a>",
      "<a><?xml version=\"></a></a>\"?><b><c/></b></a>",
      "<a><?xml foo=\"></a>\"?><b><c/></b></a>",
      "<a><!DOCTYPE x \"></a>\"><b><c/></b></a>",
      "<a><?pi ></a> ?><b><c/></b></a>",
      "<a><![CDATA[</a>]]><b><c/></b></a>",
      "<a><!-- </a> --><b><c/></b></a>",
      "<a b=x/><c><d/></c>",
      "<a b='/>'><c><d/></c></a>",
      "<a>/></a><b><c><d/></c></b>",
      "<\x7F><b><c/></b></\x7F>",
      "<a ><b\t><c\n/></b ></a >",
      "<a></a ><b><c/></b>",
      "\xEF\xBB\xBF<a>\xEF\xBF\xBF<b><c/></b></a>",
  };
  for (const char* xml : documents) {
    TiXmlDocument doc;
    doc.Parse(xml, nullptr, TIXML_ENCODING_UTF8);
    const int dom = DomDepth(&doc);
    const int walked = MeasureXmlNestingDepth(xml, 1000);
    EXPECT_GE(walked, dom) << xml << (doc.Error() ? " (TinyXML error)" : "");
  }
}
