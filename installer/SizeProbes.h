// Size probes: the installer size of every downloadable product, asked of its server with a
// headers-only request before the offers are built (a product whose size is unknown is never
// offered for download).
//
// Runs on the NSIS thread and returns when every probe has ended. At most maxInFlight probes
// run at once, each with the given time-outs, and the thread's messages are dispatched while
// it waits, so the installer window keeps painting.
#pragma once

#include "Products.h"

#include <FileDownloadTask.h>

#include <string>

namespace gwplugin {

struct SizeProbeSettings {
  std::wstring userAgent;
  DownloadTimeouts timeouts;
  int maxInFlight = 4;
};

struct SizeProbeReport {
  int probed = 0;        // products with an InstURL
  int sized = 0;         // probes that gave a size above 0
  int failed = 0;        // probes that ended without success (or could not start)
  int peakInFlight = 0;  // most probes running at one time
};

// Sets the size of every product with an InstURL: the probed length, or 0 when the probe
// failed or the server announced none. Products without an InstURL are left alone.
SizeProbeReport ProbeSizes(const orv_products::ProductList& products, const SizeProbeSettings& settings);

}  // namespace gwplugin
