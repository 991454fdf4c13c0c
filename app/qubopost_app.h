// The application object: start-up (network, the registration switches, the settings
// file's place, the main dialog) and shutdown.
#pragma once

#include "settings/settings_path.h"

#include <functional>
#include <string>
#include <vector>

#include "app/com_module.h"
#include "ui/qubopost_dlg.h"
#include "view/window_system.h"

namespace qubopost::app {

class CQubopostApp {
public:
    struct Environment {
        std::string commandLine;  // the program's path and its arguments, joined by blanks
        std::vector<std::string> arguments;  // the arguments alone
        std::string executablePath;          // full path of the running executable
        std::string registryPath;            // the per-user registry file
        std::string userConfigFolder;        // where the settings go when not beside the executable
        std::function<bool()> startNetwork;  // empty: the network library's start-up
        // Adjusts the dialog's services before the dialog is made (tests shorten time-outs).
        std::function<void(ui::DialogServices&)> configureDialog;
    };

    CQubopostApp(view::WindowSystem& windows, Environment environment);

    // Start-up; true only for an embedded or automation launch (nothing to show).
    bool InitInstance();
    // Shutdown; the exit status.
    int ExitInstance();
    bool StartComServer();
    // InitInstance, then ExitInstance: the process's exit status.
    int Run();

    // Full path of the settings file, "" until start-up has set it.
    const std::string& ProfileName() const { return m_profileName; }

    bool comStarted = false;

private:
    // Which registration switch ends the command line: 0 none, 1 register, -1 unregister.
    int ScanSwitches() const;
    bool IsEmbeddedLaunch() const;

    view::WindowSystem& m_windows;
    Environment m_env;
    CQubopostModule m_module;
    std::string m_profileName;
};

}  // namespace qubopost::app
