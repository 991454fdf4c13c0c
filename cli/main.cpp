// qubopost-cli: article generation and posting without a window, for scripts.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <set>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "article/article_generator.h"
#include "article/fetch_errors.h"
#include "article/generate_file.h"
#include "journal/history_text.h"
#include "journal/journal.h"
#include "platform/field_text.h"
#include "mail/mail_library.h"
#include "platform/process.h"
#include "posting/run_journal.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"
#include "settings/settings_path.h"
#include "article/ranking_request.h"
#include "platform/encoding.h"
#include "platform/http.h"
#include "platform/profile.h"
#include "posting/destinations.h"
#include "posting/disclosure.h"
#include "posting/posting_engine.h"
#include "posting/posting_run.h"
#include "posting/stop_signal.h"
#include "resources/strings.h"

namespace {

namespace journal = qubopost::journal;

constexpr const char* kUsage = R"(Usage:
  qubopost-cli generate [--kind monthly|daily|pickup] [--product download|mailmag|goods]
                        [--category TEXT] [--af ID] [--page FILE] [--print-url]
                        [--output-encoding utf-8|sjis] [--ranking-host HOST[:PORT]]
                        [--settings FILE]
  qubopost-cli post --article FILE (--to ADDR|URL)... [--to-file FILE] [--server HOST --port PORT
                    --from ADDR] [--header FILE] [--footer FILE] [--pause SECONDS] [--dry-run]
                    [--draft] [--input-encoding utf-8|sjis] [--restart] [--resend-uncertain]
                    [--retry-failed] [--again] [--no-journal] [--tls-trust-file FILE]
                    [--settings FILE]
  qubopost-cli resume [RUN] [--pause SECONDS] [--resend-uncertain] [--draft] [--tls-trust-file FILE]
  qubopost-cli history [--run ID] [--limit N]
  qubopost-cli credentials set --server HOST[:PORT] --user USER   (password on standard input)
  qubopost-cli credentials forget --server HOST
  qubopost-cli credentials list
  qubopost-cli --help | --version

generate: builds article text from a ranking page, as the dialog's "記事自動生成" does.
  --kind        ranking kind: monthly (1-month ranking, default), daily (24-hour ranking)
                or pickup (pickup products)
  --product     product kind: download (default), mailmag (paid mail magazines) or goods
  --category    the category as the dialog's combo box takes it, in UTF-8: one of its labels
                (すべて (default), ビジネス・情報源, 趣味・生活・雑誌, 芸能・音楽,
                小説・ノンフィクション, 写真集・グラビア, 漫画・同人誌) or any other text,
                which is sent as it is
  --af          affiliate ID (default: the program's own ID)
  --print-url   print the ranking URL and exit
  --page FILE   take FILE's bytes as the downloaded page (EUC-JP) instead of fetching it
  --ranking-host HOST[:PORT]
                the ranking service for this run; default: [Ranking] Host= of the settings
                file, else the host the program was built with
  --output-encoding
                utf-8 (default) or sjis (the program's own Shift-JIS bytes)
  The page is fetched with one HTTP GET, honouring http_proxy, https_proxy and no_proxy.
  The article text goes to standard output. A page without a single product gives no
  article and exit status 1.

post: mails the article text, three articles a message, to every address, as the dialog's
  "ブログ投稿開始" does, through the SMTP server HOST:PORT (465, or HOST written as
  smtps://HOST: TLS from the start; other ports: STARTTLS when offered, required when a
  password is stored for HOST in the key ring or ~/.netrc).
  A destination may also be a blog's URL with the user name in it
  (https://taro@blog.example.jp/): each group is then posted through the blog's own API
  (WordPress REST, XML-RPC or AtomPub, found from the URL; "wordpress+", "xmlrpc+" or
  "atompub+" in front of the URL forces one) as one entry, title = the subject, the text as
  HTML. Its password (a WordPress application password, an API key) comes from the key ring
  (credentials set --server HOST[:PORT] --user USER) or ~/.netrc (machine HOST login USER
  password ...), never from the command line. Plain http:// only to this machine. A blog that
  refuses the login gets nothing more in that run; the other destinations go on. The post's
  address is recorded (history shows it).
  --article FILE  the article text (articles separated by -----into-----)
  --to ADDR|URL   a destination: a mail address or a blog's URL; may be given several times
  --to-file FILE  destinations, one per line
  --server HOST, --port PORT, --from ADDR
                  the SMTP server and the sender; needed only when a destination is a mail
                  address
  --header FILE, --footer FILE
                  text put before and after each message body
  --pause SECONDS pause after each message that went out (default 60; 0 or more)
  --dry-run       send nothing; print every message and post that would go out
  --draft         post to blogs as drafts (also [Qubopost] Draft=1 in the settings file);
                  mail destinations are not affected
  --input-encoding
                  utf-8 (default) or sjis: the encoding of the files
  --restart       start over even when an earlier run of the same inputs did not finish
  --resend-uncertain
                  when resuming, send again the messages whose result is unknown (the
                  connection broke after the final "."): they may arrive twice
  --retry-failed  after a finished run with failures, send only the failed messages
  --again         post again what a finished run of the same inputs already posted
  --no-journal    post without recording the run (it cannot be resumed)
  --tls-trust-file FILE
                  PEM file of a private certificate authority to trust (default: the
                  settings file's [Qubopost] TrustFile=)
  --settings FILE the settings file (default: the one the window uses)
  Every run is recorded whole in $XDG_STATE_HOME/qubopost/history.sqlite3 (a journal that
  cannot be opened, checked or written stops the run before anything is sent). A run with the
  same inputs as an earlier one that was stopped or killed resumes: what went out is not sent
  again. The same inputs as a finished run post nothing unless --again, --retry-failed or
  --resend-uncertain. One process at a time posts a run; a second one says which process
  owns it. The next message never goes out sooner than the pause after the last message sent
  to that server, also across processes. Each log line is printed as it is written, then
  the final message. The exit status is 0 exactly when every message went out; 2 for input
  errors.

resume: finishes the newest unfinished run (or RUN) from the journal alone, without its
  input files: sent messages are skipped, uncertain ones sent only with --resend-uncertain.
  A run posted as drafts goes on as drafts (--draft makes every blog post of it a draft).
  With nothing to resume it says so and exits 0.

history: the recorded runs, newest first, with the address of each blog post; --run ID lists
  that run's messages (a post's address under its message).

credentials: stores the password of an SMTP server or a blog (HOST as in its URL) in the desktop
  key ring (Secret Service), removes it, or lists the stored hosts and users (never passwords).

Errors go to standard error with a non-zero exit status.
)";

struct Arguments {
    std::map<std::string, std::string> values;
    std::vector<std::string> to;
    std::set<std::string> flags;
    bool help = false;
    bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
};

int Fail(const std::string& message) {
    std::cerr << "qubopost-cli: " << message << "\n";
    return 2;
}

std::optional<Arguments> Parse(int argc, char** argv, int first, const std::vector<std::string>& withValue,
                               const std::vector<std::string>& flags, std::string* error) {
    Arguments args;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (std::find(flags.begin(), flags.end(), arg) != flags.end()) {
            args.flags.insert(arg);
        } else if (std::find(withValue.begin(), withValue.end(), arg) != withValue.end()) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return std::nullopt;
            }
            if (arg == "--to") {
                args.to.emplace_back(argv[++i]);
            } else if (!args.values.emplace(arg, argv[++i]).second) {
                *error = arg + " was given twice; give it once";
                return std::nullopt;
            }
        } else {
            *error = "unknown option " + arg + " (see --help)";
            return std::nullopt;
        }
    }
    return args;
}

