// Checks made on XML text before TinyXML parses it.
//
// TinyXML parses each nested element with two more levels of recursion, and the text comes from
// the network, so the nesting depth must be known before parsing. MeasureXmlNestingDepth walks
// the text the way TinyXML's parser does (the same node recognition, attribute and entity
// rules, white-space skipping, and the same points where it gives up), but with a counter in
// place of recursion. It must never see less nesting than TinyXML would: wherever TinyXML
// stops, so does the walk, and every construct that TinyXML steps over as a unit (quoted
// values, numeric character references, comments, CDATA, unknown tags, declarations) is
// stepped over identically.
//
// The text is valid UTF-8 (checked first), so a multi-byte character never holds an ASCII
// byte and stepping byte by byte finds the same delimiters as TinyXML's character steps.
#include "XmlPropertyNode.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool IsSpace(unsigned char c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

bool IsAsciiAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// TinyXML takes every byte from 127 up as a letter.
bool IsNameStart(unsigned char c) { return c >= 127 || IsAsciiAlpha(c) || c == '_'; }

bool IsNameChar(unsigned char c) {
  return c >= 127 || IsAsciiAlpha(c) || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.' || c == ':';
}

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

bool StartsWith(const char* p, const char* tag) {
  while (*tag != '\0') {
    if (*p != *tag) return false;
    ++p;
    ++tag;
  }
  return true;
}

bool StartsWithNoCase(const char* p, const char* lowerTag) {
  while (*lowerTag != '\0') {
    unsigned char c = *U(p);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(*lowerTag)) return false;
    ++p;
    ++lowerTag;
  }
  return true;
}

// White space, plus the byte-order mark and the two non-characters U+FFFE and U+FFFF.
const char* SkipWhiteSpace(const char* p) {
  if (p == nullptr || *p == '\0') return nullptr;
  for (;;) {
    const unsigned char* u = U(p);
    if (u[0] == 0xEF && ((u[1] == 0xBB && u[2] == 0xBF) || (u[1] == 0xBF && (u[2] == 0xBE || u[2] == 0xBF)))) {
      p += 3;
      continue;
    }
    if (*p != '\0' && IsSpace(u[0]))
      ++p;
    else
      return p;
  }
}

const char* ReadName(const char* p) {
  if (p == nullptr || *p == '\0' || !IsNameStart(*U(p))) return nullptr;
  while (*p != '\0' && IsNameChar(*U(p))) ++p;
  return p;
}

// An entity at p ('&'): numeric references run to the next ';' as long as the characters
// before it, back to the 'x' or '#', are digits. Null where TinyXML gives up.
const char* SkipEntity(const char* p) {
  if (p[1] == '#' && p[2] != '\0') {
    const bool hex = p[2] == 'x';
    if (hex && p[3] == '\0') return nullptr;
    const char* semicolon = std::strchr(hex ? p + 3 : p + 2, ';');
    if (semicolon == nullptr) return nullptr;
    for (const char* q = semicolon - 1; *q != (hex ? 'x' : '#'); --q) {
      const unsigned char c = *U(q);
      const bool digit = (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
      if (!digit) return nullptr;
    }
    return semicolon + 1;
  }
  return p + 1;
}

// Text up to and past endTag, with entities; null when the text ends first or an entity is broken.
const char* ReadText(const char* p, const char* endTag, bool trimWhiteSpace) {
  if (trimWhiteSpace) p = SkipWhiteSpace(p);
  if (p != nullptr && endTag[0] != '\0' && endTag[1] == '\0') {
    // A one-character end (the next '<', a closing quote), as most text has: only that
    // character, an entity or the end of the text stops the walk.
    const char end = endTag[0];
    for (;;) {
      while (*p != '\0' && *p != end && *p != '&') ++p;
      if (*p != '&') break;
      p = SkipEntity(p);
      if (p == nullptr) break;
    }
  }
  while (p != nullptr && *p != '\0' && !StartsWith(p, endTag)) p = (*p == '&') ? SkipEntity(p) : p + 1;
  if (p != nullptr && *p != '\0') p += std::strlen(endTag);
  return (p != nullptr && *p != '\0') ? p : nullptr;
}

const char* ParseAttribute(const char* p) {
  p = SkipWhiteSpace(p);
  if (p == nullptr) return nullptr;
  p = ReadName(p);
  if (p == nullptr || *p == '\0') return nullptr;
  p = SkipWhiteSpace(p);
  if (p == nullptr || *p != '=') return nullptr;
  p = SkipWhiteSpace(p + 1);
  if (p == nullptr) return nullptr;
  if (*p == '\'' || *p == '"') {
    const char end[2] = {*p, '\0'};
    return ReadText(p + 1, end, false);
  }
  while (*p != '\0' && !IsSpace(*U(p)) && *p != '/' && *p != '>') {
    if (*p == '\'' || *p == '"') return nullptr;
    ++p;
  }
  return p;
}

enum class NodeKind { None, Declaration, Comment, CData, Unknown, Element };

NodeKind Identify(const char* p) {
  p = SkipWhiteSpace(p);
  if (p == nullptr || *p != '<') return NodeKind::None;
  if (StartsWithNoCase(p, "<?xml")) return NodeKind::Declaration;
  if (StartsWith(p, "<!--")) return NodeKind::Comment;
  if (StartsWith(p, "<![CDATA[")) return NodeKind::CData;
  if (StartsWith(p, "<!")) return NodeKind::Unknown;
  if (IsNameStart(U(p)[1])) return NodeKind::Element;
  return NodeKind::Unknown;
}

// Every node but an element; returns where TinyXML goes on, or null where it stops.
const char* SkipOtherNode(NodeKind kind, const char* p) {
  p = SkipWhiteSpace(p);
  if (p == nullptr) return nullptr;
  switch (kind) {
    case NodeKind::Declaration:
      p += 5;
      while (*p != '\0') {
        if (*p == '>') return p + 1;
        p = SkipWhiteSpace(p);
        if (p == nullptr) return nullptr;
        if (StartsWithNoCase(p, "version") || StartsWithNoCase(p, "encoding") || StartsWithNoCase(p, "standalone")) {
          p = ParseAttribute(p);
          if (p == nullptr) return nullptr;
        } else {
          while (*p != '\0' && *p != '>' && !IsSpace(*U(p))) ++p;
        }
      }
      return nullptr;
    case NodeKind::Comment:
      p += 4;
      while (*p != '\0' && !StartsWith(p, "-->")) ++p;
      return *p != '\0' ? p + 3 : p;
    case NodeKind::CData:
      p += 9;
      while (*p != '\0' && !StartsWith(p, "]]>")) ++p;
      return ReadText(p, "]]>", false);
    case NodeKind::Unknown:
      ++p;
      while (*p != '\0' && *p != '>') ++p;
      return *p == '>' ? p + 1 : p;
    default:
      return nullptr;
  }
}

// Text content up to the next '<' (left in place); null where TinyXML stops.
const char* SkipContentText(const char* p) {
  p = ReadText(p, "<", true);
  return p != nullptr ? p - 1 : nullptr;
}

}  // namespace

