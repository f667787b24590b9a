// fakesapi_restore: puts the prefix's own SAPI class registrations back after the tests that
// replaced them with the fake (ctest runs it once they are all done).
#include "FakeSapiControl.h"

#include <cstdio>

int wmain() {
  const HRESULT hr = fakesapi::RestoreOriginalRegistration();
  if (FAILED(hr)) {
    std::fprintf(stderr, "fakesapi_restore: the original registration could not be put back (0x%08lx)\n",
                 static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}
