// XmlObjectReader's strict navigation, its exceptions and the reader registry.
#include "XmlObjectReader.h"
#include "XmlTestUtil.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The key of the XmlObjectException that f throws ("" when none), with its node and property.
struct ObjectError {
  std::string message;
  XmlNodePtr node;
  std::wstring property;
};

ObjectError ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const XmlObjectException& e) {
    return {e.what(), e.Node(), e.PropertyName()};
  }
  return {};
}

}  // namespace

TEST(XmlReader, PropertiesAreReadOncePerVisit) {
  XmlNodePtr root = Parse("<r><g id=\"3\"><label>Voices</label></g></r>");
  ASSERT_TRUE(root);
  XmlObjectReader reader(root);
  reader.EnterChild(L"g");
  EXPECT_EQ(L"Voices", reader.ReadRequiredProperty(L"label"));

  ObjectError twice = ErrorOf([&] { reader.ReadRequiredProperty(L"label"); });
  EXPECT_EQ("Exception.Runtime.Xml.Object.PropertyReadTwice", twice.message);
  EXPECT_EQ(L"g", twice.node ? twice.node->Name() : L"(null)");
  EXPECT_EQ(L"label", twice.property);
  std::wstring value;
  EXPECT_EQ("Exception.Runtime.Xml.Object.PropertyReadTwice",
            ErrorOf([&] { reader.TryReadProperty(L"label", value); }).message);
  EXPECT_EQ("Exception.Runtime.Xml.Object.PropertyReadTwice",
            ErrorOf([&] { reader.ReadProperty(L"label", L"x"); }).message);

  // Absent optional properties are not recorded, so asking again is fine.
  EXPECT_FALSE(reader.TryReadProperty(L"missing", value));
  EXPECT_EQ(L"dflt", reader.ReadProperty(L"missing", L"dflt"));
  EXPECT_EQ(L"3", reader.ReadProperty(L"id", L"-1"));

  ObjectError absent = ErrorOf([&] { reader.ReadRequiredProperty(L"nothing"); });
  EXPECT_EQ("Exception.Runtime.Xml.Object.PropertyNotFound", absent.message);
  EXPECT_EQ(L"g", absent.node ? absent.node->Name() : L"(null)");
  EXPECT_EQ(L"nothing", absent.property);

  // A fresh visit may read everything again.
  reader.LeaveChild();
  EXPECT_FALSE(reader.TryEnterChild(L"g")) << "g was entered in this visit of r";
  XmlObjectReader again(root);
  again.EnterChild(L"g");
  EXPECT_EQ(L"Voices", again.ReadRequiredProperty(L"label"));
}

TEST(XmlReader, ChildrenByNameInAnyOrderOncePerVisit) {
  XmlNodePtr root = Parse("<r><a/><b/><c/><b k=\"2\"/></r>");
  ASSERT_TRUE(root);
  XmlObjectReader reader(root);
  EXPECT_EQ(L"r", reader.CurrentName());

  ASSERT_TRUE(reader.TryEnterChild(L"b"));
  EXPECT_EQ(L"b", reader.CurrentName());
  EXPECT_EQ(L"", reader.ReadProperty(L"k", L"")) << "the first b";
  reader.LeaveChild();
  ASSERT_TRUE(reader.TryEnterChild(L"c"));
  reader.LeaveChild();
  ASSERT_TRUE(reader.TryEnterChild(L"b"));
  EXPECT_EQ(L"2", reader.ReadProperty(L"k", L"")) << "the second b";
  reader.LeaveChild();
  EXPECT_FALSE(reader.TryEnterChild(L"b")) << "each child once per visit";
  EXPECT_FALSE(reader.TryEnterChild(L"B")) << "names are case-sensitive";
  EXPECT_EQ(L"r", reader.CurrentName());

  // Only a was not entered yet.
  ASSERT_TRUE(reader.EnterNextChild());
  EXPECT_EQ(L"a", reader.CurrentName());
  reader.LeaveChild();
  EXPECT_FALSE(reader.EnterNextChild());

  ObjectError missing = ErrorOf([&] { reader.EnterChild(L"a"); });
  EXPECT_EQ("Exception.Runtime.Xml.Object.ChildEnterFailure", missing.message);
  EXPECT_EQ(L"r", missing.node ? missing.node->Name() : L"(null)");
  EXPECT_EQ(L"", missing.property);
}

