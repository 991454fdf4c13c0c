// The article generation job: the ranking URL from the dialog's selections, the
// download and conversion of the page, and the article text into the article field.
#include "article/article_generator.h"
#include "article/fetch_errors.h"
#include "article/ranking_request.h"
#include "settings/ranking_host.h"
#include "settings/settings_file.h"
#include "platform/encoding.h"
#include "resources/control_table.h"
#include "resources/strings.h"
#include "ui/qubopost_dlg.h"

void CQubopostDlg::OnGenerate() {
    StartWorkerJob([this] { FetchJob(); });
}

void CQubopostDlg::FetchJob() {
    const Text url = BuildRankingUrl();
    const int result = RankingRequest(url);
    if (result != 0 && !m_jobs.StopRequested()) {
        // "通信エラー" first, as always, then what went wrong and what to do.
        std::string reason;
        {
            std::lock_guard lock(m_runMutex);
            reason = m_fetchError;
        }
        ShowMessage(std::string(texts::kNetworkError) + "\n" + DescribeFetchFailure(reason, RankingHostInUse()));
    }
}

std::string CQubopostDlg::RankingHostInUse() const {
    // A stored host the window cannot use (edited by hand) gives way to the built-in one.
    const std::string host = ::RankingHostInUse(m_services.settingsPath, "", RankingHost());
    return IsValidRankingHost(host) ? host : std::string(RankingHost());
}

std::string CQubopostDlg::SettingsPath() { return m_services.settingsPath; }

Text CQubopostDlg::GetProductKind() {
    ControlView& view = View();
    return ProductKindFor(view.IsChecked(IDC_KIND_DOWNLOAD), view.IsChecked(IDC_KIND_MAILMAG),
                          view.IsChecked(IDC_KIND_GOODS));
}

Text CQubopostDlg::GetAffiliateId() { return AffiliateIdFor(View().GetWindowText(IDC_AFFILIATE_ID)); }

Text CQubopostDlg::GetCategoryCode() { return CategoryCodeFor(View().GetWindowText(IDC_CATEGORY)); }

Text CQubopostDlg::GetRankingKind() {
    ControlView& view = View();
    return RankingKindFor(view.IsChecked(IDC_RANK_MONTHLY), view.IsChecked(IDC_RANK_DAILY),
                          view.IsChecked(IDC_RANK_PICKUP));
}

Text CQubopostDlg::BuildRankingUrl() {
    const Text productKind = GetProductKind();
    const Text affiliateId = GetAffiliateId();
    const Text categoryCode = GetCategoryCode();
    const Text rankingKind = GetRankingKind();
    return MakeRankingUrl(productKind, categoryCode, affiliateId, rankingKind, RankingHostInUse());
}

int CQubopostDlg::RankingRequest(const Text& url) {
    HttpOptions options = m_services.http;
    options.stop = &m_jobs.StopFlag();
    const RankingPage page = FetchRankingPage(url, options, m_services.pageEncoding.c_str(),
                                              m_services.programEncoding.c_str());
    switch (page.outcome) {
        case RankingPage::Outcome::NetworkError: {
            // Nothing usable came back: the article field keeps what the user had.
            std::lock_guard lock(m_runMutex);
            m_fetchError = page.error;
            return -1;
        }
        case RankingPage::Outcome::ConverterUnavailable:
            ShowMessage(texts::kConverterUnavailable);
            return 0;
        case RankingPage::Outcome::Received:
            break;
    }
    const Text article = ArticleGenerator(page.page);
    if (m_jobs.StopRequested()) return 0;
    // A page without a single product (a maintenance page, say) gives no article: the
    // field keeps what the user had.
    const int first = article.Find(ArticleMarker());
    if (first < 0 || article.Find(ArticleMarker(), first + ArticleMarker().GetLength()) < 0) {
        ShowMessage("記事を作れませんでした。\nランキングサービス（" + RankingHostInUse() +
                    "）は応答しましたが、ページに商品が見つかりませんでした（メンテナンス中などの可能性があります）。"
                    "記事欄は変更していません。しばらくしてからやり直すか、設定を確認してください。");
        return 0;
    }
    View().SetWindowText(IDC_ARTICLE, article);
    ShowMessage(texts::kGenerated);
    return 0;
}

Text CQubopostDlg::ArticleGenerator(const Text& page) {
    Text article = ScanRankingPage(page);
    ControlView& view = View();
    std::size_t nulBytes = 0, more = 0;
    if (view.IsChecked(IDC_RANK_MONTHLY)) RewriteArticle(article, RankingKind::Monthly, &nulBytes);
    if (view.IsChecked(IDC_RANK_DAILY)) RewriteArticle(article, RankingKind::Daily, &more), nulBytes += more;
    if (view.IsChecked(IDC_RANK_PICKUP)) RewriteArticle(article, RankingKind::Pickup, &more), nulBytes += more;
    if (nulBytes > 0)
        WriteLogLine(Text("ランキングページの記事になる部分にあった NUL バイト " + std::to_string(nulBytes) +
                          " 個は文字ではないため、取り除きました。"));
    return article;
}
