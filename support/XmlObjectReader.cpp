#include "XmlObjectReader.h"

#include <climits>
#include <cwctype>

void XmlReaderFrame::Reset(XmlNodePtr visited) {
  node = std::move(visited);
  namesRead.clear();
  entered.assign(node->Children().size(), false);
  nextChild = 0;
  byName.reset();
}

XmlObjectReader::XmlObjectReader(const XmlNodePtr& root, Values values) : m_values(values) {
  if (!root) throw std::runtime_error("error while parsing xml.");
  m_frames.push_back(XmlReaderFramePtr(new XmlReaderFrame(root)));
}

XmlReaderFrame& XmlObjectReader::RequireFrame(const std::wstring& propertyName) const {
  // Reading after the root was left is a mistake of the reading code; it fails the read
  // like any other schema error rather than touching a frame that is not there.
  if (m_frames.empty()) ThrowObjectError(kXmlNoCurrentNode, propertyName);
  return *m_frames.back();
}

const std::wstring& XmlObjectReader::CurrentName() const { return RequireFrame(std::wstring()).node->Name(); }

bool XmlReaderFrame::WasRead(const std::wstring& name) const {
  for (const std::wstring* read : namesRead)
    if (*read == name) return true;
  return false;
}

const XmlPropertyNode::Property* XmlObjectReader::Read(XmlReaderFrame& frame, const std::wstring& name) {
  if (frame.WasRead(name)) ThrowObjectError(kXmlPropertyReadTwice, name);
  const XmlPropertyNode::Property* property = frame.node->FindProperty(name);
  if (property != nullptr) frame.namesRead.push_back(&property->first);
  return property;
}

void XmlObjectReader::Deliver(const XmlPropertyNode::Property& property, std::wstring& value) const {
  if (m_values == Values::Take)
    value = std::move(const_cast<std::wstring&>(property.second));
  else
    value = property.second;
}

bool XmlObjectReader::TryReadProperty(const std::wstring& name, std::wstring& value) {
  XmlReaderFrame& frame = RequireFrame(name);
  const XmlPropertyNode::Property* property = Read(frame, name);
  if (property == nullptr) return false;
  Deliver(*property, value);
  return true;
}

std::wstring XmlObjectReader::ReadProperty(const std::wstring& name, const std::wstring& defaultValue) {
  std::wstring value;
  if (!TryReadProperty(name, value)) return defaultValue;
  return value;
}

std::wstring XmlObjectReader::ReadRequiredProperty(const std::wstring& name) {
  XmlReaderFrame& frame = RequireFrame(name);
  const XmlPropertyNode::Property* property = Read(frame, name);
  if (property == nullptr) throw XmlObjectException(kXmlPropertyNotFound, frame.node, name);
  std::wstring value;
  Deliver(*property, value);
  return value;
}

void XmlObjectReader::PushChild(XmlReaderFrame& frame, std::size_t index) {
  const XmlNodePtr& node = frame.node->Children()[index];
  if (m_spare.empty()) {
    m_frames.push_back(XmlReaderFramePtr(new XmlReaderFrame(node)));
  } else {
    m_spare.back()->Reset(node);
    m_frames.push_back(std::move(m_spare.back()));
    m_spare.pop_back();
  }
  frame.entered[index] = true;
  const std::size_t n = frame.entered.size();
  std::size_t next = static_cast<std::size_t>(frame.nextChild);
  while (next < n && frame.entered[next]) ++next;
  frame.nextChild = static_cast<std::int32_t>(next);
}

