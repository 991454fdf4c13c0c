// The registration switches over any command line.
//
// The command line is the input up to its first NUL (the program receives a C string).
// A switch counts only when the whole rest of the line behind a '-' or '/' is "RegServer" or
// "UnregServer" in any case. The plain answer is worked out here from the line's end.
//
// Properties:
// - the scan over the switches (FindNextSwitch from each switch character on, compared in
//   any case) matches exactly when the plain answer says so, and never reports a switch
//   beyond the line;
// - the application object started with that command line registers (the program's AppID
//   appears in a registry file in a temporary folder), unregisters (it disappears), or
//   shows the dialog, as the plain answer says, and never more than one of them.
#include <strings.h>

#include <cstring>
#include <string>
#include <string_view>

#include "app/com_module.h"
#include "app/qubopost_app.h"
#include "fuzz_support.h"
#include "fuzz_temp_folder.h"
#include "platform/registry.h"
#include "resources/registry_script.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::app;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;

namespace {

// 1 register, -1 unregister, 0 neither: what the end of the line asks for.
int PlainSwitch(std::string_view line) {
    const auto endsWithSwitch = [&](std::string_view name) {
        if (line.size() < name.size() + 1) return false;
        const char before = line[line.size() - name.size() - 1];
        if (before != '-' && before != '/') return false;
        const std::string_view tail = line.substr(line.size() - name.size());
        for (std::size_t i = 0; i < name.size(); ++i) {
            char c = tail[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            char n = name[i];
            if (n >= 'A' && n <= 'Z') n = static_cast<char>(n - 'A' + 'a');
            if (c != n) return false;
        }
        return true;
    };
    if (endsWithSwitch("UnregServer")) return -1;
    if (endsWithSwitch("RegServer")) return 1;
    return 0;
}

// The loop of the application's start-up over the switches.
int ScanWithModule(const char* line) {
    const char* end = line + std::strlen(line);
    for (const char* p = CQubopostModule::FindNextSwitch(line, "-/"); p;
         p = CQubopostModule::FindNextSwitch(p, "-/")) {
        FUZZ_CHECK(p > line && p <= end, "FindNextSwitch points outside the line");
        FUZZ_CHECK(p[-1] == '-' || p[-1] == '/',
                   "FindNextSwitch does not point behind a switch character");
        if (strcasecmp(p, "UnregServer") == 0) return -1;
        if (strcasecmp(p, "RegServer") == 0) return 1;
    }
    return 0;
}

class CountingWindows : public WindowSystem {
public:
    void MessageBox(const Text&) override { ++messages; }
    int RunModal(DialogHandlers&) override {
        ++dialogs;
        return 2;
    }
    int messages = 0;
    int dialogs = 0;
};

bool Registered(const std::string& registryPath) {
    RegistryFile registry(registryPath);
    registry.Load();
    return registry.KeyExists("HKCR\\AppID\\" + std::string(kAppIdGuid));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::TempFolder folder("qubopost-fuzz-switches");
    static bool registered = false;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const char* line = bytes.c_str();
    const int expected = PlainSwitch(std::string_view(line, std::strlen(line)));

    const int scanned = ScanWithModule(line);
    if (scanned != expected) {
        fuzz::Show("command line", line);
        std::fprintf(stderr, "  scan %d, plain %d\n", scanned, expected);
    }
    FUZZ_CHECK(scanned == expected, "the switch scan differs from the end of the command line");

    CountingWindows windows;
    CQubopostApp::Environment env;
    env.commandLine = bytes;
    env.executablePath = folder.Path() + "/bin/qubopost";
    env.registryPath = folder.Path() + "/config/registry.ini";
    env.startNetwork = [] { return true; };
    CQubopostApp app(windows, env);
    app.Run();
    const bool nowRegistered = Registered(env.registryPath);
    if (expected != 0) {
        FUZZ_CHECK(nowRegistered == (expected > 0),
                   "the switch did not register or unregister as asked");
        FUZZ_CHECK(windows.dialogs == 0, "a registration switch showed the dialog");
    } else {
        FUZZ_CHECK(nowRegistered == registered,
                   "a command line without a switch changed the registry");
        FUZZ_CHECK(windows.dialogs == 1, "a command line without a switch did not show the dialog");
    }
    FUZZ_CHECK(windows.messages == 0, "start-up showed a message");
    FUZZ_CHECK(!app.comStarted, "the server module is still running after shutdown");
    registered = nowRegistered;
    return 0;
}
