#include "Exports.h"

#include "DialogTemplates.h"
#include "TestHooks.h"
#include "Utilities.h"

#include <cwchar>
#include <string>

namespace gwplugin {

UINT_PTR __cdecl PluginUnloadCallback(nsis::PluginMessage message) {
  if (message != nsis::kPluginUnload) return 0;
  testhooks::ExportScope traced("Unload", "callback");
  try {
    DestroyPluginApp();
  } catch (...) {
    AfxReportCaughtException("PluginUnloadCallback");
  }
  return 0;
}

namespace {
// Whether the host holds our unload callback; it does until it has called it.
bool registered = false;
}  // namespace

void ForgetUnloadCallback() { registered = false; }

void RegisterUnloadCallback(nsis::ExtraParameters* extra) {
  if (registered || !extra || !extra->exec_flags || !extra->RegisterPluginCallback) return;
  if (extra->exec_flags->plugin_api_version < nsis::kPluginApiVersion1) return;
  // Registering also keeps the DLL (and so every list built so far) loaded between calls.
  int result = extra->RegisterPluginCallback(PluginModule(), &PluginUnloadCallback);
  registered = result == 0 || result == 1;
}

namespace {

// Puts NSIS's dialog procedure back however a page export ends.
class NsisWindowScope {
 public:
  NsisWindowScope(CGWPluginApp& app, HWND parent) : m_app(app) { m_app.SubclassNsisWindow(parent); }
  ~NsisWindowScope() { m_app.RestoreNsisWindow(); }
  NsisWindowScope(const NsisWindowScope&) = delete;
  NsisWindowScope& operator=(const NsisWindowScope&) = delete;

 private:
  CGWPluginApp& m_app;
};

}  // namespace

void Configuration(GWPLUGIN_EXPORT_ARGS) {
  (void)parent;
  RunExport("Configuration", string_size, variables, stacktop, extra, nullptr, [](CGWPluginApp& app) {
    std::wstring profile, user_agent, third;
    NsisPopString(profile);
    NsisPopString(user_agent);
    NsisPopString(third);
    int flag = NsisPopInt();
    app.profileFlag = _wcsicmp(profile.c_str(), L"EMOTIVAR") == 0 ? 1 : 0;
    app.userAgent = user_agent;
    app.secondConfigurationText = third;
    app.applicationsCheckBox = flag == 1;
  });
}

void Initialize(GWPLUGIN_EXPORT_ARGS) {
  (void)parent;
  RunExport("Initialize", string_size, variables, stacktop, extra, nullptr, [](CGWPluginApp& app) {
    app.langid = static_cast<LANGID>(_wtoi(NsisGetVariable(nsis::kVarLanguage).c_str()));
    int extract_function = NsisPopInt();
    std::wstring catalogue_path;
    NsisPopString(catalogue_path);
    NsisExecuteCodeSegment(extract_function, nullptr);
    app.catalogue.langid = app.langid;
    app.catalogue.ReadBuiltInProducts(NsisGetVariable(nsis::kVarExeDir));
    app.catalogue.LoadBuiltInContent(catalogue_path);
    app.catalogue.ReadInstalledVoiceVersions();
    app.catalogue.ReadInstalledApplicationVersions();
    app.StartContentDownload();
  });
}

void CheckReady(GWPLUGIN_EXPORT_ARGS) {
  RunExport("CheckReady", string_size, variables, stacktop, extra, L"NO_DATA", [parent](CGWPluginApp& app) {
    app.WaitForCatalogue(parent);
    bool offered = ProductCatalogue::HasOfferedProduct(app.catalogue.builtInOffer.products) ||
                   ProductCatalogue::HasOfferedProduct(app.catalogue.mergedOffer.products);
    NsisPushString(offered ? L"OK" : L"NO_DATA");
  });
}

void HasBuiltInProducts(GWPLUGIN_EXPORT_ARGS) {
  (void)parent;
  RunExport("HasBuiltInProducts", string_size, variables, stacktop, extra, L"BUILTIN_NONE", [](CGWPluginApp& app) {
    NsisPushString(app.catalogue.HasBuiltInProducts() ? L"BUILTIN_PRESENT" : L"BUILTIN_NONE");
  });
}

void ShowFlagsDialog(GWPLUGIN_EXPORT_ARGS) {
  RunExport("ShowFlagsDialog", string_size, variables, stacktop, extra, L"cancel", [parent](CGWPluginApp& app) {
    app.WaitForCatalogue(parent);
    NsisWindowScope scope(app, parent);
    app.RunPage(app.flagsPage, TemplatesForLanguage(app.langid).flags, [&app] { app.flagsPage.ReadStackTexts(); });
  });
}

void ShowComponentsDialog(GWPLUGIN_EXPORT_ARGS) {
  RunExport("ShowComponentsDialog", string_size, variables, stacktop, extra, L"cancel", [parent](CGWPluginApp& app) {
    NsisWindowScope scope(app, parent);
    app.RunPage(app.componentsPage, TemplatesForLanguage(app.langid).components);
  });
}

void ShowInstallDialog(GWPLUGIN_EXPORT_ARGS) {
  RunExport("ShowInstallDialog", string_size, variables, stacktop, extra, L"cancel", [parent](CGWPluginApp& app) {
    NsisWindowScope scope(app, parent);
    app.RunPage(app.progressPage, TemplatesForLanguage(app.langid).progress);
  });
}

}  // namespace gwplugin