std::string Value(const Arguments& args, const std::string& name, const std::string& fallback = "") {
    auto it = args.values.find(name);
    return it == args.values.end() ? fallback : it->second;
}

// An explicit --settings must name a readable file: silently using none would post with
// other settings than the user meant.
int CheckSettingsOption(const Arguments& args) {
    if (!args.values.count("--settings")) return 0;
    const std::string path = Value(args, "--settings");
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return Fail("--settings のファイル " + path + " がありません（" + std::strerror(errno) + "）。パスを確かめてください。");
    if (S_ISDIR(info.st_mode)) return Fail("--settings の " + path + " はフォルダーです。設定ファイルを指定してください。");
    if (access(path.c_str(), R_OK) != 0)
        return Fail("--settings のファイル " + path + " を読めません（" + std::strerror(errno) + "）。");
    return 0;
}

std::string SettingsPath(const Arguments& args) {
    if (args.values.count("--settings")) return Value(args, "--settings");
    return ChooseSettingsPath(ExecutablePath(), UserConfigFolder());
}

int Generate(const Arguments& args) {
    const std::string kind = Value(args, "--kind", "monthly");
    const std::string product = Value(args, "--product", "download");
    const std::string encoding = Value(args, "--output-encoding", "utf-8");
    if (kind != "monthly" && kind != "daily" && kind != "pickup") return Fail("--kind must be monthly, daily or pickup");
    if (product != "download" && product != "mailmag" && product != "goods") {
        return Fail("--product must be download, mailmag or goods");
    }
    if (encoding != "utf-8" && encoding != "sjis") return Fail("--output-encoding must be utf-8 or sjis");

    const std::string host = RankingHostInUse(SettingsPath(args), Value(args, "--ranking-host"), RankingHost());
    if (!IsValidRankingHost(host))
        return Fail("ランキングサービスのホスト「" + host + "」が正しくありません。HOST または HOST:PORT の形で指定してください。");

    const Text productKind = ProductKindFor(product == "download", product == "mailmag", product == "goods");
    const Text rankingKind = RankingKindFor(kind == "monthly", kind == "daily", kind == "pickup");
    const Text category = CategoryCodeFor(Sjis(Value(args, "--category", "すべて")));
    const Text affiliateId = AffiliateIdFor(Sjis(Value(args, "--af")));
    const Text url = MakeRankingUrl(productKind, category, affiliateId, rankingKind, host);
    if (args.Has("--print-url")) {
        std::cout << url.Bytes() << "\n";
        return std::cout.flush() ? 0 : 1;
    }

    const auto rankingKindValue = ParseRankingKind(rankingKind);
    const OutputEncoding output = encoding == "sjis" ? OutputEncoding::Sjis : OutputEncoding::Utf8;
    GenerateResult result;
    if (args.values.count("--page")) {
        result = GenerateFromPageFile(Value(args, "--page"), *rankingKindValue, output, STDOUT_FILENO);
    } else {
        if (!StartNetwork()) return Fail("the network library could not be started");
        const RankingPage page = FetchRankingPage(url, HttpOptions{});
        if (page.outcome == RankingPage::Outcome::NetworkError) {
            std::cerr << ToUtf8(Sjis(texts::kNetworkError)) << "\n"
                      << DescribeFetchFailure(page.error, host) << "\n(" << url.Bytes() << ")\n";
            return 1;
        }
        if (page.outcome == RankingPage::Outcome::ConverterUnavailable) {
            std::cerr << ToUtf8(Sjis(texts::kConverterUnavailable)) << "\n";
            return 1;
        }
        result = GenerateFromPage(page.page, *rankingKindValue, output, STDOUT_FILENO);
    }
    if (result.nulBytesDropped > 0)
        std::cerr << "qubopost-cli: ランキングページの記事になる部分にあった NUL バイト " << result.nulBytesDropped
                  << " 個は文字ではないため、取り除きました。\n";
    if (result.Succeeded()) return 0;
    std::cerr << "qubopost-cli: " << GenerateErrorMessage(result, Value(args, "--page")) << "\n";
    return 1;
}

