// Must not compile: blogapi/ posts one entry and knows nothing of runs.
#include "posting/posting_run.h"
