// GDI+ for the reader's drawing code. GDI+'s headers use min and max unqualified, which the
// build's NOMINMAX takes away; they get the standard ones.
#pragma once

#include <afxwin.h>

#include <objidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
