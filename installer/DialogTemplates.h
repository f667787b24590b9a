// The one table of dialog templates: which resource each dialog of the plug-in uses in
// each installer language.
#pragma once

#include <windows.h>

namespace gwplugin {

struct DialogTemplates {
  int flags;       // language flags page
  int components;  // components page
  int progress;    // progress page
  int checking;    // the wait dialog shown while the catalogue arrives
};

// The templates of an installer LANGID. A language without templates of its own gets
// the English ones, so a page always has a template to be made from.
DialogTemplates TemplatesForLanguage(LANGID langid);

// True when the installer LANGID is one of the five with templates of their own.
bool HasOwnTemplates(LANGID langid);

// The language under which the resources of an installer LANGID are stored: the Spanish
// ones are kept as 3082 (modern sort); unknown languages use English.
LANGID ResourceLanguage(LANGID langid);

}  // namespace gwplugin
