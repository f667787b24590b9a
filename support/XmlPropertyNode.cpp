#include "XmlPropertyNode.h"

#include "TextConversion.h"
#include "XmlExceptions.h"

#include <tinyxml.h>

#include <windows.h>

#include <boost/pool/pool.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

const char* const kXmlPropertyNotFound = "PropertyNotFound";
const char* const kXmlPropertyReadTwice = "PropertyReadTwice";
const char* const kXmlChildEnterFailure = "ChildEnterFailure";
const char* const kXmlNoCurrentNode = "NoCurrentNode";
const char* const kXmlDocumentTooLarge = "DocumentTooLarge";
const char* const kXmlNestingTooDeep = "NestingTooDeep";
const char* const kXmlTooManyAttributes = "TooManyAttributes";
const std::wstring kXmlTextProperty = L"Value";

namespace {

// The node pool lives until process exit and is never destroyed, so a node released by a
// static destructor still finds it.
struct NodePool {
  // Taken twice per node, tens of thousands of times per catalogue, and practically never
  // contended: a critical section costs one interlocked operation each way then.
  NodePool() { InitializeCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  boost::pool<> blocks{sizeof(XmlPropertyNode), 256};
};

class PoolGuard {
 public:
  explicit PoolGuard(NodePool& pool) : m_pool(pool) { EnterCriticalSection(&m_pool.lock); }
  ~PoolGuard() { LeaveCriticalSection(&m_pool.lock); }
  PoolGuard(const PoolGuard&) = delete;
  PoolGuard& operator=(const PoolGuard&) = delete;

 private:
  NodePool& m_pool;
};

NodePool& Pool() {
  static NodePool* pool = new NodePool;
  return *pool;
}

const std::size_t kScratchBytes = 1024;

// The length up to the first zero byte, at most maxLength; eight bytes at a time, since a
// whole document is measured.
std::size_t TextLength(const char* text, std::size_t maxLength) {
  std::size_t i = 0;
  for (; maxLength - i >= 8; i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text + i, sizeof word);
    if (((word - 0x0101010101010101ull) & ~word & 0x8080808080808080ull) != 0) break;
  }
  while (i < maxLength && text[i] != '\0') ++i;
  return i;
}

bool MakeFailure(XmlParseResultPtr* result, const char* message, const TiXmlBase& where) {
  if (result != nullptr) {
    XmlParseResultPtr failure(new XmlParseResult);
    failure->ok = false;
    failure->message = Utf8ToWide(message);
    // TinyXML's Row() and Column() already count from 1.
    failure->row = where.Row();
    failure->column = where.Column();
    *result = failure;
  }
  return false;
}

// An element with text and nothing else becomes a property of its parent.
bool IsLeaf(const TiXmlElement& element) {
  if (element.FirstAttribute() != nullptr || element.FirstChildElement() != nullptr) return false;
  const TiXmlNode* first = element.FirstChild();
  const TiXmlText* text = first != nullptr ? first->ToText() : nullptr;
  return text != nullptr && !text->ValueStr().empty();
}

// Translates one element and its element children. With `consumed`, the caller owns the
// parser's tree and gives it up: each child element is deleted from it as soon as it has been
// translated, so the node tree grows into the blocks that the parser's tree frees instead of
// into fresh memory (the read's peak stays near the parser's own, and fresh pages are what the
// heap pays for most). Without it the parser's tree is left as it is.
bool Translate(XmlNodePtr& parent, const TiXmlElement* element, TiXmlElement* consumed, XmlParseResultPtr* result,
               void* scratch, std::size_t scratchBytes, int depth, bool leaf) {
  if (depth > kMaxXmlNestingDepth) throw XmlException(kXmlNestingTooDeep);

  std::wstring name = Utf8ToWide(element->ValueStr(), scratch, scratchBytes);
  std::wstring text;
  if (const TiXmlNode* first = element->FirstChild()) {
    if (const TiXmlText* t = first->ToText()) text = Utf8ToWide(t->ValueStr(), scratch, scratchBytes);
  }

  if (leaf) {
    if (!parent) return MakeFailure(result, "RootToPropertyTranslationImpossible", *element);
    const std::wstring& parentName = parent->Name();
    if (name.size() > parentName.size() && name.compare(0, parentName.size(), parentName) == 0 &&
        name[parentName.size()] == L'.')
      name.erase(0, parentName.size() + 1);
    if (!parent->AddProperty(std::move(name), std::move(text)))
      return MakeFailure(result, "PropertyNotUnique", *element);
    return true;
  }

  XmlNodePtr node(new XmlPropertyNode(std::move(name)));
  if (parent)
    parent->AppendChild(node);
  else
    parent = node;

  // Room for every attribute, every leaf child and "Value"; the other children become nodes.
  // Nothing is reserved where nothing will come: most nodes of a catalogue have no properties
  // or no child nodes, and each reservation is an allocation.
  // The first 64 children's kinds are kept, so that each is judged once.
  const std::size_t kKept = 64;
  std::uint64_t leafBits = 0;
  std::size_t attributes = 0, leaves = 0, children = 0;
  for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next()) ++attributes;
  for (const TiXmlElement* c = element->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
    if (IsLeaf(*c)) {
      ++leaves;
      if (children < kKept) leafBits |= std::uint64_t{1} << children;
    }
    ++children;
  }
  const std::size_t properties = attributes + leaves + (text.empty() ? 0 : 1);
  if (properties > 0) node->ReserveProperties(properties);
  if (children > leaves) node->ReserveChildren(children - leaves);

