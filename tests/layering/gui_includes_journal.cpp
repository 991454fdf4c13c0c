// Must not compile: the window knows the journal only through the history service.
#include "journal/journal.h"
