// Writes a synthetic ranking page in EUC-JP, as the ranking service sends it, for
// whole-program measurements: make_ranking_page PRODUCTS [nodesc] > page.html
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/encoding.h"
#include "ranking_page.h"

int main(int argc, char** argv) {
    const int products = argc > 1 ? std::atoi(argv[1]) : 20000;
    const bool withDescriptions = !(argc > 2 && std::strcmp(argv[2], "nodesc") == 0);
    const auto page = ConvertEncoding(MakeRankingPage(products, withDescriptions), "windows-31j", "EUC-JP");
    if (!page) return 1;
    std::fwrite(page->data(), 1, page->size(), stdout);
    return 0;
}
