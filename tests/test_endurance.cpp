// Long runs and hard stops: a posting run of a thousand messages keeps its memory and
// open files flat, and a settings save killed at any moment leaves the old or the new
// settings, complete.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <thread>

#include "mail/bsmtp.h"
#include "memory_view.h"
#include "platform/encoding.h"
#include "platform/profile.h"
#include "posting/posting_run.h"
#include "resources/control_table.h"
#include "smtp_fixture.h"
#include "temp_dir.h"
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;

namespace {

int OpenFiles() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir)) ++count;
        closedir(dir);
    }
    return count;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

class Sampler : public PostingEvents {
public:
    void OnRange(int) override {}
    void OnProgressStep() override {
        ++sent;
        if (sent == 100) {
            filesAt100 = OpenFiles();
            memoryAt100 = ResidentKiB();
        }
        filesAtEnd = OpenFiles();
        memoryAtEnd = ResidentKiB();
    }
    void OnLogLine(const Text& line) override {
        if (line.Find("送信エラー") == 0) ++failures;
    }
    bool Pause() override { return true; }
    bool StopRequested() override { return false; }
    int sent = 0, failures = 0, filesAt100 = 0, filesAtEnd = 0;
    long memoryAt100 = 0, memoryAtEnd = 0;
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST(Endurance, AThousandMessagesKeepMemoryAndOpenFilesFlat) {
    qubopost::test::SmtpClientEnvironment client;
    qubopost::test::SmtpServer server;
    Text addresses;
    for (int i = 0; i < 1000; ++i)
        addresses += Text("blog" + std::to_string(i) + "@example.jp\r\n");
    const PostingInputs inputs{
        "127.0.0.1",
        Text(std::to_string(server.port())),
        "me@example.jp",
        addresses,
        Text("\r\n\r\n-----into-----\r\n\r\n[title]件名\r\n\r\n本文です。\r\n\r\n-----into-----"),
        Text("ヘッダー\r\n"),
        Text("\r\nフッター")};
    Sampler sampler;
    EXPECT_TRUE(ExecutePosting(inputs, BSendMail, sampler));
    EXPECT_EQ(sampler.sent, 1000);
    EXPECT_EQ(sampler.failures, 0);
    EXPECT_EQ(server.messages().size(), 1000u);
    EXPECT_EQ(sampler.filesAtEnd, sampler.filesAt100);
    RecordProperty("open_files_at_100", sampler.filesAt100);
    RecordProperty("open_files_at_1000", sampler.filesAtEnd);
    RecordProperty("resident_kib_at_100", static_cast<int>(sampler.memoryAt100));
    RecordProperty("resident_kib_at_1000", static_cast<int>(sampler.memoryAtEnd));
    if (!kSanitized) {
        // A leak of even one kilobyte a message would show as a megabyte here.
        EXPECT_LT(sampler.memoryAtEnd - sampler.memoryAt100, 1024)
            << "KiB grown from message 100 to 1000";
    }
}

namespace {

// The seven values of one save, all naming its generation; the header is long enough that
// a write takes a while.
std::vector<std::pair<int, std::string>> Generation(int g) {
    const std::string n = std::to_string(g);
    return {{IDC_AFFILIATE_ID, "id-" + n},
            {IDC_FROM_ADDRESS, "from-" + n + "@example.jp"},
            {IDC_SMTP_SERVER, "smtp-" + n},
            {IDC_SMTP_PORT, n},
            {IDC_BLOG_ADDRESSES, "a-" + n + "@example.jp\r\nb-" + n + "@example.jp"},
            {IDC_HEADER, "ヘッダー" + n + "\r\n" + std::string(200000, 'h')},
            {IDC_FOOTER, "フッター" + n}};
}

[[noreturn]] void SaveForever(const std::string& path) {
    MemoryView view;
    DialogServices services;
    services.settingsPath = path;
    CQubopostDlg dialog(services);
    dialog.Attach(&view);
    for (int g = 1;; ++g) {
        for (const auto& [id, value] : Generation(g)) view.SetUtf8(id, value);
        dialog.SaveSettings();
    }
}

// The generation a settings file holds whole, or -1 when it is torn or mixed.
int WholeGeneration(const std::string& path) {
    auto bytes = ReadFileBytes(path);
    if (!bytes) return -1;
    const IniDocument doc = IniDocument::Parse(*bytes);
    auto port = doc.Get("HostData", "PORT");
    if (!port) return -1;
    const int g = std::atoi(port->c_str());
    std::string expected = "[HostData]\r\n";
    const char* keys[] = {"ID", "MAIL", "SMTP", "PORT", "BLOGMAIL", "HEADER", "FOOTER"};
    int i = 0;
    for (auto [id, value] : Generation(g)) {
        Text stored = Sjis(value);
        stored.Replace("\r\n", id == IDC_BLOG_ADDRESSES ? Sjis("・・") : Text(".."));
        expected += std::string(keys[i++]) + "=" + stored.Bytes() + "\r\n";
    }
    return *bytes == expected ? g : -1;
}

}  // namespace

TEST(Endurance, SettingsKilledWhileSavingAreAlwaysWhole) {
    TempDir dir;
    const std::string path = dir.File("CQubopostDlg.ini");
    std::mt19937 random(42);
    // How long one save takes here (a sanitizer build is several times slower): kills are
    // spread over a few saves' time, so they land before, during and after them.
    long long window = 60000;
    {
        MemoryView view;
        DialogServices services;
        services.settingsPath = dir.File("timing.ini");
        CQubopostDlg dialog(services);
        dialog.Attach(&view);
        for (const auto& [id, value] : Generation(1)) view.SetUtf8(id, value);
        const auto start = std::chrono::steady_clock::now();
        dialog.SaveSettings();
        dialog.SaveSettings();
        const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count();
        window = std::max<long long>(window, took * 3);
    }
    int previous = 0;
    for (int round = 0; round < 300; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) SaveForever(path);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % window));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        if (access(path.c_str(), F_OK) != 0) {
            ASSERT_EQ(previous, 0) << "the settings file vanished";
            continue;
        }
        const int g = WholeGeneration(path);
        ASSERT_GT(g, 0) << "round " << round << ": the file is torn or mixed";
        previous = g;
    }
    EXPECT_GT(previous, 0);
}
