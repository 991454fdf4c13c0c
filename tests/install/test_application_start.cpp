// The application object as the dialog program starts it: tied to its desktop entry, named
// as the desktop entry's StartupWMClass says, and with Qt's own texts (the edit menu of text
// fields, the standard buttons) in Japanese exactly when the user's language is Japanese.
//
// Each locale needs a process of its own (the toolkit reads it once), so every case runs this
// executable again as a probe under the offscreen platform, with the case's locale variables
// and without a display, and reads what the probe's widgets show.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "gui/qt_window_system.h"

using namespace qubopost::view;
using namespace qubopost::gui;
using namespace qubopost::platform;

extern char** environ;

namespace {

constexpr const char* kProbeSwitch = "--probe-application";

// The probe: starts the application the way main does, then prints one line "key=text" for
// each text it looks at.
void PrintText(const char* key, const QString& text) {
    // A menu entry carries its shortcut after a tab; only the entry's own text is compared.
    std::printf("%s=%s\n", key, text.section(QLatin1Char('\t'), 0, 0).toUtf8().constData());
}

int Probe(int argc, char** argv) {
    QtWindowSystem windows(argc, argv);
    windows.StartApplication();
    PrintText("desktop-file", QGuiApplication::desktopFileName());
    PrintText("application", QCoreApplication::applicationName());
    {
        QLineEdit field(QStringLiteral("text"));
        field.selectAll();
        std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        // The entries in their order, separators left out: undo, redo, cut, copy, paste,
        // delete, select all.
        int index = 0;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            PrintText(("menu-" + std::to_string(index++)).c_str(), action->text());
        }
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                             QDialogButtonBox::Close);
        PrintText("button-cancel", box.button(QDialogButtonBox::Cancel)->text());
        PrintText("button-close", box.button(QDialogButtonBox::Close)->text());
        QMessageBox question(QMessageBox::Question, QStringLiteral("t"), QStringLiteral("q"),
                             QMessageBox::Yes | QMessageBox::No);
        PrintText("button-yes", question.button(QMessageBox::Yes)->text());
        PrintText("button-no", question.button(QMessageBox::No)->text());
    }
    std::fflush(stdout);
    return 0;
}

// Runs the probe with the locale variables given (all others of the kind removed), the
// offscreen platform and no display; returns its lines as a map.
std::map<std::string, std::string> RunProbe(const std::vector<std::string>& locale) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (name == "LANG" || name == "LANGUAGE" || name.rfind("LC_", 0) == 0 ||
            name == "DISPLAY" || name == "WAYLAND_DISPLAY" || name == "QT_QPA_PLATFORM")
            continue;
        variables.push_back(text);
    }
    variables.push_back("QT_QPA_PLATFORM=offscreen");
    variables.insert(variables.end(), locale.begin(), locale.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    int out[2];
    EXPECT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    posix_spawn_file_actions_addclose(&actions, out[1]);
    std::string self = "/proc/self/exe";
    std::string probe = kProbeSwitch;
    char* argv[] = {self.data(), probe.data(), nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; spawned == 0 && (n = read(out[0], buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            output.append(buffer, static_cast<size_t>(n));
        else if (errno != EINTR)
            break;
    }
    close(out[0]);
    EXPECT_EQ(spawned, 0) << std::strerror(spawned);
    int status = 0;
    if (spawned == 0) waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "probe status " << status;

    std::map<std::string, std::string> texts;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        const size_t equals = line.find('=');
        if (equals != std::string::npos) texts[line.substr(0, equals)] = line.substr(equals + 1);
        start = end + 1;
    }
    return texts;
}

struct LocaleCase {
    const char* name;
    std::vector<std::string> variables;
    bool japanese;
};

// Printed in a test's name and message instead of its bytes.
void PrintTo(const LocaleCase& c, std::ostream* out) {
    *out << c.name;
    for (const std::string& variable : c.variables) *out << " " << variable;
}

// Qt's texts as its Japanese translation (qt6-translations-l10n) and its source give them.
const std::map<std::string, std::string> kJapanese = {
    {"menu-0", "元に戻す(&U)"}, {"menu-1", "やり直す(&R)"},      {"menu-2", "切り取り(&T)"},
    {"menu-3", "コピー(&C)"},   {"menu-4", "貼り付け(&P)"},      {"menu-5", "削除"},
    {"menu-6", "すべてを選択"}, {"button-cancel", "キャンセル"}, {"button-close", "閉じる"},
    {"button-yes", "はい(&Y)"}, {"button-no", "いいえ(&N)"},
};
const std::map<std::string, std::string> kEnglish = {
    {"menu-0", "&Undo"},      {"menu-1", "&Redo"},         {"menu-2", "Cu&t"},
    {"menu-3", "&Copy"},      {"menu-4", "&Paste"},        {"menu-5", "Delete"},
    {"menu-6", "Select All"}, {"button-cancel", "Cancel"}, {"button-close", "Close"},
    {"button-yes", "&Yes"},   {"button-no", "&No"},
};

class ApplicationStart : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(ApplicationStart, ToolkitTextsFollowTheUsersLanguage) {
    const LocaleCase& c = GetParam();
    const auto texts = RunProbe(c.variables);
    const auto& expected = c.japanese ? kJapanese : kEnglish;
    for (const auto& [key, text] : expected) {
        ASSERT_TRUE(texts.count(key)) << "the probe showed no " << key;
        EXPECT_EQ(texts.at(key), text) << key;
    }
}

TEST_P(ApplicationStart, WindowsBelongToTheDesktopEntry) {
    const auto texts = RunProbe(GetParam().variables);
    // The Wayland app ID and the desktop entry's file name without ".desktop".
    EXPECT_EQ(texts.count("desktop-file") ? texts.at("desktop-file") : "", "org.qubopost.Qubopost");
    // The X11 window class, which the desktop entry names in StartupWMClass.
    EXPECT_EQ(texts.count("application") ? texts.at("application") : "", "qubopost");
}

const LocaleCase kLocales[] = {
    {"LangJapanese", {"LANG=ja_JP.UTF-8"}, true},
    {"LangJapaneseEucJp", {"LANG=ja_JP.eucJP"}, true},
    {"LangJapaneseLanguageOnly", {"LANG=ja"}, true},
    {"LcAllJapanese", {"LANG=en_US.UTF-8", "LC_ALL=ja_JP.UTF-8"}, true},
    {"LcMessagesJapanese", {"LANG=en_US.UTF-8", "LC_MESSAGES=ja_JP.UTF-8"}, true},
    {"LcAllCOverJapanese", {"LANG=ja_JP.UTF-8", "LC_ALL=C"}, false},
    {"LcMessagesCOverJapanese", {"LANG=ja_JP.UTF-8", "LC_MESSAGES=C"}, false},
    {"LangEnglish", {"LANG=en_US.UTF-8"}, false},
    // Qt has German texts too; a Japanese window gets English ones, not a third language.
    {"LangGerman", {"LANG=de_DE.UTF-8"}, false},
    {"NoLocale", {}, false},
};

INSTANTIATE_TEST_SUITE_P(Locales, ApplicationStart, ::testing::ValuesIn(kLocales),
                         [](const ::testing::TestParamInfo<LocaleCase>& info) {
                             return info.param.name;
                         });

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], kProbeSwitch) == 0) return Probe(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