// A file's text as the posting takes it: UTF-8 with CR LF line ends. Refuses NUL bytes and
// bytes that are no text in the file's encoding (each named, with its line).
std::optional<Text> ReadInputFile(const std::string& path, bool sjis, std::string* error) {
    FieldFileError failure;
    auto text = ReadFieldFile(path, sjis, &failure);
    if (!text) *error = FieldFileErrorMessage(failure, path);
    return text;
}

volatile std::sig_atomic_t g_interrupted = 0;

// Text for the terminal: control characters (escape sequences among them) are shown as
// \x1b, never passed on; line ends and tabs stay.
std::string TerminalSafe(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\n' && c != '\r' && c != '\t') || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    // C1 controls (U+0080..U+009F, C2 80..C2 9F in UTF-8) act as escapes on some terminals.
    std::string safe;
    safe.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        const auto next = i + 1 < out.size() ? static_cast<unsigned char>(out[i + 1]) : 0;
        if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(next));
            safe += escaped;
            ++i;
        } else {
            safe += out[i];
        }
    }
    return safe;
}

bool ParsePause(const Arguments& args, double* seconds) {
    if (!args.values.count("--pause")) return true;
    const std::string text = Value(args, "--pause");
    char* end = nullptr;
    *seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || !end || *end || !std::isfinite(*seconds) || *seconds < 0 || *seconds > 86400) {
        Fail("--pause は 0 以上 86400 以下の秒数で指定してください（「" + text + "」）。");
        return false;
    }
    return true;
}

