// Article generation over large ranking pages.
// - BM_Generate: the generator alone on the converted page; the time per byte should stay
//   flat as pages grow (the generator is linear), with and without descriptions.
// - BM_PageVsIconv: the whole generation from a saved EUC-JP page file to /dev/null (read,
//   convert, scan, rewrite, write: what `qubopost-cli generate --page` does after start-up)
//   against one iconv(3) pass over the same file (EUC-JP-MS to CP932, read and written the
//   same way), for each page shape of bench/ranking_page.h. Every iteration runs both, one
//   right after the other, in alternating order; the counters are the medians of the times
//   and of the per-pair ratios, so that load on the machine falls on both alike. peak_x_page
//   is the memory the generation adds at its peak (in a child process, from the kernel's
//   peak resident set) divided by the page size; iconv_peak_x_page the same for the anchor.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <iconv.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "article/article_generator.h"
#include "article/generate_file.h"
#include "platform/encoding.h"
#include "ranking_page.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::article;

static void BM_Generate(benchmark::State& state) {
    const int products = static_cast<int>(state.range(0));
    const bool withDescriptions = state.range(1) != 0;
    const Text page(MakeRankingPage(products, withDescriptions));
    for (auto _ : state) {
        Text article = GenerateArticle(page, RankingKind::Monthly);
        benchmark::DoNotOptimize(article);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.GetLength());
    state.counters["page_MB"] = page.GetLength() / 1e6;
}
BENCHMARK(BM_Generate)
    ->ArgsProduct({{2500, 5000, 10000, 20000, 40000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

namespace {

// Products per shape for pages of about 7.5 MB of EUC-JP each.
int ProductsFor(PageShape shape) {
    switch (shape) {
        case PageShape::Links:
            return 28700;
        case PageShape::Descriptions:
            return 20000;
        case PageShape::LongLines:
            return 9000;
        case PageShape::ShortRows:
            return 12800;
    }
    return 0;
}

// The page of a shape as an EUC-JP file in the temporary folder, written once per run.
const std::string& PageFile(PageShape shape) {
    static std::map<PageShape, std::string> files;
    auto found = files.find(shape);
    if (found != files.end()) return found->second;
    const char* tmp = std::getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/qubopost-bench-" +
                       PageShapeName(shape) + "-" + std::to_string(getpid()) + ".html";
    const auto eucjp =
        ConvertEncoding(MakeShapedPage(ProductsFor(shape), shape), "windows-31j", "EUC-JP");
    std::ofstream(path, std::ios::binary)
        .write(eucjp->data(), static_cast<std::streamsize>(eucjp->size()));
    static const struct Cleanup {
        ~Cleanup() {
            for (const auto& file : files) std::remove(file.second.c_str());
        }
    } cleanup;
    return files.emplace(shape, std::move(path)).first->second;
}

std::size_t FileSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    return static_cast<std::size_t>(in.tellg());
}

// The anchor: the file read in 256 KiB pieces, converted by iconv and written out, as the
// iconv program does.
bool IconvPass(const std::string& path, int outFd) {
    iconv_t cd = iconv_open("CP932", "EUC-JP-MS");
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        iconv_close(cd);
        return false;
    }
    std::vector<char> in(std::size_t{256} * 1024 + 8);
    std::vector<char> out(std::size_t{512} * 1024);
    std::size_t kept = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = read(fd, in.data() + kept, in.size() - 8 - kept);
        if (n <= 0) break;
        char* inPos = in.data();
        std::size_t inLeft = kept + static_cast<std::size_t>(n);
        while (inLeft > 0) {
            char* outPos = out.data();
            std::size_t outLeft = out.size();
            const std::size_t r = iconv(cd, &inPos, &inLeft, &outPos, &outLeft);
            if (write(outFd, out.data(), out.size() - outLeft) < 0) ok = false;
            if (r == static_cast<std::size_t>(-1)) {
                if (errno == E2BIG) continue;
                if (errno == EILSEQ) {
                    ++inPos;
                    --inLeft;
                    continue;
                }
                break;  // EINVAL: a character cut at the end of the piece
            }
        }
        std::copy(inPos, inPos + inLeft, in.data());
        kept = inLeft;
    }
    close(fd);
    iconv_close(cd);
    return ok;
}

bool GeneratePass(const std::string& path, int outFd) {
    return GenerateFromPageFile(path, RankingKind::Monthly, OutputEncoding::Sjis, outFd)
        .Succeeded();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long StatusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    }
    return -1;
}

// The memory a pass adds at its peak, in bytes, measured in a child process: the kernel's
// peak resident set is reset at the start (clear_refs 5) and read at the end. -1 when the
// system can't tell.
double PeakGrowth(bool (*pass)(const std::string&, int), const std::string& path, int outFd) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
        long growth = -1;
        // The heap the parent freed but kept would be taken again without counting.
        malloc_trim(0);
        if (std::ofstream("/proc/self/clear_refs") << "5") {
            const long before = StatusKb("VmRSS:");
            pass(path, outFd);
            const long peak = StatusKb("VmHWM:");
            if (before >= 0 && peak >= 0) growth = peak - before;
        }
        if (write(pipeFds[1], &growth, sizeof growth) < 0) _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    long growth = -1;
    if (child < 0 ||
        read(pipeFds[0], &growth, sizeof growth) != static_cast<ssize_t>(sizeof growth))
        growth = -1;
    close(pipeFds[0]);
    if (child > 0) waitpid(child, nullptr, 0);
    return growth < 0 ? -1 : static_cast<double>(growth) * 1024;
}

}  // namespace

static void BM_PageVsIconv(benchmark::State& state) {
    const auto shape = static_cast<PageShape>(state.range(0));
    const std::string& path = PageFile(shape);
    const double pageBytes = static_cast<double>(FileSize(path));
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    // One of each first: the page in the page cache, the conversion tables built.
    if (!GeneratePass(path, devNull) || !IconvPass(path, devNull)) {
        state.SkipWithError("the generation or the iconv pass failed");
        close(devNull);
        return;
    }
    std::vector<double> ours, anchor, ratios;
    bool oursFirst = true;
    for (auto _ : state) {
        double times[2];
        for (int turn = 0; turn < 2; ++turn) {
            const bool runOurs = (turn == 0) == oursFirst;
            const auto start = std::chrono::steady_clock::now();
            if (runOurs) {
                GeneratePass(path, devNull);
            } else {
                IconvPass(path, devNull);
            }
            times[runOurs ? 0 : 1] =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
        }
        ours.push_back(times[0]);
        anchor.push_back(times[1]);
        ratios.push_back(times[0] / times[1]);
        oursFirst = !oursFirst;
    }
    state.counters["page_MB"] = pageBytes / 1e6;
    state.counters["ours_ms"] = Median(ours);
    state.counters["iconv_ms"] = Median(anchor);
    state.counters["ratio"] = Median(ratios);
    state.counters["peak_x_page"] = PeakGrowth(GeneratePass, path, devNull) / pageBytes;
    state.counters["iconv_peak_x_page"] = PeakGrowth(IconvPass, path, devNull) / pageBytes;
    state.SetLabel(PageShapeName(shape));
    close(devNull);
}
BENCHMARK(BM_PageVsIconv)
    ->DenseRange(0, 3)
    ->ArgName("shape")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(41);

BENCHMARK_MAIN();
