#include "article/generate_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

#include "platform/encoding.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::article {

namespace {

constexpr std::size_t kReadPiece = std::size_t{256} * 1024;
constexpr std::size_t kWritePiece = std::size_t{256} * 1024;

// Makes the memory of a large buffer present at once, in huge pages where the system
// gives them: one call instead of a page fault for every 4 KiB the conversion writes
// (page faults cost more than the conversion itself). Nothing happens where the system
// can't do it.
void Prefault(std::string& buffer) {
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + buffer.capacity()) & ~(kPage - 1);
    if (last <= first + 64 * kPage) return;
    char* start = buffer.data() + (first - begin);
#ifdef MADV_HUGEPAGE
    madvise(start, last - first, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    madvise(start, last - first, MADV_POPULATE_WRITE);
#endif
}

// Holds SIGPIPE off for the run, so that a reader that went away shows as EPIPE; a
// SIGPIPE the run itself caused is taken back before the signal mask is restored.
class PipeSignalHold {
public:
    PipeSignalHold() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigemptyset(&pending);
        sigpending(&pending);
        m_wasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalHold() {
        if (m_caused && !m_wasPending) {
            const timespec none{};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    void Caused() { m_caused = true; }

private:
    sigset_t m_pipe;
    sigset_t m_old;
    bool m_wasPending = false;
    bool m_caused = false;
};

// The article's way out: held back until the first article is there, then written in
// pieces, converted to UTF-8 on the way when asked.
class ArticleOutput {
public:
    // The UTF-8 conversion (and its table) only when the output asks for it.
    ArticleOutput(OutputEncoding encoding, int fd, PipeSignalHold& pipe)
        : m_utf8(encoding == OutputEncoding::Utf8), m_fd(fd), m_pipe(pipe) {
        if (m_utf8) m_stream = std::make_unique<Utf8Stream>();
    }

    bool Ready() const { return !m_utf8 || m_stream->Ready(); }

    void Take(std::string_view sjis, bool open) {
        if (m_error) return;
        m_held.append(sjis);
        if (open && m_held.size() >= kWritePiece) Flush(false);
    }

    // The rest goes out; last: the article has ended.
    void Flush(bool last) {
        if (m_error) return;
        std::string_view bytes = m_held;
        if (m_utf8) {
            m_converted.clear();
            m_stream->Feed(m_held, m_converted, last);
            bytes = m_converted;
        }
        Write(bytes);
        m_held.clear();
    }

    int Error() const { return m_error; }
    std::uint64_t Written() const { return m_written; }

private:
    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = write(m_fd, bytes.data(), bytes.size());
            if (n < 0) {
                if (errno == EINTR) continue;
                m_error = errno;
                if (m_error == EPIPE) m_pipe.Caused();
                return;
            }
            if (n == 0) {
                m_error = EIO;
                return;
            }
            bytes.remove_prefix(static_cast<std::size_t>(n));
            m_written += static_cast<std::uint64_t>(n);
        }
    }

    bool m_utf8;
    int m_fd;
    PipeSignalHold& m_pipe;
    std::unique_ptr<Utf8Stream> m_stream;
    std::string m_held;
    std::string m_converted;
    int m_error = 0;
    std::uint64_t m_written = 0;
};

// Scans the converted page and writes the article.
GenerateResult WriteArticle(std::string_view page, RankingKind kind, OutputEncoding encoding,
                            int outFd) {
    GenerateResult result;
    PipeSignalHold pipe;
    ArticleOutput output(encoding, outFd, pipe);
    if (!output.Ready()) {
        result.outcome = GenerateResult::Outcome::ConverterUnavailable;
        return result;
    }
    const ArticleRewriter* counter = nullptr;
    ArticleRewriter rewriter(kind, [&output, &counter](std::string_view piece) {
        output.Take(piece, counter->Articles() > 0);
    });
    counter = &rewriter;
    GenerateArticle(page, rewriter);
    result.articles = rewriter.Articles();
    result.nulBytesDropped = rewriter.NulBytesDropped();
    if (!output.Error() && result.articles == 0) {
        result.outcome = GenerateResult::Outcome::NoProducts;
        return result;
    }
    output.Flush(true);
    result.bytesWritten = output.Written();
    if (output.Error()) {
        result.outcome = GenerateResult::Outcome::WriteFailed;
        result.error = output.Error();
    }
    return result;
}

}  // namespace

GenerateResult GenerateFromPageFile(const std::string& pagePath, RankingKind kind,
                                    OutputEncoding encoding, int outFd) {
    GenerateResult failed;
    const int fd = open(pagePath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        failed.outcome = GenerateResult::Outcome::PageUnreadable;
        failed.error = errno;
        return failed;
    }
    struct stat info {};
    std::string page;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // The CP932 form of a page is never longer than its EUC-JP bytes; one more for the
        // line end a last line may get.
        page.reserve(static_cast<std::size_t>(info.st_size) + 1);
        Prefault(page);
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    PieceConverter converter("EUC-JP", "windows-31j");
    if (!converter.Ready()) {
        close(fd);
        failed.outcome = GenerateResult::Outcome::ConverterUnavailable;
        return failed;
    }
    std::vector<char> buffer(kReadPiece);
    char last = '\n';
    bool any = false;
    for (;;) {
        const ssize_t n = read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            failed.outcome = GenerateResult::Outcome::PageUnreadable;
            failed.error = errno;
            close(fd);
            return failed;
        }
        if (n == 0) break;
        converter.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), page);
        last = buffer[static_cast<std::size_t>(n) - 1];
        any = true;
    }
    close(fd);
    buffer = std::vector<char>();
    converter.Finish(page);
    if (!converter.Ready()) {
        failed.outcome = GenerateResult::Outcome::ConverterUnavailable;
        return failed;
    }
    // The page text is the body's lines, each ending in a line end (PageTextFromBody).
    if (any && last != '\n') page += '\n';
    return WriteArticle(page, kind, encoding, outFd);
}

GenerateResult GenerateFromPage(const Text& page, RankingKind kind, OutputEncoding encoding,
                                int outFd) {
    return WriteArticle(page.Bytes(), kind, encoding, outFd);
}

std::string GenerateErrorMessage(const GenerateResult& result, const std::string& pagePath) {
    using Outcome = GenerateResult::Outcome;
    namespace msg = qubopost::messages;
    const std::string reason = result.error
                                   ? msg::Say(msg::kReasonInBrackets, {std::strerror(result.error)})
                                   : std::string();
    switch (result.outcome) {
        case Outcome::Written:
            return std::string();
        case Outcome::NoProducts:
            return std::string(msg::Say(msg::kGenerateNoProducts));
        case Outcome::PageUnreadable:
            return msg::Say(msg::kGeneratePageUnreadable, {pagePath, reason});
        case Outcome::ConverterUnavailable:
            return std::string(msg::Say(msg::kGenerateConverterUnavailable));
        case Outcome::WriteFailed:
            return msg::Say(msg::kGenerateWriteFailed, {reason});
    }
    return std::string();
}

}  // namespace qubopost::article