int RunEngine(const Arguments& args, double pauseSeconds, const PostingInputs* inputs,
              std::optional<journal::RunId> run, bool draft);

int Post(const Arguments& args) {
    const std::string encoding = Value(args, "--input-encoding", "utf-8");
    if (encoding != "utf-8" && encoding != "sjis") return Fail("--input-encoding must be utf-8 or sjis");
    const bool sjis = encoding == "sjis";
    if (Value(args, "--article").empty()) return Fail("--article is required");
    if (args.to.empty() && !args.values.count("--to-file")) return Fail("give --to or --to-file");

    double pauseSeconds = 60;
    if (!ParsePause(args, &pauseSeconds)) return 2;
    const std::string server = Value(args, "--server");
    const std::string port = Value(args, "--port");
    std::string error;
    PostingInputs inputs;
    for (const std::string& to : args.to) {
        if (to.find_first_of("\r\n") != std::string::npos || to.find('\0') != std::string::npos)
            return Fail("--to のアドレスに改行が含まれています。");
        inputs.blogAddresses += Text(to + "\r\n");
    }
    if (args.values.count("--to-file")) {
        auto list = ReadInputFile(Value(args, "--to-file"), sjis, &error);
        if (!list) return Fail(error);
        inputs.blogAddresses += *list;
    }
    // The SMTP server and the sender only when some destination is a mail address.
    const bool mailServer = NeedsMailServer(inputs.blogAddresses) || !server.empty() || !port.empty();
    if (NeedsMailServer(inputs.blogAddresses)) {
        for (const char* required : {"--server", "--port", "--from"}) {
            if (Value(args, required).empty())
                return Fail(std::string(required) + " is required (a destination is a mail address)");
        }
    }
    if (mailServer) {
        const std::string hostPart = server.rfind("smtps://", 0) == 0 ? server.substr(8) : server;
        if (hostPart.find(':') != std::string::npos && hostPart.front() != '[')
            return Fail("--server にはホスト名だけを書き、ポート番号は --port で指定してください（「" + server + "」）。");
        if (!IsPortNumber(port))
            return Fail("--port は 1～65535 の数字で指定してください（「" + port + "」）。");
    }
    if (args.Has("--restart") && (args.Has("--retry-failed") || args.Has("--resend-uncertain")))
        return Fail("--restart は --retry-failed、--resend-uncertain と一緒には使えません。");
    if (args.Has("--again") && (args.Has("--retry-failed") || args.Has("--resend-uncertain")))
        return Fail("--again は --retry-failed、--resend-uncertain と一緒には使えません。");

    auto article = ReadInputFile(Value(args, "--article"), sjis, &error);
    if (!article) return Fail(error);
    inputs.article = std::move(*article);
    for (const char* name : {"--header", "--footer"}) {
        if (!args.values.count(name)) continue;
        auto text = ReadInputFile(Value(args, name), sjis, &error);
        if (!text) return Fail(error);
        (std::strcmp(name, "--header") == 0 ? inputs.header : inputs.footer) = *text;
    }
    inputs.smtpServer = Text(server);
    inputs.smtpPort = Text(port);
    inputs.fromAddress = Text(Value(args, "--from"));
    // What a message must not carry is named here; every other character goes as typed.
    for (const auto& [name, text] : {std::pair<const char*, const Text*>{"--article", &inputs.article},
                                     {"--header", &inputs.header},
                                     {"--footer", &inputs.footer},
                                     {"--to", &inputs.blogAddresses},
                                     {"--from", &inputs.fromAddress}}) {
        const std::vector<UnmappableChar> controls = FindControlCharacters(text->Bytes(), 1);
        if (!controls.empty()) return Fail(std::string(name) + " に送れない文字があります: " + DescribeControlCharacter(controls.front()));
    }

    const RunPlan plan = PlanRun(inputs);
    if (plan.groups.empty())
        return Fail("記事に投稿できる記事がありません。記事は「-----into-----」で区切ります（区切りが 2 つ以上必要です）。");
    if (plan.addresses.empty()) return Fail("投稿先のアドレスがありません（--to または --to-file）。");
    if (const std::vector<std::string> problems = DestinationProblems(inputs.blogAddresses); !problems.empty()) {
        std::string all;
        for (const std::string& problem : problems) all += (all.empty() ? "" : "\n") + problem;
        return Fail(all);
    }
    const bool draft = args.Has("--draft") || ReadDraftSetting(SettingsPath(args));
    // A warning, never a refusal: the user may post without it.
    if (!HasAdvertisingDisclosure(inputs.header.Bytes(), inputs.footer.Bytes(), inputs.article.Bytes()))
        std::cerr << "qubopost-cli: 注意: " << DisclosureWarning() << "（--header のファイルの先頭に入れてください）\n";

    if (args.Has("--dry-run")) {
        int posts = 0;
        for (const PlannedMessage& message : plan.messages) {
            if (message.kind == DestinationKind::Blog) {
                ++posts;
                std::cout << "--- post " << message.number << " to " << TerminalSafe(message.address.Bytes())
                          << (draft ? " (draft)" : "") << "\nTitle: " << TerminalSafe(message.subject.Bytes()) << "\n\n"
                          << TerminalSafe(qubopost::blogapi::TextToHtml(plan.Body(inputs, message.group).Bytes()))
                          << "\n--- end of post\n";
                continue;
            }
            std::cout << "--- message " << message.number << " via " << TerminalSafe(plan.server.Bytes())
                      << "\nFrom: " << TerminalSafe(inputs.fromAddress.Bytes())
                      << "\nTo: " << TerminalSafe(message.address.Bytes())
                      << "\nSubject: " << TerminalSafe(message.subject.Bytes()) << "\n\n"
                      << TerminalSafe(plan.Body(inputs, message.group).Bytes()) << "\n--- end of message\n";
        }
        std::cout << plan.messages.size() - posts << " 通のメール"
                  << (posts > 0 ? "と " + std::to_string(posts) + " 件のブログへの投稿" : std::string())
                  << "を表示しました（--dry-run のため何も送っていません）。" << std::endl;
        return std::cout ? 0 : 1;
    }

    return RunEngine(args, pauseSeconds, &inputs, std::nullopt, draft);
}

