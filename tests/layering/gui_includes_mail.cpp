// Must not compile: the window tests a login through the SMTP login service, not the mail library.
#include "mail/bsmtp.h"