bool XmlObjectReader::TryEnterChild(const std::wstring& name) {
  XmlReaderFrame& frame = RequireFrame(std::wstring());
  const std::vector<XmlNodePtr>& children = frame.node->Children();

  // A reading loop asks for one name after another; with many children a scan per request
  // would make the whole visit quadratic.
  const std::size_t kScanLimit = 32;
  if (children.size() - static_cast<std::size_t>(frame.nextChild) > kScanLimit) {
    if (!frame.byName) {
      frame.byName.reset(new std::map<std::wstring, XmlReaderFrame::NameCursor>);
      for (std::size_t i = 0; i < children.size(); ++i)
        (*frame.byName)[children[i]->Name()].indices.push_back(static_cast<std::int32_t>(i));
    }
    auto it = frame.byName->find(name);
    if (it == frame.byName->end()) return false;
    XmlReaderFrame::NameCursor& cursor = it->second;
    while (cursor.skipped < cursor.indices.size() &&
           frame.entered[static_cast<std::size_t>(cursor.indices[cursor.skipped])])
      ++cursor.skipped;
    if (cursor.skipped == cursor.indices.size()) return false;
    PushChild(frame, static_cast<std::size_t>(cursor.indices[cursor.skipped]));
    return true;
  }

  for (std::size_t i = static_cast<std::size_t>(frame.nextChild); i < children.size(); ++i) {
    if (frame.entered[i]) continue;
    if (children[i]->Name() == name) {
      PushChild(frame, i);
      return true;
    }
  }
  return false;
}

void XmlObjectReader::EnterChild(const std::wstring& name) {
  if (!TryEnterChild(name)) ThrowObjectError(kXmlChildEnterFailure, std::wstring());
}

bool XmlObjectReader::EnterNextChild() {
  XmlReaderFrame& frame = RequireFrame(std::wstring());
  const std::size_t n = frame.entered.size();
  std::size_t next = static_cast<std::size_t>(frame.nextChild);
  while (next < n && frame.entered[next]) ++next;
  frame.nextChild = static_cast<std::int32_t>(next);
  if (next == n) return false;
  PushChild(frame, next);
  return true;
}

void XmlObjectReader::LeaveChild() {
  if (m_frames.empty()) return;
  XmlReaderFramePtr left = std::move(m_frames.back());
  m_frames.pop_back();
  // A tree given up is taken apart as the reading leaves it: a node left is not read again,
  // and its memory is freed while it is still in the cache and reused by what the reading
  // builds next, instead of all at once at the end.
  if (m_values == Values::Take && left->node && left->node->UseCount() == 1 + (m_frames.empty() ? 0 : 1))
    left->node->ReleaseContents();
  if (left->UseCount() == 1) {
    left->node.reset();  // the frame keeps no node alive while it waits
    m_spare.push_back(std::move(left));
  }
}

void XmlObjectReader::ThrowObjectError(const std::string& key, const std::wstring& propertyName) const {
  XmlNodePtr node;
  if (!m_frames.empty()) node = m_frames.back()->node;
  throw XmlObjectException(key, node, propertyName);
}

std::int32_t XmlTextToInt(const std::wstring& text) {
  std::size_t i = 0;
  // ASCII white space is told without the C library's locale look-up (done for every
  // number of a catalogue); other characters ask it.
  while (i < text.size() &&
         (text[i] < 0x80 ? text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r') : std::iswspace(text[i]) != 0))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<std::int32_t>(value);
}

bool XmlTextToBool(const std::wstring& text) { return XmlTextToInt(text) != 0; }

XmlObjectReaderRegistry& GetXmlObjectReaderRegistry() {
  static XmlObjectReaderRegistry registry;
  return registry;
}

bool RegisterXmlObjectReader(const std::wstring& elementName, XmlObjectReaderFn reader) {
  return GetXmlObjectReaderRegistry().emplace(elementName, reader).second;
}

XmlObjectPtr DispatchXmlObjectReader(XmlObjectReader& reader, void* context) {
  const XmlObjectReaderRegistry& registry = GetXmlObjectReaderRegistry();
  auto it = registry.find(reader.CurrentName());
  if (it == registry.end() || it->second == nullptr) throw std::runtime_error("XML object reader not found.");
  return it->second(reader, context);
}

XmlObjectPtr ReadXmlObject(const XmlNodePtr& root, void* context) {
  // The reader and its frames go when this returns or throws.
  XmlObjectReader reader(root);
  return DispatchXmlObjectReader(reader, context);
}

XmlObjectPtr ReadXmlObjectTakingValues(const XmlNodePtr& root, void* context) {
  XmlObjectReader reader(root, XmlObjectReader::Values::Take);
  return DispatchXmlObjectReader(reader, context);
}