TEST(XmlReader, EnterNextChildVisitsTheRestInDocumentOrder) {
  XmlNodePtr root = Parse("<r><a/><b/><c/><d/><e/></r>");
  ASSERT_TRUE(root);
  XmlObjectReader reader(root);
  ASSERT_TRUE(reader.TryEnterChild(L"d"));
  reader.LeaveChild();
  ASSERT_TRUE(reader.TryEnterChild(L"a"));
  reader.LeaveChild();
  std::wstring order;
  while (reader.EnterNextChild()) {
    order += reader.CurrentName();
    reader.LeaveChild();
  }
  EXPECT_EQ(L"bce", order);
  EXPECT_EQ(5, reader.CurrentFrame()->nextChild);
}

TEST(XmlReader, LeavingWithNoFrame) {
  XmlNodePtr root = Parse("<r p=\"1\"><c/></r>");
  ASSERT_TRUE(root);
  XmlObjectReader reader(root);
  reader.LeaveChild();
  EXPECT_EQ(nullptr, reader.CurrentFrame());
  reader.LeaveChild();  // nothing to leave: nothing happens
  EXPECT_EQ(0u, reader.Depth());

  for (const std::function<void()>& step : std::initializer_list<std::function<void()>>{
           [&] { reader.ReadRequiredProperty(L"p"); },
           [&] { reader.ReadProperty(L"p", L""); },
           [&] { reader.TryEnterChild(L"c"); },
           [&] { reader.EnterNextChild(); },
           [&] { reader.CurrentName(); },
       }) {
    ObjectError e = ErrorOf(step);
    EXPECT_EQ("Exception.Runtime.Xml.Object.NoCurrentNode", e.message);
    EXPECT_FALSE(e.node);
  }
  ObjectError thrown = ErrorOf([&] { reader.ThrowObjectError("Custom", L"name"); });
  EXPECT_EQ("Exception.Runtime.Xml.Object.Custom", thrown.message);
  EXPECT_FALSE(thrown.node);
  EXPECT_EQ(L"name", thrown.property);
}

TEST(XmlReader, ExceptionsHoldTheirNode) {
  XmlNodePtr root = Parse("<r/>");
  ASSERT_TRUE(root);
  const std::int32_t before = root->UseCount();
  try {
    XmlObjectReader reader(root);
    reader.ReadRequiredProperty(L"x");
    FAIL() << "no exception";
  } catch (const XmlObjectException& e) {
    EXPECT_EQ(root, e.Node());
    EXPECT_EQ(before + 1, root->UseCount()) << "the reader's frames are gone, the exception's reference stays";
    XmlObjectException copy = e;
    EXPECT_EQ(before + 2, root->UseCount());
    EXPECT_STREQ(e.what(), copy.what());
    EXPECT_EQ(L"x", copy.PropertyName());
  }
  EXPECT_EQ(before, root->UseCount());
  try {
    XmlObjectReader reader{XmlNodePtr()};
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("error while parsing xml.", e.what());
  }
}

