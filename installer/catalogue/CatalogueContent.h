// The product catalogue as its XML document describes it (root element "content"), before it is
// merged into the plug-in's product lists.
#pragma once

#include "LocalizedText.h"
#include "VersionNumber.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <deque>
#include <string>

struct ServiceContentProduct2 {
  std::wstring label;  // the product's identifier
  bool isNew = false;  // "new"
  VersionNumber version;
  std::wstring file;  // the installer's download address
  std::wstring os;
  LocalizedText translations;
  std::int32_t sg = 10;  // the product's weight
  std::wstring type;
  std::wstring idsapi;
};

using ServiceContentProduct2Ptr = boost::shared_ptr<ServiceContentProduct2>;

struct ServiceContentProductGroup2 {
  std::wstring label;                              // the group's identifier
  std::deque<ServiceContentProduct2Ptr> products;  // the same objects as in the document's list
  LocalizedText translations;
};

using ServiceContentProductGroup2Ptr = boost::shared_ptr<ServiceContentProductGroup2>;

struct ServiceContent2 {
  std::deque<ServiceContentProduct2Ptr> products;  // every product, in document order
  std::deque<ServiceContentProductGroup2Ptr> groups;
};

using ServiceContent2Ptr = boost::shared_ptr<ServiceContent2>;
