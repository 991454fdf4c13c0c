// Must not compile: blogapi/ posts one entry and knows nothing of runs.
#include "posting/posting_run.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;
