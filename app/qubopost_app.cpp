#include "app/qubopost_app.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/encoding.h"
#include "platform/http.h"
#include "platform/process.h"
#include "resources/control_table.h"
#include "resources/strings.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;
using namespace qubopost::view;
using namespace qubopost::ui;

namespace qubopost::app {

CQubopostApp::CQubopostApp(view::WindowSystem& windows, Environment environment)
    : m_windows(windows), m_env(std::move(environment)) {
    if (!m_env.startNetwork) m_env.startNetwork = StartNetwork;
}

int CQubopostApp::Run() {
    InitInstance();
    return ExitInstance();
}

bool CQubopostApp::InitInstance() {
    if (!m_env.startNetwork()) {
        m_windows.MessageBox(LoadString(IDS_SOCKETS_INIT_FAILED));
        return false;
    }
    if (!StartComServer()) return false;
    // An embedded or automation launch has nothing to show and serves no class: it ends here.
    if (IsEmbeddedLaunch()) return true;

    m_profileName = m_env.userConfigFolder.empty()
                        ? SettingsPathFor(m_env.executablePath)
                        : ChooseSettingsPath(m_env.executablePath, m_env.userConfigFolder);
    if (m_profileName == std::string(texts::kSettingsFileName)) {
        // Without the executable's folder there is no place for the settings.
        m_windows.MessageBox(Sjis(texts::kOutOfMemory));
        return false;
    }

    ui::DialogServices services;
    services.settingsPath = m_profileName;
    services.draftPath = ui::DefaultDraftPath();
    if (m_env.configureDialog) m_env.configureDialog(services);
    ui::CQubopostDlg dialog(std::move(services));
    m_windows.RunModal(dialog);
    return false;
}

int CQubopostApp::ExitInstance() {
    if (comStarted) {
        m_module.WithdrawClassObjects();
        m_module.StopModule();
        comStarted = false;
    }
    return 0;
}

bool CQubopostApp::StartComServer() {
    comStarted = true;
    m_module.StartModule(g_classTable, m_env.executablePath, m_env.registryPath);
    const int registration = ScanSwitches();
    if (registration != 0) {
        if (registration < 0) {
            m_module.RunRegistryScript(IDR_QUBOPOST_REGISTRY, false);
            m_module.UnregisterComClasses(true);
        } else {
            m_module.RunRegistryScript(IDR_QUBOPOST_REGISTRY, true);
            m_module.RegisterComClasses(true);
        }
        comStarted = false;
        m_module.StopModule();
        return false;
    }
    if (!Succeeded(m_module.PublishClassObjects(CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE))) {
        comStarted = false;
        return false;
    }
    return true;
}

int CQubopostApp::ScanSwitches() const {
    const char* line = m_env.commandLine.c_str();
    for (const char* p = CQubopostModule::FindNextSwitch(line, "-/"); p;
         p = CQubopostModule::FindNextSwitch(p, "-/")) {
        if (strcasecmp(p, "UnregServer") == 0) return -1;
        if (strcasecmp(p, "RegServer") == 0) return 1;
    }
    return 0;
}

bool CQubopostApp::IsEmbeddedLaunch() const {
    for (const std::string& word : m_env.arguments) {
        if (word.size() > 1 && (word[0] == '-' || word[0] == '/')) {
            const char* flag = word.c_str() + 1;
            if (strcasecmp(flag, "Embedding") == 0 || strcasecmp(flag, "Automation") == 0)
                return true;
        }
    }
    return false;
}

}  // namespace qubopost::app
