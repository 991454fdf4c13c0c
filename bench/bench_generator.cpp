// Article generation over large ranking pages: the time per byte should stay flat as
// pages grow (the generator is linear), with and without descriptions.
#include <benchmark/benchmark.h>

#include "article/article_generator.h"
#include "ranking_page.h"

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

BENCHMARK_MAIN();
