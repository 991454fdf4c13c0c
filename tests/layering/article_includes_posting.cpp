// Must not compile: article/ stands below posting/ and does not link it.
#include "posting/posting_plan.h"
