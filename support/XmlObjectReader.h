// Strict reading of typed objects from an XmlPropertyNode tree.
//
// The reader keeps a stack of frames, one per node entered. In one visit of a node each property
// may be read once, and each child entered once; children may be entered by name in any order.
// Missing required properties or children raise XmlObjectException. Readers of whole documents
// are registered by the root element's name.
#pragma once

#include "XmlExceptions.h"
#include "XmlPropertyNode.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

// One visit of one node.
class XmlReaderFrame : public RefCounted {
 public:
  explicit XmlReaderFrame(XmlNodePtr node) { Reset(std::move(node)); }

  // Starts a fresh visit of a node (frames are reused by their reader).
  void Reset(XmlNodePtr visited);

  // Whether the property of that name was read in this visit.
  bool WasRead(const std::wstring& name) const;

  XmlNodePtr node;
  // The names read in this visit, as the node's own property keys (only present properties
  // are recorded): a handful per node, so a flat list beats a set of copied names.
  std::vector<const std::wstring*> namesRead;
  std::vector<bool> entered;
  std::int32_t nextChild = 0;  // every child below it has been entered

  // For nodes with many children: each name's children in document order and how many of
  // them are known to be entered, so looking children up by name stays linear overall.
  struct NameCursor {
    std::vector<std::int32_t> indices;
    std::size_t skipped = 0;
  };
  std::unique_ptr<std::map<std::wstring, NameCursor>> byName;
};

using XmlReaderFramePtr = boost::intrusive_ptr<XmlReaderFrame>;

class XmlObjectReader {
 public:
  // What a read does with a property's text: copies it, or moves it out of the tree when the
  // caller gives the tree up (each property is read at most once, so nothing reads it again).
  // Taking also empties each node the reading leaves, unless something besides the tree and
  // the reader holds it: its properties and children are dropped, not visited again.
  enum class Values { Copy, Take };

  // Positions the reader on the root. A null root throws std::runtime_error "error while parsing xml.".
  explicit XmlObjectReader(const XmlNodePtr& root, Values values = Values::Copy);

  // Null once every frame has been left.
  XmlReaderFrame* CurrentFrame() const { return m_frames.empty() ? nullptr : m_frames.back().get(); }
  const std::wstring& CurrentName() const;
  std::size_t Depth() const { return m_frames.size(); }

  // False when absent (the name is then not recorded); "PropertyReadTwice" when read before in this visit.
  bool TryReadProperty(const std::wstring& name, std::wstring& value);
  std::wstring ReadProperty(const std::wstring& name, const std::wstring& defaultValue);
  std::wstring ReadRequiredProperty(const std::wstring& name);

  // Enters the first child of that name not yet entered in this visit.
  bool TryEnterChild(const std::wstring& name);
  // As TryEnterChild; throws "ChildEnterFailure" when there is none.
  void EnterChild(const std::wstring& name);
  // Enters the next child not yet entered, in document order, whatever its name.
  bool EnterNextChild();
  // Back to the parent's frame; checks nothing; does nothing without a frame.
  void LeaveChild();

  // Throws XmlObjectException with the key, the current node (null without a frame) and the name.
  [[noreturn]] void ThrowObjectError(const std::string& key, const std::wstring& propertyName) const;

 private:
  XmlReaderFrame& RequireFrame(const std::wstring& propertyName) const;
  // The property of that name in this visit, marked read; null when absent.
  const XmlPropertyNode::Property* Read(XmlReaderFrame& frame, const std::wstring& name);
  void Deliver(const XmlPropertyNode::Property& property, std::wstring& value) const;
  void PushChild(XmlReaderFrame& frame, std::size_t index);

  Values m_values;

  std::deque<XmlReaderFramePtr> m_frames;
  // Frames left behind that nobody else holds, kept for the next visits: a read enters
  // thousands of nodes, and a fresh frame per node would be most of its allocations.
  std::vector<XmlReaderFramePtr> m_spare;
};

// Typed values are read as text: an optional sign and leading digits, 0 when there are none;
// never an error (values beyond 32 bits are clamped).
std::int32_t XmlTextToInt(const std::wstring& text);
// True when the integer value is not 0.
bool XmlTextToBool(const std::wstring& text);

// A reader of whole documents: takes the reader on the root and an untyped context, returns the
// object it built.
using XmlObjectPtr = boost::shared_ptr<void>;
using XmlObjectReaderFn = XmlObjectPtr (*)(XmlObjectReader& reader, void* context);
using XmlObjectReaderRegistry = std::map<std::wstring, XmlObjectReaderFn>;

// Created on first use; filled during static initialisation, before any document is read.
XmlObjectReaderRegistry& GetXmlObjectReaderRegistry();

// An existing entry for the name stays; returns whether this function was inserted.
bool RegisterXmlObjectReader(const std::wstring& elementName, XmlObjectReaderFn reader);

// Reads the document under root with the reader registered for the root's name.
// Throws std::runtime_error "error while parsing xml." for a null root, std::runtime_error
// "XML object reader not found." when no reader is registered, and whatever the reader throws.
XmlObjectPtr ReadXmlObject(const XmlNodePtr& root, void* context);
// The same for a caller that gives the tree up: the texts read are moved out of it, not copied,
// and the nodes left are emptied as the reading goes (Values::Take).
XmlObjectPtr ReadXmlObjectTakingValues(const XmlNodePtr& root, void* context);
XmlObjectPtr DispatchXmlObjectReader(XmlObjectReader& reader, void* context);
