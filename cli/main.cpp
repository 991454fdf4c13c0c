// qubopost-cli: article generation and posting without a window, for scripts.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "article/article_generator.h"
#include "article/fetch_errors.h"
#include "article/generate_file.h"
#include "article/ranking_request.h"
#include "journal/history_text.h"
#include "journal/journal.h"
#include "mail/mail_library.h"
#include "platform/encoding.h"
#include "platform/field_text.h"
#include "platform/http.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "posting/destinations.h"
#include "posting/disclosure.h"
#include "posting/posting_engine.h"
#include "posting/posting_run.h"
#include "posting/run_journal.h"
#include "posting/stop_signal.h"
#include "resources/messages/messages.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"
#include "settings/settings_path.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::article;
using namespace qubopost::posting;

namespace qubopost::cli {

namespace {

namespace journal = qubopost::journal;
namespace msg = qubopost::messages;
using msg::Say;

struct Arguments {
    std::map<std::string, std::string> values;
    std::vector<std::string> to;
    std::set<std::string> flags;
    bool help = false;
    bool Has(const std::string& flag) const { return flags.count(flag) > 0; }
};

int Fail(std::string_view message) {
    std::cerr << "qubopost-cli: " << message << "\n";
    return 2;
}

std::optional<Arguments> Parse(int argc, char** argv, int first,
                               const std::vector<std::string>& withValue,
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
                *error = Say(msg::kCliNeedsValue, {arg});
                return std::nullopt;
            }
            if (arg == "--to") {
                args.to.emplace_back(argv[++i]);
            } else if (!args.values.emplace(arg, argv[++i]).second) {
                *error = Say(msg::kCliGivenTwice, {arg});
                return std::nullopt;
            }
        } else {
            *error = Say(msg::kCliUnknownOption, {arg});
            return std::nullopt;
        }
    }
    return args;
}

std::string Value(const Arguments& args, const std::string& name,
                  const std::string& fallback = "") {
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
        return Fail(Say(msg::kCliSettingsMissing, {path, std::strerror(errno)}));
    if (S_ISDIR(info.st_mode)) return Fail(Say(msg::kCliSettingsIsFolder, {path}));
    if (access(path.c_str(), R_OK) != 0)
        return Fail(Say(msg::kCliSettingsUnreadable, {path, std::strerror(errno)}));
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
    if (kind != "monthly" && kind != "daily" && kind != "pickup")
        return Fail(Say(msg::kCliKindInvalid));
    if (product != "download" && product != "mailmag" && product != "goods") {
        return Fail(Say(msg::kCliProductInvalid));
    }
    if (encoding != "utf-8" && encoding != "sjis") return Fail(Say(msg::kCliOutputEncodingInvalid));

    const std::string host =
        RankingHostInUse(SettingsPath(args), Value(args, "--ranking-host"), RankingHost());
    if (!IsValidRankingHost(host)) return Fail(Say(msg::kCliRankingHostInvalid, {host}));

    const Text productKind =
        ProductKindFor(product == "download", product == "mailmag", product == "goods");
    const Text rankingKind = RankingKindFor(kind == "monthly", kind == "daily", kind == "pickup");
    // kept byte for byte: "すべて" is the label the ranking service's category table is keyed by.
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
        result =
            GenerateFromPageFile(Value(args, "--page"), *rankingKindValue, output, STDOUT_FILENO);
    } else {
        if (!StartNetwork()) return Fail(Say(msg::kCliNetworkUnavailable));
        const RankingPage page = FetchRankingPage(url, HttpOptions{});
        if (page.outcome == RankingPage::Outcome::NetworkError) {
            std::cerr << Say(msg::kCliNetworkError) << "\n"
                      << DescribeFetchFailure(page.error, host) << "\n(" << url.Bytes() << ")\n";
            return 1;
        }
        if (page.outcome == RankingPage::Outcome::ConverterUnavailable) {
            std::cerr << Say(msg::kCliConverterUnavailable) << "\n";
            return 1;
        }
        result = GenerateFromPage(page.page, *rankingKindValue, output, STDOUT_FILENO);
    }
    if (result.nulBytesDropped > 0)
        std::cerr << "qubopost-cli: "
                  << Say(msg::kCliNulBytesDropped, {std::to_string(result.nulBytesDropped)})
                  << "\n";
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
    if (text.empty() || !end || *end || !std::isfinite(*seconds) || *seconds < 0 ||
        *seconds > 86400) {
        Fail(Say(msg::kCliPauseInvalid, {text}));
        return false;
    }
    return true;
}

