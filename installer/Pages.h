// The three wizard pages: the language flags page, the components page and the progress
// page. Each pops what the script pushed for it and pushes its choice when it is left.
#pragma once

#include "ComponentsDlg.h"
#include "LangFlagsDlg.h"
#include "PluginMessages.h"
#include "PluginPage.h"
#include "ProgressDlg.h"
