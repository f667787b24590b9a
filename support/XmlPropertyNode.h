// An XML document as a tree of named nodes with text properties.
//
// ParseXml parses UTF-8 text with TinyXML and translates its first element: an element becomes
// a node; its attributes, and its child elements that hold only text, become named properties;
// an element's own text becomes the property "Value" when it also has attributes or children.
#pragma once

#include "MemoryView.h"
#include "RefCounted.h"

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>
#include <utility>
#include <stdexcept>
#include <string>
#include <vector>

class TiXmlElement;
class XmlPropertyNode;

// The property that holds an element's own text next to its attributes or children: "Value".
extern const std::wstring kXmlTextProperty;

using XmlNodePtr = boost::intrusive_ptr<XmlPropertyNode>;

// Nodes come from one process-wide pool of fixed-size blocks (guarded by its own lock).
class XmlPropertyNode final : public RefCounted {
 public:
  // Name -> value, ordered by name, names unique. A node has a handful of properties, so a
  // sorted array serves better than a tree (one allocation per node instead of one per entry).
  using Property = std::pair<std::wstring, std::wstring>;
  using PropertyMap = std::vector<Property>;

  explicit XmlPropertyNode(std::wstring name) : m_name(std::move(name)) {}
  ~XmlPropertyNode() override;

  const std::wstring& Name() const { return m_name; }
  // Not a reference: a subtree kept alone keeps a stale parent pointer that nothing follows.
  XmlPropertyNode* Parent() const { return m_parent; }
  const PropertyMap& Properties() const { return m_properties; }
  const std::vector<XmlNodePtr>& Children() const { return m_children; }

  // False, and nothing changed, when the name exists.
  bool AddProperty(const std::wstring& name, const std::wstring& value);
  bool AddProperty(std::wstring&& name, std::wstring&& value);
  bool GetProperty(const std::wstring& name, std::wstring& value) const;
  // The entry of that name, or null. Entries stay where they are once the tree is built.
  const Property* FindProperty(const std::wstring& name) const;
  void ReserveProperties(std::size_t count) { m_properties.reserve(count); }
  // The value, or throws XmlObjectException "PropertyNotFound" with this node and the name.
  const std::wstring& GetRequiredProperty(const std::wstring& name) const;

  void AppendChild(const XmlNodePtr& child);
  // Drops every property and child (children held nowhere else go with their subtrees).
  void ReleaseContents();
  void ReserveChildren(std::size_t count) { m_children.reserve(count); }

  static void* operator new(std::size_t size);
  static void operator delete(void* block, std::size_t size) noexcept;

 private:
  static void DetachHeldChildren(const std::vector<XmlNodePtr>& children);

  XmlPropertyNode* m_parent = nullptr;
  std::wstring m_name;
  PropertyMap m_properties;
  std::vector<XmlNodePtr> m_children;
};

// The outcome of a translation, for callers that want to know why it failed.
struct XmlParseResult {
  bool ok = true;
  std::wstring message;      // empty, "PropertyNotUnique" or "RootToPropertyTranslationImpossible"
  std::int32_t row = -1;     // from 1 on failure
  std::int32_t column = -1;  // from 1 on failure
};

using XmlParseResultPtr = boost::shared_ptr<XmlParseResult>;

// Documents beyond these limits are refused before TinyXML sees them (XmlException with the
// kinds "DocumentTooLarge" and "NestingTooDeep"); both parsing and translation recurse per
// level of nesting, and the text comes from the network.
// TinyXML also compares each attribute with every earlier one of its element, so the number of
// attributes on one element is bounded too ("TooManyAttributes").
constexpr std::int32_t kMaxXmlDocumentBytes = 16 * 1024 * 1024;
constexpr int kMaxXmlNestingDepth = 128;
constexpr int kMaxXmlAttributesPerElement = 256;

// Parses UTF-8 XML text and translates its first element. Null for unparsable text, a document
// without an element, a repeated property name or a root that is a bare text element.
// Throws std::runtime_error "Invalid characters detected." for text that is not UTF-8, and
// XmlException for a document beyond the limits above.
XmlNodePtr ParseXml(const MemoryView& text);

// Translates one element and, recursively, its child elements. With a null parent the new node
// becomes the root and is stored in parent. The scratch buffer serves name and text conversion.
bool TranslateXmlElement(XmlNodePtr& parent, const TiXmlElement* element, XmlParseResultPtr* result, void* scratch,
                         std::size_t scratchBytes);
// As TranslateXmlElement without a result place, for a caller that owns the element's document
// and gives it up: each child element is deleted from it once translated (ParseXml's way; the
// document is then freed faster and the read needs less fresh memory).
bool TranslateXmlElementReleasing(XmlNodePtr& parent, TiXmlElement* element, void* scratch, std::size_t scratchBytes);

// What TinyXML would meet in the text (up to its first zero byte): the deepest element nesting
// and the most attributes on one element. The walk stops as soon as either passes its limit.
// The text must be valid UTF-8.
struct XmlPrescanResult {
  int depth = 0;
  int attributes = 0;
};
XmlPrescanResult PrescanXml(const char* text, int depthLimit, int attributeLimit);
int MeasureXmlNestingDepth(const char* text, int limit);

// Strict UTF-8 (no overlong forms, surrogates or values above U+10FFFF), as the system's
// UTF-8 conversion accepts it.
bool IsValidUtf8(const char* text, std::size_t length);
