#include "VersionNumber.h"

#include "SupportExceptions.h"

#include <boost/lexical_cast.hpp>

namespace {

std::int32_t ParsePart(const std::wstring& piece)
{
    // lexical_cast takes a leading sign; a version part is digits only.
    if (piece.empty())
        throw FormatException();
    for (wchar_t c : piece)
        if (c < L'0' || c > L'9')
            throw FormatException();
    try {
        return boost::lexical_cast<std::int32_t>(piece);
    } catch (const boost::bad_lexical_cast&) {
        throw FormatException();
    }
}

} // namespace

VersionNumber VersionNumber::Parse(const std::wstring& text)
{
    VersionNumber v;
    std::size_t start = 0;
    for (int index = 0;; ++index) {
        if (index == 4)
            throw FormatException();
        const std::size_t dot = text.find(L'.', start);
        const std::wstring piece = text.substr(start, dot == std::wstring::npos ? std::wstring::npos : dot - start);
        v.parts_[index] = ParsePart(piece);
        if (dot == std::wstring::npos)
            break;
        start = dot + 1;
    }
    return v;
}

std::wstring VersionNumber::ToString() const
{
    return std::to_wstring(parts_[0]) + L"." + std::to_wstring(parts_[1]) + L"." +
           std::to_wstring(parts_[2]) + L"." + std::to_wstring(parts_[3]);
}

std::wstring VersionNumber::ToShortString() const
{
    int count = 4;
    while (count > 0 && parts_[count - 1] == 0)
        --count;
    std::wstring text;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            text += L'.';
        text += std::to_wstring(parts_[i]);
    }
    return text;
}

int VersionNumber::Compare(const VersionNumber& a, const VersionNumber& b)
{
    for (int i = 0; i < 4; ++i) {
        if (a.parts_[i] != b.parts_[i])
            return a.parts_[i] < b.parts_[i] ? -1 : 1;
    }
    return 0;
}