// The engine's questions, answered from the options: nothing is asked on a terminal.
class OptionAnswers : public PostingQuestions {
public:
    explicit OptionAnswers(const Arguments& args) : m_args(args) {}
    Resume AskResume(const journal::RunSummary& run, int sent) override {
        if (m_args.Has("--restart")) return Resume::Restart;
        std::cout << "前回中断した投稿を続きから再開します（" << run.id << " 番、" << ShortLocalTime(run.startedAt)
                  << " 開始。全 " << run.total << " 通のうち送信済み " << sent << " 通は送りません。最初からやり直すには --restart）。"
                  << std::endl;
        return Resume::Resume;
    }
    bool AskResendUncertain(const std::vector<journal::MessageRecord>& uncertain) override {
        if (m_args.Has("--resend-uncertain")) return true;
        std::cout << "送信結果が不明のメールが " << uncertain.size()
                  << " 通あります。届いていないことを確かめたら --resend-uncertain で送れます:" << std::endl;
        for (const auto& message : uncertain)
            std::cout << "  " << message.number << " " << TerminalSafe(StoredTextToUtf8(message.destination)) << " "
                      << TerminalSafe(StoredTextToUtf8(message.subject)) << std::endl;
        return false;
    }
    Finished AskFinished(const journal::RunSummary& run, int failed, int uncertain) override {
        if (m_args.Has("--again")) return Finished::All;
        if (m_args.Has("--retry-failed") || m_args.Has("--resend-uncertain")) return Finished::RetryFailed;
        std::cout << "この内容は " << ShortLocalTime(run.endedAt.value_or(run.startedAt)) << " に投稿済みです（" << run.id
                  << " 番: 送信 " << run.sent << " 通、失敗 " << failed << " 通、不明 " << uncertain
                  << " 通）。何も送っていません。\n"
                  << "失敗したメールだけを送るには --retry-failed、結果が不明のメールも送るには --resend-uncertain、"
                     "もう一度すべて送るには --again を付けてください。"
                  << std::endl;
        return Finished::Cancel;
    }

private:
    const Arguments& m_args;
};