TEST(XmlReader, TypedValuesFromText) {
  struct Case {
    const wchar_t* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {L"42", 42},
      {L"-7", -7},
      {L"+5", 5},
      {L"12abc", 12},
      {L"abc", 0},
      {L"", 0},
      {L"  3", 3},
      {L"-", 0},
      {L"2147483647", 2147483647},
      {L"99999999999", 2147483647},
      {L"-99999999999", -2147483647 - 1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, XmlTextToInt(c.text)) << ToUtf8(c.text);
  EXPECT_TRUE(XmlTextToBool(L"2"));
  EXPECT_FALSE(XmlTextToBool(L"yes"));
  EXPECT_FALSE(XmlTextToBool(L"0"));
}

namespace {

int g_calls = 0;
void* g_context = nullptr;

XmlObjectPtr ReadTestRoot(XmlObjectReader& reader, void* context) {
  ++g_calls;
  g_context = context;
  return XmlObjectPtr(new std::wstring(reader.ReadRequiredProperty(L"v")));
}

XmlObjectPtr OtherReader(XmlObjectReader&, void*) { return XmlObjectPtr(new int(0)); }

}  // namespace

TEST(XmlDispatch, ByRootElementName) {
  EXPECT_TRUE(RegisterXmlObjectReader(L"testroot", &ReadTestRoot));
  EXPECT_FALSE(RegisterXmlObjectReader(L"testroot", &OtherReader)) << "the first registration stays";

  int context = 0;
  XmlNodePtr root = Parse("<testroot v=\"ok\"/>");
  ASSERT_TRUE(root);
  XmlObjectPtr result = ReadXmlObject(root, &context);
  ASSERT_TRUE(result);
  EXPECT_EQ(L"ok", *boost::static_pointer_cast<std::wstring>(result));
  EXPECT_EQ(1, g_calls);
  EXPECT_EQ(&context, g_context);

  // A reader that throws leaves nothing behind.
  XmlNodePtr bad = Parse("<testroot w=\"x\"><c/></testroot>");
  ASSERT_TRUE(bad);
  EXPECT_EQ("Exception.Runtime.Xml.Object.PropertyNotFound", ErrorOf([&] { ReadXmlObject(bad, nullptr); }).message);
  EXPECT_EQ(1, bad->UseCount());

  XmlNodePtr unknown = Parse("<elsewhere/>");
  ASSERT_TRUE(unknown);
  try {
    ReadXmlObject(unknown, nullptr);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("XML object reader not found.", e.what());
  }

  // A parse failure gives no root, which the reader refuses.
  XmlNodePtr none = Parse("<testroot>");
  EXPECT_FALSE(none);
  try {
    ReadXmlObject(none, nullptr);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ("error while parsing xml.", e.what());
  }
  GetXmlObjectReaderRegistry().erase(L"testroot");
}

TEST(XmlReader, ManyChildrenByNameKeepDocumentOrderRules) {
  // 120 children: g0 x0 g1 x1 ...; enough for the reader to look names up in an index.
  std::string xml = "<r>";
  for (int i = 0; i < 60; ++i) xml += "<g n=\"" + std::to_string(i) + "\"/><x n=\"" + std::to_string(i) + "\"/>";
  xml += "</r>";
  XmlNodePtr root = Parse(xml);
  ASSERT_TRUE(root);
  XmlObjectReader reader(root);

  // Take two x's by name, then one child in document order, then g's by name.
  ASSERT_TRUE(reader.TryEnterChild(L"x"));
  EXPECT_EQ(L"0", reader.ReadProperty(L"n", L""));
  reader.LeaveChild();
  ASSERT_TRUE(reader.TryEnterChild(L"x"));
  EXPECT_EQ(L"1", reader.ReadProperty(L"n", L""));
  reader.LeaveChild();
  ASSERT_TRUE(reader.EnterNextChild());
  EXPECT_EQ(L"g", reader.CurrentName());
  EXPECT_EQ(L"0", reader.ReadProperty(L"n", L""));
  reader.LeaveChild();
  ASSERT_TRUE(reader.EnterNextChild());
  EXPECT_EQ(L"g", reader.CurrentName()) << "x0 and x1 were entered already";
  EXPECT_EQ(L"1", reader.ReadProperty(L"n", L""));
  reader.LeaveChild();
  int gs = 0;
  while (reader.TryEnterChild(L"g")) {
    EXPECT_EQ(std::to_wstring(gs + 2), reader.ReadProperty(L"n", L""));
    reader.LeaveChild();
    ++gs;
  }
  EXPECT_EQ(58, gs);
  int xs = 0;
  while (reader.EnterNextChild()) {
    EXPECT_EQ(L"x", reader.CurrentName());
    EXPECT_EQ(std::to_wstring(xs + 2), reader.ReadProperty(L"n", L""));
    reader.LeaveChild();
    ++xs;
  }
  EXPECT_EQ(58, xs);
  EXPECT_FALSE(reader.TryEnterChild(L"x"));
}

TEST(XmlReader, TakingValuesEmptiesWhatItLeavesButNotWhatOthersHold) {
  XmlNodePtr root = Parse("<r><g><p>1</p><q><x>2</x></q></g><h><p>3</p></h><k><p>4</p></k></r>");
  ASSERT_TRUE(root);
  const XmlNodePtr kept = root->Children()[1];  // h, held by this test as well
  XmlObjectReader reader(root, XmlObjectReader::Values::Take);
  reader.EnterChild(L"g");
  EXPECT_EQ(L"1", reader.ReadRequiredProperty(L"p"));
  reader.EnterChild(L"q");
  EXPECT_EQ(L"2", reader.ReadRequiredProperty(L"x"));
  reader.LeaveChild();
  ObjectError missing = ErrorOf([&] { reader.ReadRequiredProperty(L"nothing"); });
  EXPECT_EQ(L"g", missing.node ? missing.node->Name() : L"(null)");
  missing.node.reset();  // an exception kept would keep g whole
  reader.LeaveChild();
  reader.EnterChild(L"h");
  EXPECT_EQ(L"3", reader.ReadRequiredProperty(L"p"));
  reader.LeaveChild();
  reader.EnterChild(L"k");  // not left: an error inside it still finds everything
  ObjectError inside = ErrorOf([&] { reader.EnterChild(L"none"); });
  EXPECT_EQ(L"k", inside.node ? inside.node->Name() : L"(null)");
  EXPECT_EQ(L"4", reader.ReadRequiredProperty(L"p"));

  // Left nodes that only the tree held are emptied (their memory is gone with the reading);
  // the one held elsewhere keeps its shape, its value taken.
  EXPECT_EQ("r{}[g{}[],h{p=}[],k{p=}[]]", Dump(root));
  EXPECT_EQ("h{p=}[]", Dump(kept));
}