int MeasureXmlNestingDepth(const char* text, int limit) { return PrescanXml(text, limit, INT_MAX).depth; }

XmlPrescanResult PrescanXml(const char* text, int depthLimit, int attributeLimit) {
  // Names of the open elements, as (start, length) into the text, for the end-tag checks.
  std::vector<std::pair<const char*, std::size_t>> open;
  XmlPrescanResult shape;
  int& deepest = shape.depth;

  const char* p = SkipWhiteSpace(text);
  while (p != nullptr && *p != '\0') {
    NodeKind kind = Identify(p);
    if (kind == NodeKind::None) break;
    if (kind != NodeKind::Element) {
      p = SkipOtherNode(kind, p);
      p = SkipWhiteSpace(p);
      continue;
    }

    // One element with everything nested in it, without recursion.
    for (;;) {
      // Start tag at p (an element was identified here).
      p = SkipWhiteSpace(p);
      if (p == nullptr || *p != '<') return shape;
      // TinyXML has entered the element's parse (one level deeper) even if its name fails.
      if (static_cast<int>(open.size()) + 1 > deepest) {
        deepest = static_cast<int>(open.size()) + 1;
        if (deepest > depthLimit) return shape;
      }
      p = SkipWhiteSpace(p + 1);
      const char* nameStart = p;
      p = ReadName(p);
      if (p == nullptr || *p == '\0') return shape;
      open.emplace_back(nameStart, static_cast<std::size_t>(p - nameStart));

      bool emptyTag = false;
      for (int attributes = 0;; ++attributes) {
        // TinyXML checks each new attribute against all earlier ones of the element.
        if (attributes > shape.attributes) {
          shape.attributes = attributes;
          if (attributes > attributeLimit) return shape;
        }
        p = SkipWhiteSpace(p);
        if (p == nullptr) return shape;
        if (*p == '/') {
          if (p[1] != '>') return shape;
          p += 2;
          emptyTag = true;
          break;
        }
        if (*p == '>') {
          ++p;
          break;
        }
        p = ParseAttribute(p);
        if (p == nullptr || *p == '\0') return shape;
      }

      // Content of the innermost open element, until a child element starts (continue
      // the outer loop there) or the element ends (go on with its parent's content).
      bool childStarts = false;
      if (emptyTag) open.pop_back();
      while (!open.empty() && !childStarts) {
        p = SkipWhiteSpace(p);
        while (p != nullptr && *p != '\0') {
          if (*p != '<') {
            p = SkipContentText(p);
          } else if (StartsWith(p, "</")) {
            break;
          } else {
            NodeKind inner = Identify(p);
            if (inner == NodeKind::Element) {
              childStarts = true;
              break;
            }
            p = SkipOtherNode(inner, p);
          }
          p = SkipWhiteSpace(p);
        }
        if (childStarts) break;
        if (p == nullptr || *p == '\0') return shape;
        // End tag: "</" and the name, white space, '>'.
        const std::pair<const char*, std::size_t> name = open.back();
        p += 2;
        if (std::strncmp(p, name.first, name.second) != 0) return shape;
        p = SkipWhiteSpace(p + name.second);
        if (p == nullptr || *p != '>') return shape;
        ++p;
        open.pop_back();
      }
      if (!childStarts) break;
    }
    p = SkipWhiteSpace(p);
  }
  return shape;
}

bool IsValidUtf8(const char* text, std::size_t length) {
  const unsigned char* s = U(text);
  std::size_t i = 0;
  while (i < length) {
    // Eight plain ASCII bytes at a time: most of a catalogue is markup and Latin text.
    while (length - i >= 8) {
      std::uint64_t word;
      std::memcpy(&word, s + i, sizeof word);
      if ((word & 0x8080808080808080ull) != 0) break;
      i += 8;
    }
    if (i >= length) break;
    const unsigned char c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      if (c == 0xE0)
        lo = 0xA0;
      else if (c == 0xED)
        hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      if (c == 0xF0)
        lo = 0x90;
      else if (c == 0xF4)
        hi = 0x8F;
    } else {
      return false;
    }
    if (length - i < n) return false;
    if (s[i + 1] < lo || s[i + 1] > hi) return false;
    for (std::size_t k = 2; k < n; ++k)
      if (s[i + k] < 0x80 || s[i + k] > 0xBF) return false;
    i += n;
  }
  return true;
}