class ConsoleEvents : public EngineEvents {
public:
    void OnRange(int) override {}
    void OnProgressStep() override {}
    void OnLogLine(const Text& line) override { std::cout << TerminalSafe(line.Bytes()) << std::endl; }
    bool StopRequested() override { return g_interrupted != 0; }
};

StopSignal g_stop;

void OnInterrupt(int) {
    g_interrupted = 1;
    g_stop.Raise();
}

// Posts `inputs`, or (without them) the unfinished run `run` or the newest one from the journal.
int RunEngine(const Arguments& args, double pauseSeconds, const PostingInputs* inputs,
              std::optional<journal::RunId> run, bool draft) {
    // The mail library (and the TLS, MIME and key-ring libraries behind it) is loaded only
    // for posting.
    std::string loadError;
    const MailFunctions mail = LoadMailFunctions(kMailLibraryName, &loadError);
    if (!mail) {
        std::cerr << "qubopost-cli: " << ToUtf8(Sjis(texts::kMailLibraryMissing)) << " (" << loadError << ")\n";
        return 1;
    }
    if (!StartNetwork()) return Fail("the network library could not be started");
    std::string trustFile = Value(args, "--tls-trust-file");
    if (trustFile.empty() && inputs) trustFile = ReadSetting(SettingsPath(args), kProgramSection, "TrustFile").value_or("");
    if (!trustFile.empty() && access(trustFile.c_str(), R_OK) != 0)
        return Fail("信頼する証明書のファイル " + trustFile + " を読めません。");

    EngineSetup setup;
    setup.journalPath = journal::DefaultJournalPath();
    setup.noJournal = args.Has("--no-journal");
    setup.pause = std::chrono::milliseconds(static_cast<long long>(pauseSeconds * 1000));
    setup.trustFile = trustFile;
    if (mail.sendMailNotify) {
        setup.send = mail.sendMailNotify;
    } else {
        setup.send = Notifying(mail.sendMailEx);
    }
    setup.setOption = mail.setOption;
    setup.draft = draft;
    if (setup.noJournal)
        std::cerr << "qubopost-cli: --no-journal: この投稿は投稿履歴に記録しません。止めたり中断したりすると、続きから再開できません。\n";

    PostingEngine engine(setup, g_stop);
    OptionAnswers answers(args);
    std::string message;
    const PostingEngine::Ready ready =
        inputs ? engine.Prepare(*inputs, answers, &message) : engine.PrepareStored(run, answers, &message);
    switch (ready) {
        case PostingEngine::Ready::Go:
            break;
        case PostingEngine::Ready::Cancelled:
            return 1;
        case PostingEngine::Ready::NothingToDo:
            std::cout << message << std::endl;
            return 0;
        case PostingEngine::Ready::Refused:
            std::cerr << "qubopost-cli: " << message << "\n";
            return 1;
    }

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    ConsoleEvents console;
    const RunOutcome outcome = engine.Run(console);
    if (outcome.Succeeded()) {
        std::cout << ToUtf8(Sjis(texts::kPostingDone)) << std::endl;
        return 0;
    }
    if (outcome.stopped) {
        std::cout << "投稿を停止しました。送信済み " << outcome.sent + outcome.skipped << " 通、未送信 " << outcome.notSent
                  << " 通です。" << (setup.noJournal ? "" : "qubopost-cli resume で続きから再開します。") << std::endl;
        return 1;
    }
    const bool onlyBlogsRefused = !outcome.loginRefused && outcome.uncertain == 0 &&
                                  outcome.failed == static_cast<int>(outcome.refusedBlogs.size());
    if (outcome.refusedBlogs.empty() || !onlyBlogsRefused) std::cout << ToUtf8(Sjis(texts::kPostingFailed)) << std::endl;
    for (const Text& blog : outcome.refusedBlogs) {
        std::string advice;
        if (const auto parsed = qubopost::blogapi::ParseDestination(blog.Bytes(), nullptr)) advice = BlogPasswordAdvice(*parsed);
        std::cout << "ブログ " << TerminalSafe(blog.Bytes()) << " がログインを受け付けなかったため、この投稿先には残りを投稿していません。"
                  << TerminalSafe(advice) << "設定し直したら qubopost-cli resume で続きを投稿できます。" << std::endl;
    }
    if (outcome.loginRefused)
        std::cout << "SMTPサーバがユーザー名またはパスワードを受け付けませんでした。qubopost-cli credentials set で保存し直してください。未送信 "
                  << outcome.notSent << " 通。" << std::endl;
    else if (outcome.uncertain > 0)
        std::cout << "送信結果が不明のメールが " << outcome.uncertain
                  << " 通あります。ブログに届いたか確かめ、届いていなければ --resend-uncertain で送ってください。" << std::endl;
    return 1;
}

