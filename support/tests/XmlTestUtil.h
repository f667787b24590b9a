// Helpers shared by the XML tests.
#pragma once

#include "XmlPropertyNode.h"

#include <windows.h>

#include <cstring>
#include <string>

inline std::string ToUtf8(const std::wstring& w)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
    return s;
}

// name{prop=value,...}[child,...] with properties in name order and children in document order.
inline std::string Dump(const XmlNodePtr& node)
{
    if (!node)
        return "null";
    std::string out = ToUtf8(node->Name()) + "{";
    bool first = true;
    for (const auto& p : node->Properties()) {
        if (!first)
            out += ",";
        first = false;
        out += ToUtf8(p.first) + "=" + ToUtf8(p.second);
    }
    out += "}[";
    first = true;
    for (const XmlNodePtr& child : node->Children()) {
        if (!first)
            out += ",";
        first = false;
        out += Dump(child);
    }
    return out + "]";
}

inline XmlNodePtr Parse(const std::string& text)
{
    return ParseXml(MemoryView(text.data(), static_cast<std::int32_t>(text.size())));
}
