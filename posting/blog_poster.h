// Posting a run's blog destinations through the blogs' own APIs (blogapi): the password from the
// same places as the SMTP login (the key ring, then ~/.netrc, for the URL's host and user), the
// API found once per destination and run, title = the group's subject, content = its text as
// HTML.
#pragma once

#include "posting/posting_run.h"

namespace qubopost::posting {

// A poster for one run. draft: every entry is posted as a draft.
BlogPoster MakeBlogPoster(bool draft);

}  // namespace qubopost::posting
