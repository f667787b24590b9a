// What the components page shows for each group and product: the picture of the page's
// image strip, the grey state annotation, the HTML label and tooltip, and what a checked
// product adds to the download size. Pure rules over the product records.
#pragma once

#include "Products.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace gwplugin {

// The index that draws no picture (the tree's image list has no such image).
constexpr int kNoTreeImage = 0xFFFE;

// The strip's picture of a group (its flag), or kNoTreeImage.
int GroupTreeImage(const std::wstring& group_id);
// 5 for a product downloaded from the maker's site, 4 for one installed from the installer or
// already on the machine, else kNoTreeImage.
int ProductTreeImage(std::uint32_t state);

// The string-table text that annotates a product's state, or 0 for none (a disabled product,
// or one that is simply installed from what the installer carries).
UINT ProductAnnotationId(std::uint32_t state);

// The texts of a product's tree item: the HTML shown in the tree (the annotation in grey),
// and the plain label kept as the item's own text.
std::wstring ProductItemHtml(const std::wstring& label, const std::wstring& annotation);
std::wstring ProductItemLabel(const std::wstring& label, const std::wstring& annotation);
// The HTML tooltip of a product with a description: its name as a heading over the text.
std::wstring ProductToolTipHtml(const std::wstring& label, const std::wstring& description);

// Bytes a checked product adds to the download: its whole size when it is downloaded and
// offered, else 0.
std::int64_t ProductDownloadBytes(const orv_products::CProd& product);
// Whole megabytes of a byte count (rounded toward zero).
std::int64_t WholeMegabytes(std::int64_t bytes);

}  // namespace gwplugin