int RunEngine(const Arguments& args, double pauseSeconds, const PostingInputs* inputs,
              std::optional<journal::RunId> run, bool draft);

int Post(const Arguments& args) {
    const std::string encoding = Value(args, "--input-encoding", "utf-8");
    if (encoding != "utf-8" && encoding != "sjis") return Fail(Say(msg::kCliInputEncodingInvalid));
    const bool sjis = encoding == "sjis";
    if (Value(args, "--article").empty()) return Fail(Say(msg::kCliArticleRequired));
    if (args.to.empty() && !args.values.count("--to-file"))
        return Fail(Say(msg::kCliDestinationRequired));

    double pauseSeconds = 60;
    if (!ParsePause(args, &pauseSeconds)) return 2;
    const std::string server = Value(args, "--server");
    const std::string port = Value(args, "--port");
    std::string error;
    PostingInputs inputs;
    for (const std::string& to : args.to) {
        if (to.find_first_of("\r\n") != std::string::npos || to.find('\0') != std::string::npos)
            return Fail(Say(msg::kCliToHasLineBreak));
        inputs.blogAddresses += Text(to + "\r\n");
    }
    if (args.values.count("--to-file")) {
        auto list = ReadInputFile(Value(args, "--to-file"), sjis, &error);
        if (!list) return Fail(error);
        inputs.blogAddresses += *list;
    }
    // The SMTP server and the sender only when some destination is a mail address.
    const bool mailServer =
        NeedsMailServer(inputs.blogAddresses) || !server.empty() || !port.empty();
    if (NeedsMailServer(inputs.blogAddresses)) {
        for (const char* required : {"--server", "--port", "--from"}) {
            if (Value(args, required).empty())
                return Fail(Say(msg::kCliMailOptionRequired, {required}));
        }
    }
    if (mailServer) {
        const std::string hostPart = server.rfind("smtps://", 0) == 0 ? server.substr(8) : server;
        if (hostPart.find(':') != std::string::npos && hostPart.front() != '[')
            return Fail(Say(msg::kCliServerHasPort, {server}));
        if (!IsPortNumber(port)) return Fail(Say(msg::kCliPortInvalid, {port}));
    }
    if (args.Has("--restart") && (args.Has("--retry-failed") || args.Has("--resend-uncertain")))
        return Fail(Say(msg::kCliRestartConflicts));
    if (args.Has("--again") && (args.Has("--retry-failed") || args.Has("--resend-uncertain")))
        return Fail(Say(msg::kCliAgainConflicts));

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
    for (const auto& [name, text] :
         {std::pair<const char*, const Text*>{"--article", &inputs.article},
          {"--header", &inputs.header},
          {"--footer", &inputs.footer},
          {"--to", &inputs.blogAddresses},
          {"--from", &inputs.fromAddress}}) {
        const std::vector<UnmappableChar> controls = FindControlCharacters(text->Bytes(), 1);
        if (!controls.empty())
            return Fail(Say(msg::kCliUnsendableCharacter,
                            {name, DescribeControlCharacter(controls.front())}));
    }

    const RunPlan plan = PlanRun(inputs);
    if (plan.groups.empty()) return Fail(Say(msg::kCliNoArticles));
    if (plan.addresses.empty()) return Fail(Say(msg::kCliNoDestinations));
    if (const std::vector<std::string> problems = DestinationProblems(inputs.blogAddresses);
        !problems.empty()) {
        std::string all;
        for (const std::string& problem : problems) all += (all.empty() ? "" : "\n") + problem;
        return Fail(all);
    }
    const bool draft = args.Has("--draft") || ReadDraftSetting(SettingsPath(args));
    // A warning, never a refusal: the user may post without it.
    if (!HasAdvertisingDisclosure(inputs.header.Bytes(), inputs.footer.Bytes(),
                                  inputs.article.Bytes()))
        std::cerr << "qubopost-cli: " << Say(msg::kCliDisclosureNote, {DisclosureWarning()})
                  << "\n";

    if (args.Has("--dry-run")) {
        int posts = 0;
        for (const PlannedMessage& message : plan.messages) {
            if (message.kind == DestinationKind::Blog) {
                ++posts;
                std::cout << "--- post " << message.number << " to "
                          << TerminalSafe(message.address.Bytes()) << (draft ? " (draft)" : "")
                          << "\nTitle: " << TerminalSafe(message.subject.Bytes()) << "\n\n"
                          << TerminalSafe(qubopost::blogapi::TextToHtml(
                                 plan.Body(inputs, message.group).Bytes()))
                          << "\n--- end of post\n";
                continue;
            }
            std::cout << "--- message " << message.number << " via "
                      << TerminalSafe(plan.server.Bytes())
                      << "\nFrom: " << TerminalSafe(inputs.fromAddress.Bytes())
                      << "\nTo: " << TerminalSafe(message.address.Bytes())
                      << "\nSubject: " << TerminalSafe(message.subject.Bytes()) << "\n\n"
                      << TerminalSafe(plan.Body(inputs, message.group).Bytes())
                      << "\n--- end of message\n";
        }
        const std::string mails = std::to_string(plan.messages.size() - posts);
        std::cout << (posts > 0 ? Say(msg::kCliDryRunMailsAndPosts, {mails, std::to_string(posts)})
                                : Say(msg::kCliDryRunMails, {mails}))
                  << std::endl;
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
        std::cout << Say(msg::kCliResuming, {std::to_string(run.id), ShortLocalTime(run.startedAt),
                                             std::to_string(run.total), std::to_string(sent)})
                  << std::endl;
        return Resume::Resume;
    }
    bool AskResendUncertain(const std::vector<journal::MessageRecord>& uncertain) override {
        if (m_args.Has("--resend-uncertain")) return true;
        std::cout << Say(msg::kCliUncertainWaiting, {std::to_string(uncertain.size())})
                  << std::endl;
        for (const auto& message : uncertain)
            std::cout << "  " << message.number << " "
                      << TerminalSafe(StoredTextToUtf8(message.destination)) << " "
                      << TerminalSafe(StoredTextToUtf8(message.subject)) << std::endl;
        return false;
    }
    Finished AskFinished(const journal::RunSummary& run, int failed, int uncertain) override {
        if (m_args.Has("--again")) return Finished::All;
        if (m_args.Has("--retry-failed") || m_args.Has("--resend-uncertain"))
            return Finished::RetryFailed;
        std::cout << Say(msg::kCliAlreadyPosted,
                         {ShortLocalTime(run.endedAt.value_or(run.startedAt)),
                          std::to_string(run.id), std::to_string(run.sent), std::to_string(failed),
                          std::to_string(uncertain)})
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
    void OnLogLine(const Text& line) override {
        std::cout << TerminalSafe(line.Bytes()) << std::endl;
    }
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
        std::cerr << "qubopost-cli: " << Say(msg::kCliMailLibraryMissing) << " (" << loadError
                  << ")\n";
        return 1;
    }
    if (!StartNetwork()) return Fail(Say(msg::kCliNetworkUnavailable));
    std::string trustFile = Value(args, "--tls-trust-file");
    if (trustFile.empty() && inputs)
        trustFile = ReadSetting(SettingsPath(args), kProgramSection, "TrustFile").value_or("");
    if (!trustFile.empty() && access(trustFile.c_str(), R_OK) != 0)
        return Fail(Say(msg::kCliTrustFileUnreadable, {trustFile}));

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
    // The mail library's reasons (key ring, login) in the language this program speaks.
    mail.setOption("language", msg::CurrentLanguage() == msg::Language::English ? "en" : "ja");
    setup.draft = draft;
    if (setup.noJournal) std::cerr << "qubopost-cli: " << Say(msg::kCliNoJournal) << "\n";

    PostingEngine engine(setup, g_stop);
    OptionAnswers answers(args);
    std::string message;
    const PostingEngine::Ready ready = inputs ? engine.Prepare(*inputs, answers, &message)
                                              : engine.PrepareStored(run, answers, &message);
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
        std::cout << Say(msg::kCliPostingDone) << std::endl;
        return 0;
    }
    if (outcome.stopped) {
        std::cout << Say(msg::kCliStopped, {std::to_string(outcome.sent + outcome.skipped),
                                            std::to_string(outcome.notSent)})
                  << (setup.noJournal ? std::string_view() : Say(msg::kCliResumeHint)) << std::endl;
        return 1;
    }
    const bool onlyBlogsRefused = !outcome.loginRefused && outcome.uncertain == 0 &&
                                  outcome.failed == static_cast<int>(outcome.refusedBlogs.size());
    if (outcome.refusedBlogs.empty() || !onlyBlogsRefused)
        std::cout << Say(msg::kCliPostingFailed) << std::endl;
    for (const Text& blog : outcome.refusedBlogs) {
        std::string advice;
        if (const auto parsed = qubopost::blogapi::ParseDestination(blog.Bytes(), nullptr))
            advice = BlogPasswordAdvice(*parsed);
        std::cout << Say(msg::kCliBlogLoginRefused,
                         {TerminalSafe(blog.Bytes()), TerminalSafe(advice)})
                  << std::endl;
    }
    if (outcome.loginRefused)
        std::cout << Say(msg::kCliSmtpLoginRefused, {std::to_string(outcome.notSent)}) << std::endl;
    else if (outcome.uncertain > 0)
        std::cout << Say(msg::kCliUncertainAfterRun, {std::to_string(outcome.uncertain)})
                  << std::endl;
    return 1;
}

