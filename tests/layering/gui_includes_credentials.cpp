// Must not compile: the window reaches the key ring only through the SMTP login service.
#include "credentials/credentials.h"
