// qubopost-cli: article generation and posting without a window, for scripts.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "article/article_generator.h"
#include "article/ranking_request.h"
#include "mail/bsmtp.h"
#include "platform/encoding.h"
#include "platform/http.h"
#include "platform/profile.h"
#include "posting/posting_run.h"
#include "resources/strings.h"

namespace {

constexpr const char* kUsage = R"(Usage:
  qubopost-cli generate [--kind monthly|daily|pickup] [--product download|mailmag|goods]
                        [--category TEXT] [--af ID] [--page FILE] [--print-url]
                        [--output-encoding utf-8|sjis]
  qubopost-cli post --article FILE (--to ADDR)... [--to-file FILE] --server HOST --port PORT
                    --from ADDR [--header FILE] [--footer FILE] [--pause SECONDS] [--dry-run]
                    [--input-encoding utf-8|sjis]
  qubopost-cli --help

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
  --output-encoding
                utf-8 (default) or sjis (the program's own Shift-JIS bytes)
  The page is fetched with one HTTP GET, honouring http_proxy, https_proxy and no_proxy.
  The article text goes to standard output.

post: mails the article text, three articles a message, to every address, as the dialog's
  "ブログ投稿開始" does, through the SMTP server HOST:PORT (465: TLS from the start; other
  ports: STARTTLS when offered, required when ~/.netrc holds credentials for HOST).
  --article FILE  the article text (articles separated by -----into-----)
  --to ADDR       a destination address; may be given several times
  --to-file FILE  destination addresses, one per line
  --from ADDR     the sender address
  --header FILE, --footer FILE
                  text put before and after each message body
  --pause SECONDS pause after each message that went out (default 60)
  --dry-run       send nothing; print every message that would go out
  --input-encoding
                  utf-8 (default) or sjis: the encoding of the files
  Each log line is printed as it is written, then the final message. The exit status is 0
  exactly when every message went out.

Errors go to standard error with a non-zero exit status.
)";

struct Arguments {
    std::map<std::string, std::string> values;
    std::vector<std::string> to;
    bool printUrl = false;
    bool dryRun = false;
    bool help = false;
};

int Fail(const std::string& message) {
    std::cerr << "qubopost-cli: " << message << "\n";
    return 2;
}

std::optional<Arguments> Parse(int argc, char** argv, int first, const std::vector<std::string>& withValue,
                               std::string* error) {
    Arguments args;
    for (int i = first; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            args.help = true;
        } else if (arg == "--print-url") {
            args.printUrl = true;
        } else if (arg == "--dry-run") {
            args.dryRun = true;
        } else if (std::find(withValue.begin(), withValue.end(), arg) != withValue.end()) {
            if (i + 1 >= argc) {
                *error = arg + " needs a value";
                return std::nullopt;
            }
            if (arg == "--to") {
                args.to.emplace_back(argv[++i]);
            } else {
                args.values[arg] = argv[++i];
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

int Generate(const Arguments& args) {
    const std::string kind = Value(args, "--kind", "monthly");
    const std::string product = Value(args, "--product", "download");
    const std::string encoding = Value(args, "--output-encoding", "utf-8");
    if (kind != "monthly" && kind != "daily" && kind != "pickup") return Fail("--kind must be monthly, daily or pickup");
    if (product != "download" && product != "mailmag" && product != "goods") {
        return Fail("--product must be download, mailmag or goods");
    }
    if (encoding != "utf-8" && encoding != "sjis") return Fail("--output-encoding must be utf-8 or sjis");

    const Text productKind = ProductKindFor(product == "download", product == "mailmag", product == "goods");
    const Text rankingKind = RankingKindFor(kind == "monthly", kind == "daily", kind == "pickup");
    const Text category = CategoryCodeFor(Sjis(Value(args, "--category", "すべて")));
    const Text affiliateId = AffiliateIdFor(Sjis(Value(args, "--af")));
    const Text url = MakeRankingUrl(productKind, category, affiliateId, rankingKind, RankingHost());
    if (args.printUrl) {
        std::cout << url.Bytes() << "\n";
        return 0;
    }

    RankingPage page;
    if (args.values.count("--page")) {
        std::string error;
        auto bytes = ReadFileBytes(Value(args, "--page"), &error);
        if (!bytes) return Fail("cannot read " + Value(args, "--page") + ": " + error);
        page = ConvertRankingPage(*bytes);
    } else {
        page = FetchRankingPage(url, HttpOptions{});
    }
    if (page.outcome == RankingPage::Outcome::NetworkError) {
        std::cerr << ToUtf8(Sjis(texts::kNetworkError)) << ": " << page.error << " (" << url.Bytes() << ")\n";
        return 1;
    }
    if (page.outcome == RankingPage::Outcome::ConverterUnavailable) {
        std::cerr << ToUtf8(Sjis(texts::kConverterUnavailable)) << "\n";
        return 1;
    }
    const auto rankingKindValue = ParseRankingKind(rankingKind);
    const Text article = GenerateArticle(page.page, *rankingKindValue);
    const std::string out = encoding == "sjis" ? article.Bytes() : ToUtf8(article);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}

// A file's text as the dialog's fields hold it: CP932 with CR LF line ends.
std::optional<Text> ReadFieldFile(const std::string& path, bool sjis, std::string* error) {
    auto bytes = ReadFileBytes(path, error);
    if (!bytes) return std::nullopt;
    Text text = sjis ? Text(std::move(*bytes)) : Sjis(*bytes);
    std::string crlf;
    const std::string& raw = text.Bytes();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r')) crlf += '\r';
        crlf += raw[i];
    }
    return Text(std::move(crlf));
}

class ConsoleEvents : public PostingEvents {
public:
    explicit ConsoleEvents(std::chrono::milliseconds pause) : m_pause(pause) {}
    void OnRange(int) override {}
    void OnProgressStep() override {}
    void OnLogLine(const Text& line) override { std::cout << ToUtf8(line) << std::endl; }
    bool Pause() override {
        std::this_thread::sleep_for(m_pause);
        return true;
    }
    bool StopRequested() override { return false; }

private:
    std::chrono::milliseconds m_pause;
};

int Post(const Arguments& args) {
    const std::string encoding = Value(args, "--input-encoding", "utf-8");
    if (encoding != "utf-8" && encoding != "sjis") return Fail("--input-encoding must be utf-8 or sjis");
    const bool sjis = encoding == "sjis";
    for (const char* required : {"--article", "--server", "--port", "--from"}) {
        if (Value(args, required).empty()) return Fail(std::string(required) + " is required");
    }
    if (args.to.empty() && !args.values.count("--to-file")) return Fail("give --to or --to-file");

    double pauseSeconds = 60;
    if (args.values.count("--pause")) {
        char* end = nullptr;
        pauseSeconds = std::strtod(Value(args, "--pause").c_str(), &end);
        if (!end || *end || pauseSeconds < 0 || pauseSeconds > 86400) return Fail("--pause takes seconds (0 to 86400)");
    }

    std::string error;
    PostingInputs inputs;
    auto article = ReadFieldFile(Value(args, "--article"), sjis, &error);
    if (!article) return Fail("cannot read " + Value(args, "--article") + ": " + error);
    inputs.article = *article;
    for (const char* name : {"--header", "--footer"}) {
        if (!args.values.count(name)) continue;
        auto text = ReadFieldFile(Value(args, name), sjis, &error);
        if (!text) return Fail("cannot read " + Value(args, name) + ": " + error);
        (std::strcmp(name, "--header") == 0 ? inputs.header : inputs.footer) = *text;
    }
    for (const std::string& to : args.to) inputs.blogAddresses += Sjis(to) + "\r\n";
    if (args.values.count("--to-file")) {
        auto list = ReadFieldFile(Value(args, "--to-file"), sjis, &error);
        if (!list) return Fail("cannot read " + Value(args, "--to-file") + ": " + error);
        inputs.blogAddresses += *list;
    }
    inputs.smtpServer = Sjis(Value(args, "--server"));
    inputs.smtpPort = Sjis(Value(args, "--port"));
    inputs.fromAddress = Sjis(Value(args, "--from"));

    MailSender send = BSendMail;
    if (args.dryRun) {
        send = [](const char* server, const char* to, const char* from, const char* subject, const char* body,
                  const char*, char*) {
            std::cout << "--- message via " << ToUtf8(Text(server)) << "\nFrom: " << ToUtf8(Text(from))
                      << "\nTo: " << ToUtf8(Text(to)) << "\nSubject: " << ToUtf8(Text(subject)) << "\n\n"
                      << ToUtf8(Text(body)) << "\n--- end of message\n";
            return 1;
        };
    }
    const auto pause = std::chrono::milliseconds(args.dryRun ? 0 : static_cast<long long>(pauseSeconds * 1000));
    ConsoleEvents events(pause);
    const bool sent = ExecutePosting(inputs, send, events);
    std::cout << ToUtf8(Sjis(sent ? texts::kPostingDone : texts::kPostingFailed)) << std::endl;
    return sent ? 0 : 1;
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
    if (!StartNetwork()) return Fail("the network library could not be started");
    std::string error;
    if (command == "generate") {
        auto args = Parse(argc, argv, 2, {"--kind", "--product", "--category", "--af", "--page", "--output-encoding"},
                          &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        return Generate(*args);
    }
    if (command == "post") {
        auto args = Parse(argc, argv, 2,
                          {"--article", "--to", "--to-file", "--server", "--port", "--from", "--header", "--footer",
                           "--pause", "--input-encoding"},
                          &error);
        if (!args) return Fail(error);
        if (args->help) return std::cout << kUsage, 0;
        return Post(*args);
    }
    return Fail("unknown command " + command + " (see --help)");
}
