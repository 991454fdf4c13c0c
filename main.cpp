// qubopost: the dialog program.
#include "app/qubopost_app.h"
#include "platform/process.h"
#include "platform/qt/qt_window_system.h"

int main(int argc, char** argv) {
    QtWindowSystem windows(argc, argv);
    CQubopostApp::Environment environment;
    environment.commandLine = JoinCommandLine(argc, argv);
    environment.arguments.assign(argv + 1, argv + argc);
    environment.executablePath = ExecutablePath();
    environment.userConfigFolder = UserConfigFolder();
    environment.registryPath = environment.userConfigFolder + "/registry.ini";
    CQubopostApp app(windows, std::move(environment));
    return app.Run();
}
