// What the main dialog and its controllers need from outside; tests replace the slow or
// remote parts, the program passes its own defaults.
#pragma once

#include <chrono>
#include <string>

#include "platform/http.h"
#include "posting/posting_run.h"
#include "ui/worker_jobs.h"

namespace qubopost::ui {

struct DialogServices {
    std::string settingsPath;    // the settings file
    platform::HttpOptions http;  // time-outs and size limit of the ranking request
    // The ranking page's encoding and the program's, as ICU names them.
    std::string pageEncoding = "EUC-JP";
    std::string programEncoding = "windows-31j";
    // A test's mail call instead of the mail library's (the window passes none: it posts
    // through the library's BSendMailNotify, with the settings file's trust file).
    posting::MailSender sendMail;                    // the BSendMail call
    posting::StoppableMailSender sendMailStoppable;  // a call with a stop flag
    std::string journalPath;                         // empty: the user's history.sqlite3
    std::string
        draftPath;  // the article's draft file (the program: DefaultDraftPath()); empty: none
    std::string mailLibrary;  // empty: the mail library's own name
    std::chrono::milliseconds postingPause{60000};
    WorkerJobs::ThreadStarter startThread;  // empty: a thread of its own per job
};

}  // namespace qubopost::ui
