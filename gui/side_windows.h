// The small windows opened from the main window's context menu: SMTP credentials, the
// ranking service, and the posting history.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "view/side_services.h"

class QWidget;

namespace qubopost::gui {

// Server as the SMTP field shows it (an "smtps://" prefix allowed), port from its field.
void RunCredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                          std::shared_ptr<view::SmtpLoginService> login);
// The ranking service's host, stored as [Ranking] Host= in the settings file.
void RunRankingWindow(QWidget* parent, view::SideServices& services);
// Past runs and each message's result, from the journal. With `resume`, a "再開" button, enabled
// for a run that can go on from the journal alone, closes the window and then calls it with
// that run's number.
void RunHistoryWindow(QWidget* parent, view::SideServices& services,
                      const std::function<void(long long run)>& resume = {});

}  // namespace qubopost::gui