int Resume(const Arguments& args, std::optional<journal::RunId> run) {
    double pauseSeconds = 60;
    if (!ParsePause(args, &pauseSeconds)) return 2;
    return RunEngine(args, pauseSeconds, nullptr, run, args.Has("--draft"));
}

int History(const Arguments& args) {
    std::string error;
    std::unique_ptr<RunJournal> journal = RunJournal::Open(qubopost::journal::DefaultJournalPath(), &error);
    if (!journal) return Fail("投稿履歴を開けません: " + error);
    auto toUtf8 = [](std::string_view stored) { return TerminalSafe(StoredTextToUtf8(stored)); };
    std::optional<qubopost::journal::RunId> run;
    if (args.values.count("--run")) {
        const std::string number = Value(args, "--run");
        char* end = nullptr;
        const long long id = std::strtoll(number.c_str(), &end, 10);
        if (!end || *end || id <= 0) return Fail("--run には履歴の番号を指定してください。");
        run = id;
    }
    int limit = 50;
    if (args.values.count("--limit")) limit = std::atoi(Value(args, "--limit").c_str());
    auto text = qubopost::journal::HistoryText(journal->Journal(), run, limit, toUtf8);
    if (!text) return Fail(text.error().message);
    std::cout << *text;
    return std::cout.flush() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "qubopost-cli " << QUBOPOST_VERSION << "\n";
        return 0;
    }
    std::string error;
    if (command == "credentials") {
        std::string loadError;
        const MailFunctions mail = LoadMailFunctions(kMailLibraryName, &loadError);
        if (!mail.credentialsCommand) return Fail(ToUtf8(Sjis(texts::kMailLibraryMissing)) + " (" + loadError + ")");
        return mail.credentialsCommand(argc, argv, 2);
    }
    if (command == "history") {
        auto args = Parse(argc, argv, 2, {"--run", "--limit"}, {}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        return History(*args);
    }
    if (command == "generate") {
        auto args = Parse(argc, argv, 2,
                          {"--kind", "--product", "--category", "--af", "--page", "--output-encoding",
                           "--ranking-host", "--settings"},
                          {"--print-url"}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        if (const int status = CheckSettingsOption(*args); status != 0) return status;
        return Generate(*args);
    }
    if (command == "post") {
        auto args = Parse(argc, argv, 2,
                          {"--article", "--to", "--to-file", "--server", "--port", "--from", "--header", "--footer",
                           "--pause", "--input-encoding", "--tls-trust-file", "--settings"},
                          {"--dry-run", "--draft", "--restart", "--resend-uncertain", "--retry-failed", "--again",
                           "--no-journal"},
                          &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        if (const int status = CheckSettingsOption(*args); status != 0) return status;
        return Post(*args);
    }
    if (command == "resume") {
        std::optional<journal::RunId> run;
        int first = 2;
        if (argc > 2 && argv[2][0] != '-') {
            char* end = nullptr;
            const long long id = std::strtoll(argv[2], &end, 10);
            if (!end || *end || id <= 0) return Fail("resume の後には投稿履歴の番号を指定してください（「" + std::string(argv[2]) + "」）。");
            run = id;
            first = 3;
        }
        auto args =
            Parse(argc, argv, first, {"--pause", "--tls-trust-file"}, {"--resend-uncertain", "--draft"}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        return Resume(*args, run);
    }
    return Fail("unknown command " + command + " (see --help)");
}
