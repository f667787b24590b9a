// Helpers shared by the XML tests.
#pragma once

#include "ByteBuffer.h"
#include "XmlPropertyNode.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <exception>
#include <string>

inline std::string ToUtf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

// name{prop=value,...}[child,...] with properties in name order and children in document order.
inline std::string Dump(const XmlNodePtr& node) {
  if (!node) return "null";
  std::string out = ToUtf8(node->Name()) + "{";
  bool first = true;
  for (const auto& p : node->Properties()) {
    if (!first) out += ",";
    first = false;
    out += ToUtf8(p.first) + "=" + ToUtf8(p.second);
  }
  out += "}[";
  first = true;
  for (const XmlNodePtr& child : node->Children()) {
    if (!first) out += ",";
    first = false;
    out += Dump(child);
  }
  return out + "]";
}

// Parses the text both ways ParseXml takes bytes: where they lie, from a buffer (which ends in
// a zero), and copied, from a bare view. The two must give the same tree or the same exception;
// the buffer's outcome is returned or rethrown.
inline XmlNodePtr Parse(const std::string& text) {
  const MemoryView bare(text.data(), static_cast<std::int32_t>(text.size()));
  const ByteBuffer buffer(bare);
  XmlNodePtr copied, inPlace;
  std::string copiedFailure, inPlaceFailure;
  std::exception_ptr thrown;
  try {
    copied = ParseXml(bare);
  } catch (const std::exception& e) {
    copiedFailure = e.what();
  }
  try {
    inPlace = ParseXml(MemoryView(buffer));
  } catch (const std::exception& e) {
    inPlaceFailure = e.what();
    thrown = std::current_exception();
  }
  EXPECT_EQ(copiedFailure, inPlaceFailure) << text;
  EXPECT_EQ(Dump(copied), Dump(inPlace)) << text;
  if (thrown) std::rethrow_exception(thrown);
  return inPlace;
}
