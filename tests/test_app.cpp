// Start-up: the registration switches, the registry entries they write and remove,
// where the settings live, and the paths that end without a window.
#include <gtest/gtest.h>

#include "app/qubopost_app.h"
#include "memory_view.h"
#include "platform/encoding.h"
#include "platform/process.h"
#include "platform/registry.h"
#include "resources/registry_script.h"
#include "temp_dir.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::app;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::posting;

namespace {

class RecordingWindows : public WindowSystem {
public:
    void MessageBox(const Text& text) override { messages.push_back(ToUtf8(text)); }
    int RunModal(DialogHandlers& dialog) override {
        ++dialogs;
        dialog.Attach(&view);
        dialog.OnInitDialog();
        dialog.OnCancel();
        dialog.StopJobs();
        dialog.Attach(nullptr);
        return 2;
    }
    std::vector<std::string> messages;
    int dialogs = 0;
    MemoryView view;
};

struct Launch {
    int status;
    int dialogs;
    std::vector<std::string> messages;
};

class StartUp : public ::testing::Test {
protected:
    Launch Start(
        const std::string& arguments, std::function<bool()> network = [] { return true; }) {
        RecordingWindows windows;
        CQubopostApp::Environment env;
        env.executablePath = dir.File("bin-dir/qubopost");
        env.commandLine = env.executablePath + (arguments.empty() ? "" : " " + arguments);
        std::size_t pos = 0;
        while (!arguments.empty() && pos <= arguments.size()) {
            auto end = arguments.find(' ', pos);
            if (end == std::string::npos) end = arguments.size();
            env.arguments.push_back(arguments.substr(pos, end - pos));
            pos = end + 1;
        }
        env.registryPath = RegistryPath();
        env.startNetwork = std::move(network);
        CQubopostApp app(windows, env);
        const int status = app.Run();
        EXPECT_FALSE(app.comStarted);
        return {status, windows.dialogs, windows.messages};
    }
    std::string RegistryPath() const { return dir.File("config/qubopost/registry.ini"); }
    bool Registered() {
        RegistryFile registry(RegistryPath());
        registry.Load();
        const std::string appId = "HKCR\\AppID\\" + std::string(kAppIdGuid);
        return registry.GetValue(appId, "") == std::optional<std::string>("Qubopost") &&
               registry.GetValue("HKCR\\AppID\\Qubopost.EXE", "AppID") ==
                   std::optional<std::string>(std::string(kAppIdGuid));
    }

    TempDir dir;
};

}  // namespace

TEST_F(StartUp, RegistrationSwitchesEndWithoutAWindowInAnyCase) {
    for (const char* args : {"/RegServer", "-regserver", "/REGSERVER", "--RegServer",
                             "/x /RegServer", "-/-RegServer"}) {
        SCOPED_TRACE(args);
        const Launch launch = Start(args);
        EXPECT_EQ(launch.status, 0);
        EXPECT_EQ(launch.dialogs, 0);
        EXPECT_TRUE(launch.messages.empty());
        EXPECT_TRUE(Registered());
        const Launch removal = Start("/UnregServer");
        EXPECT_EQ(removal.dialogs, 0);
        EXPECT_FALSE(Registered());
    }
}

TEST_F(StartUp, SwitchCountsOnlyAtTheVeryEnd) {
    for (const char* args :
         {"/RegServer x", "/RegServerX", "/Reg Server", "RegServer", "/UnregServer2"}) {
        SCOPED_TRACE(args);
        const Launch launch = Start(args);
        EXPECT_EQ(launch.dialogs, 1);
        EXPECT_FALSE(Registered());
    }
    // A trailing blank keeps the switch from counting: the whole rest of the line is compared.
    EXPECT_EQ(Start("/RegServer ").dialogs, 1);
}

TEST_F(StartUp, HyphenInTheProgramsFolderDoesNotHideTheSwitch) {
    // The executable's path holds '-' (the temporary folder and "bin-dir").
    EXPECT_EQ(Start("-RegServer").dialogs, 0);
    EXPECT_TRUE(Registered());
}