  if (!text.empty()) node->AddProperty(std::wstring(kXmlTextProperty), std::move(text));

  for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next()) {
    std::wstring attrName = Utf8ToWide(a->NameTStr(), scratch, scratchBytes);
    std::wstring attrValue = Utf8ToWide(a->ValueStr(), scratch, scratchBytes);
    if (!node->AddProperty(std::move(attrName), std::move(attrValue)))
      return MakeFailure(result, "PropertyNotUnique", *a);
  }

  const TiXmlElement* child = element->FirstChildElement();
  for (std::size_t index = 0; child != nullptr; ++index) {
    const TiXmlElement* next = child->NextSiblingElement();
    TiXmlElement* owned = consumed != nullptr ? const_cast<TiXmlElement*>(child) : nullptr;
    const bool leaf = index < kKept ? ((leafBits >> index) & 1) != 0 : IsLeaf(*child);
    if (!Translate(node, child, owned, result, scratch, scratchBytes, depth + 1, leaf)) return false;
    if (consumed != nullptr) consumed->RemoveChild(owned);  // deletes the child's subtree
    child = next;
  }

  if (result != nullptr) *result = XmlParseResultPtr(new XmlParseResult);
  return true;
}

}  // namespace

XmlPropertyNode::~XmlPropertyNode() { DetachHeldChildren(m_children); }

void XmlPropertyNode::DetachHeldChildren(const std::vector<XmlNodePtr>& children) {
  // Children outlive their parent's hold only when someone else holds them; they must not
  // follow a pointer to a parent that is gone.
  for (const XmlNodePtr& child : children) {
    if (child->UseCount() > 1) child->m_parent = nullptr;
  }
}

