// qubopost: the dialog program.
#include <cstdio>
#include <cstring>

#include "app/qubopost_app.h"
#include "gui/qt_window_system.h"
#include "platform/process.h"

using namespace qubopost::platform;
using namespace qubopost::app;
using namespace qubopost::gui;

namespace {

constexpr const char* kHelp = R"(使い方: qubopost [オプション]

アフィリエイト記事を作り、メールでブログに投稿する画面を開きます。
オプションを付けずに起動すると、その画面が開きます。

オプション:
  --help        この説明を表示して終了します。
  --version     バージョンを表示して終了します。
  /RegServer, -RegServer
                プログラムの登録情報をユーザーごとのレジストリファイル
                （$XDG_CONFIG_HOME/qubopost/registry.ini、未設定なら
                ~/.config/qubopost/registry.ini）に書き込み、画面を開かずに終了します。
  /UnregServer, -UnregServer
                その登録情報を削除し、画面を開かずに終了します。
  /Embedding, -Embedding, /Automation, -Automation
                ほかのプログラムからの起動です。画面を開かずに終了します。

/RegServer と /UnregServer はコマンドラインの最後に置いたときだけ働きます。
これらのスイッチは大文字と小文字を区別しません（/regserver も働きます）。
--help と --version はどこに置いても働き、先に書いたほうが優先されます。

設定は、インストールしたプログラムでは $XDG_CONFIG_HOME/qubopost/CQubopostDlg.ini
（未設定なら ~/.config/qubopost/CQubopostDlg.ini）に、フォルダに置いただけの
プログラムでは実行ファイルと同じフォルダに保存されます。
画面を開かずに記事の作成や投稿をするには qubopost-cli を使います（qubopost-cli --help）。
詳しくは man qubopost と man qubopost-cli をご覧ください。
)";

constexpr const char* kVersionLine = "qubopost " QUBOPOST_VERSION "\n";

// The GNU-style requests that end the program at once with text on standard output, before
// any window system is started (so they work without a display). The first one given counts;
// the registration switches are left to the application.
enum class Request { None, Help, Version };

Request FindRequest(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) return Request::Help;
        if (std::strcmp(argv[i], "--version") == 0) return Request::Version;
    }
    return Request::None;
}

// Writes text to standard output; a failed write (a full disk, a closed pipe) is an error.
int Print(const char* text) {
    const bool written = std::fputs(text, stdout) >= 0;
    if (std::fflush(stdout) == 0 && written) return 0;
    std::fputs(
        "qubopost: 標準出力に書き込めませんでした。出力先（ファイルやパイプ）を確認してください。\n",
        stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    switch (FindRequest(argc, argv)) {
        case Request::Help:
            return Print(kHelp);
        case Request::Version:
            return Print(kVersionLine);
        case Request::None:
            break;
    }
    qubopost::gui::QtWindowSystem windows(argc, argv);
    CQubopostApp::Environment environment;
    environment.commandLine = JoinCommandLine(argc, argv);
    environment.arguments.assign(argv + 1, argv + argc);
    environment.executablePath = ExecutablePath();
    environment.userConfigFolder = UserConfigFolder();
    environment.registryPath = environment.userConfigFolder + "/registry.ini";
    qubopost::app::CQubopostApp app(windows, std::move(environment));
    return app.Run();
}