int Resume(const Arguments& args, std::optional<journal::RunId> run) {
    double pauseSeconds = 60;
    if (!ParsePause(args, &pauseSeconds)) return 2;
    return RunEngine(args, pauseSeconds, nullptr, run, args.Has("--draft"));
}

int History(const Arguments& args) {
    std::string error;
    std::unique_ptr<RunJournal> journal =
        RunJournal::Open(qubopost::journal::DefaultJournalPath(), &error);
    if (!journal) return Fail(Say(msg::kCliHistoryUnavailable, {error}));
    auto toUtf8 = [](std::string_view stored) { return TerminalSafe(StoredTextToUtf8(stored)); };
    std::optional<qubopost::journal::RunId> run;
    if (args.values.count("--run")) {
        const std::string number = Value(args, "--run");
        char* end = nullptr;
        const long long id = std::strtoll(number.c_str(), &end, 10);
        if (!end || *end || id <= 0) return Fail(Say(msg::kCliRunNumberInvalid));
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

int Main(int argc, char** argv) {
    msg::SetLanguageFromEnvironment();
    if (argc < 2) {
        std::cerr << Say(msg::kCliUsage);
        return 2;
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << Say(msg::kCliUsage);
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
        if (!mail.credentialsCommand)
            return Fail(std::string(Say(msg::kCliMailLibraryMissing)) + " (" + loadError + ")");
        return mail.credentialsCommand(argc, argv, 2);
    }
    if (command == "history") {
        auto args = Parse(argc, argv, 2, {"--run", "--limit"}, {}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << Say(msg::kCliUsage), 0;
        return History(*args);
    }
    if (command == "generate") {
        auto args = Parse(argc, argv, 2,
                          {"--kind", "--product", "--category", "--af", "--page",
                           "--output-encoding", "--ranking-host", "--settings"},
                          {"--print-url"}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << Say(msg::kCliUsage), 0;
        if (const int status = CheckSettingsOption(*args); status != 0) return status;
        return Generate(*args);
    }
    if (command == "post") {
        auto args =
            Parse(argc, argv, 2,
                  {"--article", "--to", "--to-file", "--server", "--port", "--from", "--header",
                   "--footer", "--pause", "--input-encoding", "--tls-trust-file", "--settings"},
                  {"--dry-run", "--draft", "--restart", "--resend-uncertain", "--retry-failed",
                   "--again", "--no-journal"},
                  &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << Say(msg::kCliUsage), 0;
        if (const int status = CheckSettingsOption(*args); status != 0) return status;
        return Post(*args);
    }
    if (command == "resume") {
        std::optional<journal::RunId> run;
        int first = 2;
        if (argc > 2 && argv[2][0] != '-') {
            char* end = nullptr;
            const long long id = std::strtoll(argv[2], &end, 10);
            if (!end || *end || id <= 0) return Fail(Say(msg::kCliResumeNumberInvalid, {argv[2]}));
            run = id;
            first = 3;
        }
        auto args = Parse(argc, argv, first, {"--pause", "--tls-trust-file"},
                          {"--resend-uncertain", "--draft"}, &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << Say(msg::kCliUsage), 0;
        return Resume(*args, run);
    }
    return Fail(Say(msg::kCliUnknownCommand, {command}));
}

}  // namespace qubopost::cli

int main(int argc, char** argv) { return qubopost::cli::Main(argc, argv); }
