// Failures of the XML object reader. Messages are dotted keys: "Exception.Runtime.Xml." and a kind.
#pragma once

#include "XmlPropertyNode.h"

#include <stdexcept>
#include <string>

class XmlException : public std::runtime_error {
 public:
  explicit XmlException(const std::string& kind) : std::runtime_error("Exception.Runtime.Xml." + kind) {}
};

// A schema violation while reading: the kind is "Object." and a key such as "PropertyNotFound".
class XmlObjectException : public XmlException {
 public:
  XmlObjectException(const std::string& key, XmlNodePtr node, std::wstring propertyName)
      : XmlException("Object." + key), m_node(std::move(node)), m_propertyName(std::move(propertyName)) {}

  // The node concerned; null when the reader had no current node.
  const XmlNodePtr& Node() const { return m_node; }
  // The property concerned; empty for child failures.
  const std::wstring& PropertyName() const { return m_propertyName; }

 private:
  XmlNodePtr m_node;
  std::wstring m_propertyName;
};

// Keys of XmlObjectException.
extern const char* const kXmlPropertyNotFound;   // "PropertyNotFound"
extern const char* const kXmlPropertyReadTwice;  // "PropertyReadTwice"
extern const char* const kXmlChildEnterFailure;  // "ChildEnterFailure"
extern const char* const kXmlNoCurrentNode;      // "NoCurrentNode": a read or child step after the root was left
// Kinds of XmlException raised before parsing.
extern const char* const kXmlDocumentTooLarge;   // "DocumentTooLarge"
extern const char* const kXmlNestingTooDeep;     // "NestingTooDeep"
extern const char* const kXmlTooManyAttributes;  // "TooManyAttributes"
