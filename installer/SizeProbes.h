// Size probes: the installer size of every downloadable product, asked of its server with a
// headers-only request before the offers are built (a product whose size is unknown is never
// offered for download).
//
// Runs on the NSIS thread. The probes start together (at most maxInFlight at once) and share
// one deadline: ProbeSizes returns when every probe has ended or the deadline has come, and
// no probe's own time-outs reach past it. A probe still running then is cancelled, its size
// stays unknown, and it ends on its own worker. The thread's messages are dispatched while it
// waits, so the installer window keeps painting.
#pragma once

#include "Products.h"

#include <FileDownloadTask.h>

#include <cstdint>
#include <string>

namespace gwplugin {

struct SizeProbeSettings {
  std::wstring userAgent;
  DownloadTimeouts timeouts;
  // How long all the probes together may hold the caller; 0: one connect time-out.
  std::int32_t deadlineMilliseconds = 0;
  int maxInFlight = 64;
};

struct SizeProbeReport {
  int probed = 0;        // products with an InstURL
  int sized = 0;         // probes that gave a size above 0
  int failed = 0;        // probes that ended without success (or could not start)
  int peakInFlight = 0;  // most probes running at one time
  int cancelled = 0;     // probes still running (or not started) at the deadline
};

// Sets the size of every product with an InstURL: the probed length, or 0 when the probe
// failed or the server announced none. Products without an InstURL are left alone.
SizeProbeReport ProbeSizes(const orv_products::ProductList& products, const SizeProbeSettings& settings);

// Asks the probes cancelled at a deadline to stop again and waits at most waitMs for them to
// end (the plug-in's code must stay until they have); true when none runs any more.
bool EndUnfinishedProbes(DWORD waitMs);

}  // namespace gwplugin
