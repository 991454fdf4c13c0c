// The whole generation from a saved ranking page to an output file descriptor, for the
// command line: the page is read in pieces and converted as it comes, scanned in place,
// and the article is rewritten and written out in pieces, so that the page is held once
// and the article never whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "article/article_generator.h"
#include "platform/text.h"

namespace qubopost::article {

enum class OutputEncoding { Utf8, Sjis };

struct GenerateResult {
    enum class Outcome {
        Written,               // the whole article went out
        NoProducts,            // the page holds no product link: nothing was written
        PageUnreadable,        // the page file could not be opened or read (error: errno)
        ConverterUnavailable,  // the text converters could not be opened: nothing was written
        WriteFailed,           // the output did not take everything (error: errno); part may be out
    };
    Outcome outcome = Outcome::Written;
    // Articles in the text (ArticleRewriter::Articles).
    int articles = 0;
    // NUL bytes of the page, left out of the article.
    std::size_t nulBytesDropped = 0;
    int error = 0;
    std::uint64_t bytesWritten = 0;
    bool Succeeded() const { return outcome == Outcome::Written; }
};

// "No products": the generated text would hold no article, that is no separator before
// the closing one (ArticleRewriter::Articles is 0), which is exactly when posting it would
// mail nothing. The scan puts a separator in front of every "http://" and "https://" of
// the links it keeps, so this is a page where the scan kept no link with an address: no
// "<a href=" anchor with a closing "</a>" at all, or only image and "詳細説明" links - what
// a maintenance or error page gives. The dialog reads the same from its article (fewer
// than two separators). The output is held back until the first article is there, so such
// a page writes nothing at all.
//
// Reads the EUC-JP page at pagePath, converts it to CP932 as ConvertRankingPage does,
// generates the article for kind and writes it to outFd in the given encoding: the same
// bytes as GenerateArticle over the converted page, converted with ToUtf8 for Utf8. A
// write that fails (EPIPE, ENOSPC, ...) ends the run with WriteFailed; SIGPIPE is held
// off while it runs, so a closed pipe shows as EPIPE rather than ending the process.
GenerateResult GenerateFromPageFile(const std::string& pagePath, RankingKind kind,
                                    OutputEncoding encoding, int outFd);

// The same for a page already converted (a fetched page).
GenerateResult GenerateFromPage(const platform::Text& page, RankingKind kind,
                                OutputEncoding encoding, int outFd);

// What went wrong, for the user: clear Japanese in UTF-8 (what happened, why, what to do).
// "" for Written.
std::string GenerateErrorMessage(const GenerateResult& result, const std::string& pagePath);

}  // namespace qubopost::article
