// The article generation: the ranking URL from the window's selections, the download and
// conversion of the page on a job of its own, and the article into the article field.
// One fetch at a time. While it goes, 記事自動生成 is off and (unless a posting run holds it)
// the progress bar moves with "ランキングを取得しています…"; Cancel ends it at once and the
// article field stays as it was.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/text.h"
#include "ui/dialog_services.h"
#include "ui/dialog_side.h"

namespace qubopost::ui {

class FetchController {
public:
    FetchController(DialogSide& side, const DialogServices& services)
        : m_side(side), m_services(services) {}

    // 記事自動生成: starts a fetch unless one goes (then nothing happens).
    void Start();
    // Ends the fetch going, if any; the field is left as it was. false: none was going.
    bool Cancel();
    bool Running() const { return m_running.load(); }

    // The ranking page's address for the window's selections and the ranking host in use.
    platform::Text BuildRankingUrl();
    // The ranking service's host: the settings file's, else the one built in.
    std::string RankingHostInUse() const;

private:
    void Job(bool showedBusy);
    // Fetches and converts the page and puts the article into the field; *message: what to tell
    // the user then. false: nothing usable came back (*error says why, the transfer's own words).
    bool Fetch(const platform::Text& url, std::string* error, std::string* message);
    platform::Text Generate(const platform::Text& page);
    void EndBusy(bool showedBusy);
    bool Stopped() const { return m_cancel.load() || m_side.Closing(); }

    DialogSide& m_side;
    const DialogServices& m_services;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_cancel{false};
    // The selections are read on the window's side when the fetch starts.
    platform::Text m_url;
    bool m_defaultAffiliateId = false;
    bool m_kinds[3] = {};  // monthly, daily, pickup
};

}  // namespace qubopost::ui
