// System functions that only the crash report needs, bound when first called instead of by the
// program's imports: every library in the import table is loaded and initialised at each start
// of the program, whereas the report runs rarely, if ever. A library bound here stays loaded for
// the process's lifetime; when it or the function is missing, the caller's stand-in answers.
#pragma once

#include <windows.h>

namespace orv_diagnostics {

// `name` of `library`, or null. Each call loads the library once more: keep the result (a
// function-local static) rather than calling again.
template <typename Fn>
Fn BindOnFirstUse(const wchar_t* library, const char* name) {
  const HMODULE module = ::LoadLibraryW(library);
  return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name))) : nullptr;
}

}  // namespace orv_diagnostics
