// Writes a synthetic ranking page in EUC-JP, as the ranking service sends it, for
// whole-program measurements: make_ranking_page PRODUCTS [SHAPE] > page.html, SHAPE one of
// links (or nodesc), descriptions (the default), longlines, shortrows (bench/ranking_page.h).
#include <cstdio>
#include <cstdlib>

#include "platform/encoding.h"
#include "ranking_page.h"

using namespace qubopost::platform;

int main(int argc, char** argv) {
    const int products = argc > 1 ? std::atoi(argv[1]) : 20000;
    const PageShape shape = argc > 2 ? PageShapeNamed(argv[2]) : PageShape::Descriptions;
    const auto page = ConvertEncoding(MakeShapedPage(products, shape), "windows-31j", "EUC-JP");
    if (!page) return 1;
    std::fwrite(page->data(), 1, page->size(), stdout);
    return 0;
}