TEST_F(StartUp, UnregisterKeepsTheNoRemoveKeyAndOtherEntries) {
    RegistryFile registry(RegistryPath());
    registry.Load();
    registry.SetValue("HKCR\\AppID\\{other}", "", "Someone else");
    std::string error;
    ASSERT_TRUE(registry.Save(&error)) << error;

    Start("/RegServer");
    ASSERT_TRUE(Registered());
    Start("/unregserver");
    RegistryFile after(RegistryPath());
    ASSERT_TRUE(after.Load());
    EXPECT_TRUE(after.KeyExists("HKCR\\AppID"));
    EXPECT_FALSE(after.KeyExists("HKCR\\AppID\\" + std::string(kAppIdGuid)));
    EXPECT_FALSE(after.KeyExists("HKCR\\AppID\\Qubopost.EXE"));
    EXPECT_EQ(after.GetValue("HKCR\\AppID\\{other}", ""),
              std::optional<std::string>("Someone else"));
}

TEST_F(StartUp, EmbeddedAndAutomationLaunchesShowNothing) {
    for (const char* args : {"-Embedding", "/automation", "-AUTOMATION"}) {
        const Launch launch = Start(args);
        EXPECT_EQ(launch.status, 0);
        EXPECT_EQ(launch.dialogs, 0);
        EXPECT_TRUE(launch.messages.empty());
    }
}

TEST_F(StartUp, NetworkFailureShowsTheSocketMessage) {
    const Launch launch = Start("", [] { return false; });
    EXPECT_EQ(launch.status, 0);
    EXPECT_EQ(launch.dialogs, 0);
    ASSERT_EQ(launch.messages.size(), 1u);
    EXPECT_EQ(launch.messages[0], "Windows ｿｹｯﾄの初期化に失敗しました。");
}

TEST_F(StartUp, NormalStartRunsTheDialogAndItsCloseSavesBesideTheExecutable) {
    MakeFolders(dir.File("bin-dir"));
    const Launch launch = Start("");
    EXPECT_EQ(launch.status, 0);
    EXPECT_EQ(launch.dialogs, 1);
    EXPECT_NE(TempDir::Read(dir.File("bin-dir/CQubopostDlg.ini")), "");
}

TEST(SettingsPath, IsTheExecutablesFolderWhateverTheCurrentDirectory) {
    EXPECT_EQ(SettingsPathFor("/opt/a b/qubopost"), "/opt/a b/CQubopostDlg.ini");
    EXPECT_EQ(SettingsPathFor("/qubopost"), "/CQubopostDlg.ini");
    const std::string deep = "/" + std::string(600, 'd') + "/qubopost";
    EXPECT_EQ(SettingsPathFor(deep), "/" + std::string(600, 'd') + "/CQubopostDlg.ini");
}

TEST(SettingsPath, InstalledProgramsKeepTheirSettingsInTheUsersFolder) {
    TempDir dir;
    const std::string config = dir.File("config/qubopost");
    // A portable copy keeps its settings beside itself.
    MakeFolders(dir.File("portable"));
    EXPECT_EQ(ChooseSettingsPath(dir.File("portable/qubopost"), config),
              dir.File("portable/CQubopostDlg.ini"));
    // An installed one (bin/ of a prefix with share/qubopost) uses the configuration folder...
    MakeFolders(dir.File("prefix/bin"));
    MakeFolders(dir.File("prefix/share/qubopost"));
    EXPECT_EQ(ChooseSettingsPath(dir.File("prefix/bin/qubopost"), config),
              config + "/CQubopostDlg.ini");
    // ...unless a settings file already lies beside it.
    TempDir::Write(dir.File("prefix/bin/CQubopostDlg.ini"), "[HostData]\n");
    EXPECT_EQ(ChooseSettingsPath(dir.File("prefix/bin/qubopost"), config),
              dir.File("prefix/bin/CQubopostDlg.ini"));
}
