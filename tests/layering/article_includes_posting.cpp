// Must not compile: article/ stands below posting/ and does not link it.
#include "posting/posting_plan.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::posting;
