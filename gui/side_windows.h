// The small windows opened from the main window's context menu: SMTP credentials, the
// ranking service, and the posting history.
#pragma once

#include <functional>
#include <string>

class QWidget;

// Server as the SMTP field shows it (an "smtps://" prefix allowed), port from its field.
// The settings file gives the TLS trust file ([Qubopost] TrustFile=) for the login test.
void RunCredentialsWindow(QWidget* parent, const std::string& server, const std::string& port,
                          const std::string& settingsPath);
// The ranking service's host, stored as [Ranking] Host= in the settings file.
void RunRankingWindow(QWidget* parent, const std::string& settingsPath, const std::string& builtInHost);
// Past runs and each message's result, from the journal. With `resume`, a "再開" button, enabled
// for a run that can go on from the journal alone, closes the window and then calls it with
// that run's number.
void RunHistoryWindow(QWidget* parent, const std::string& journalPath,
                      const std::function<void(long long run)>& resume = {});
