#include "ui/fetch_controller.h"

#include "article/article_generator.h"
#include "article/fetch_errors.h"
#include "article/ranking_request.h"
#include "platform/encoding.h"
#include "resources/control_table.h"
#include "resources/messages/messages.h"
#include "resources/strings.h"
#include "settings/ranking_host.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::article;
using namespace qubopost::posting;
using namespace qubopost::view;

namespace qubopost::ui {

namespace {
const std::string_view kBusyText = messages::Say(messages::kUiFetchBusy);
}

std::string FetchController::RankingHostInUse() const {
    // A stored host the window cannot use (edited by hand) gives way to the built-in one.
    const std::string host = ::RankingHostInUse(m_services.settingsPath, "", RankingHost());
    return IsValidRankingHost(host) ? host : std::string(RankingHost());
}

Text FetchController::BuildRankingUrl() {
    view::ControlView& view = m_side.View();
    const Text productKind =
        ProductKindFor(view.IsChecked(IDC_KIND_DOWNLOAD), view.IsChecked(IDC_KIND_MAILMAG),
                       view.IsChecked(IDC_KIND_GOODS));
    const Text affiliateId = AffiliateIdFor(view.GetWindowText(IDC_AFFILIATE_ID));
    const Text categoryCode = CategoryCodeFor(view.GetWindowText(IDC_CATEGORY));
    const Text rankingKind =
        RankingKindFor(view.IsChecked(IDC_RANK_MONTHLY), view.IsChecked(IDC_RANK_DAILY),
                       view.IsChecked(IDC_RANK_PICKUP));
    return MakeRankingUrl(productKind, categoryCode, affiliateId, rankingKind, RankingHostInUse());
}

void FetchController::Start() {
    if (m_running.exchange(true)) return;  // one fetch at a time
    m_cancel.store(false);
    view::ControlView& view = m_side.View();
    m_url = BuildRankingUrl();
    // The same test as the URL's: an empty field takes the program's own ID.
    m_defaultAffiliateId = view.GetWindowText(IDC_AFFILIATE_ID).IsEmpty();
    m_kinds[0] = view.IsChecked(IDC_RANK_MONTHLY);
    m_kinds[1] = view.IsChecked(IDC_RANK_DAILY);
    m_kinds[2] = view.IsChecked(IDC_RANK_PICKUP);
    view.EnableWindow(IDC_GENERATE, false);
    const bool showBusy = !m_side.PostingRunning();
    if (showBusy) {
        // No range: the bar moves without a position.
        view.SetProgressRange(IDC_PROGRESS, 0, 0);
        view.SetStatusText(Sjis(kBusyText));
    }
    if (!m_side.StartWorkerJob([this, showBusy] { Job(showBusy); })) EndBusy(showBusy);
}

bool FetchController::Cancel() {
    if (!m_running.load()) return false;
    m_cancel.store(true);
    return true;
}

void FetchController::EndBusy(bool showedBusy) {
    // Not running any more from here: Esc after this closes the window.
    if (!m_side.Closing()) {
        view::ControlView& view = m_side.View();
        if (showedBusy && !m_side.PostingRunning()) {
            view.SetProgressRange(IDC_PROGRESS, 0, 100);
            view.SetProgressPos(IDC_PROGRESS, 0);
            view.SetStatusText(
                Sjis(m_cancel.load() ? messages::Say(messages::kUiFetchCancelled) : ""));
        }
        view.EnableWindow(IDC_GENERATE, true);
    }
    m_running.store(false);
}

void FetchController::Job(bool showedBusy) {
    std::string error;
    std::string message;
    const bool received = Fetch(m_url, &error, &message);
    // The button comes back before the verdict is shown.
    const bool cancelled = Stopped();
    EndBusy(showedBusy);
    if (cancelled || m_side.Closing()) return;
    // "通信エラー" first, as always, then what went wrong and what to do.
    if (!received)
        message = std::string(texts::kNetworkError) + "\n" +
                  DescribeFetchFailure(error, RankingHostInUse());
    if (!message.empty()) m_side.ShowMessage(message);
}

bool FetchController::Fetch(const Text& url, std::string* error, std::string* message) {
    // Cancel ends the transfer (the window's end cancels it too).
    HttpOptions options = m_services.http;
    options.stop = &m_cancel;
    const RankingPage page = FetchRankingPage(url, options, m_services.pageEncoding.c_str(),
                                              m_services.programEncoding.c_str());
    switch (page.outcome) {
        case RankingPage::Outcome::NetworkError:
            // Nothing usable came back: the article field keeps what the user had.
            *error = page.error;
            return false;
        case RankingPage::Outcome::ConverterUnavailable:
            *message = texts::kConverterUnavailable;
            return true;
        case RankingPage::Outcome::Received:
            break;
    }
    const Text article = Generate(page.page);
    if (Stopped()) return true;
    // A page without a single product (a maintenance page, say) gives no article: the
    // field keeps what the user had.
    const Text separator(kArticleSeparator);
    const int first = article.Find(separator);
    if (first < 0 || article.Find(separator, first + separator.GetLength()) < 0) {
        *message = messages::Say(messages::kUiNoProducts, {RankingHostInUse()});
        return true;
    }
    m_side.View().SetWindowText(IDC_ARTICLE, article);
    std::string done(texts::kGenerated);
    if (m_defaultAffiliateId) {
        // The article still carries affiliate codes: the program's own, which the user should know.
        const std::string note(messages::Say(messages::kUiDefaultAffiliateId));
        m_side.WriteLogLine(Text(note));
        done += "\n" + note;
    }
    *message = done;
    return true;
}

Text FetchController::Generate(const Text& page) {
    Text article = ScanRankingPage(page);
    std::size_t nulBytes = 0, more = 0;
    if (m_kinds[0]) RewriteArticle(article, RankingKind::Monthly, &nulBytes);
    if (m_kinds[1]) RewriteArticle(article, RankingKind::Daily, &more), nulBytes += more;
    if (m_kinds[2]) RewriteArticle(article, RankingKind::Pickup, &more), nulBytes += more;
    if (nulBytes > 0)
        m_side.WriteLogLine(
            Text(messages::Say(messages::kUiNulBytesDropped, {std::to_string(nulBytes)})));
    return article;
}

}  // namespace qubopost::ui