void* XmlPropertyNode::operator new(std::size_t size) {
  if (size != sizeof(XmlPropertyNode)) return ::operator new(size);
  NodePool& pool = Pool();
  void* block;
  {
    PoolGuard guard(pool);
    block = pool.blocks.malloc();
  }
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void XmlPropertyNode::operator delete(void* block, std::size_t size) noexcept {
  if (block == nullptr) return;
  if (size != sizeof(XmlPropertyNode)) {
    ::operator delete(block);
    return;
  }
  NodePool& pool = Pool();
  PoolGuard guard(pool);
  pool.blocks.free(block);
}

namespace {

// Names are compared here, inline, in every read and every insert: the library's comparison
// calls out to the C runtime for each pair, which costs more than the few characters compared.
// The order is the same (UTF-16 code units, then length).
int CompareNames(const std::wstring& a, const std::wstring& b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  const wchar_t* pa = a.data();
  const wchar_t* pb = b.data();
  for (std::size_t i = 0; i < n; ++i) {
    if (pa[i] != pb[i]) return pa[i] < pb[i] ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameName(const std::wstring& a, const std::wstring& b) { return a.size() == b.size() && CompareNames(a, b) == 0; }

// The first entry not ordered before name.
XmlPropertyNode::PropertyMap::const_iterator LowerBound(const XmlPropertyNode::PropertyMap& properties,
                                                        const std::wstring& name) {
  return std::lower_bound(
      properties.begin(), properties.end(), name,
      [](const XmlPropertyNode::Property& p, const std::wstring& n) { return CompareNames(p.first, n) < 0; });
}

}  // namespace

bool XmlPropertyNode::AddProperty(const std::wstring& name, const std::wstring& value) {
  return AddProperty(std::wstring(name), std::wstring(value));
}

bool XmlPropertyNode::AddProperty(std::wstring&& name, std::wstring&& value) {
  // Properties mostly arrive in order (attributes and leaves as written): try the end first.
  if (!m_properties.empty()) {
    const int last = CompareNames(m_properties.back().first, name);
    if (last == 0) return false;
    if (last < 0) {
      m_properties.emplace_back(std::move(name), std::move(value));
      return true;
    }
  }
  auto at = LowerBound(m_properties, name);
  if (at != m_properties.end() && SameName(at->first, name)) return false;
  m_properties.emplace(at, std::move(name), std::move(value));
  return true;
}

const XmlPropertyNode::Property* XmlPropertyNode::FindProperty(const std::wstring& name) const {
  auto at = LowerBound(m_properties, name);
  if (at == m_properties.end() || !SameName(at->first, name)) return nullptr;
  return &*at;
}

bool XmlPropertyNode::GetProperty(const std::wstring& name, std::wstring& value) const {
  const Property* p = FindProperty(name);
  if (p == nullptr) return false;
  value = p->second;
  return true;
}

const std::wstring& XmlPropertyNode::GetRequiredProperty(const std::wstring& name) const {
  const Property* p = FindProperty(name);
  if (p == nullptr)
    throw XmlObjectException(kXmlPropertyNotFound, XmlNodePtr(const_cast<XmlPropertyNode*>(this)), name);
  return p->second;
}

void XmlPropertyNode::ReleaseContents() {
  PropertyMap().swap(m_properties);
  std::vector<XmlNodePtr> children;
  children.swap(m_children);
  DetachHeldChildren(children);
}

void XmlPropertyNode::AppendChild(const XmlNodePtr& child) {
  m_children.push_back(child);
  child->m_parent = this;
}

bool TranslateXmlElement(XmlNodePtr& parent, const TiXmlElement* element, XmlParseResultPtr* result, void* scratch,
                         std::size_t scratchBytes) {
  return Translate(parent, element, nullptr, result, scratch, scratchBytes, 1, IsLeaf(*element));
}

bool TranslateXmlElementReleasing(XmlNodePtr& parent, TiXmlElement* element, void* scratch, std::size_t scratchBytes) {
  return Translate(parent, element, element, nullptr, scratch, scratchBytes, 1, IsLeaf(*element));
}

XmlNodePtr ParseXml(const MemoryView& view) {
  if (view.Length() > kMaxXmlDocumentBytes) throw XmlException(kXmlDocumentTooLarge);

  // TinyXML reads up to the first zero byte; everything after it is not part of the text.
  // Bytes that end in a zero are parsed where they lie; others are copied to get one.
  std::string copy;
  const char* text;
  std::size_t length;
  if (view.IsZeroTerminated()) {
    text = view.Chars();
    length = TextLength(text, static_cast<std::size_t>(view.Length()));
  } else {
    copy = WideToAnsi(view, TEXT_ENCODING_RAW);
    copy.resize(TextLength(copy.c_str(), copy.size()));
    text = copy.c_str();
    length = copy.size();
  }

  // TinyXML steps over multi-byte sequences by their lead byte alone, so a broken
  // sequence could make it skip markup or read past the end: check them first.
  if (!IsValidUtf8(text, length)) throw std::runtime_error(kInvalidCharactersDetected);
  const XmlPrescanResult shape = PrescanXml(text, kMaxXmlNestingDepth, kMaxXmlAttributesPerElement);
  if (shape.depth > kMaxXmlNestingDepth) throw XmlException(kXmlNestingTooDeep);
  if (shape.attributes > kMaxXmlAttributesPerElement) throw XmlException(kXmlTooManyAttributes);

  // The catalogue is UTF-8 whether or not it says so: with any other setting TinyXML stores
  // a numeric character reference as one truncated byte.
  // Rows and columns serve only a translation that reports where it failed, which this one
  // does not: without them TinyXML does not recount lines and columns at every node.
  TiXmlDocument document;
  document.SetTabSize(0);
  document.Parse(text, nullptr, TIXML_ENCODING_UTF8);
  if (document.Error()) return XmlNodePtr();

  TiXmlElement* root = document.FirstChildElement();
  if (root == nullptr) return XmlNodePtr();

  // The document is ours alone: the translation takes it apart as it goes.
  char scratch[kScratchBytes];
  XmlNodePtr node;
  if (!TranslateXmlElementReleasing(node, root, scratch, sizeof(scratch))) return XmlNodePtr();
  return node;
}
