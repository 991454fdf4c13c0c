// Must not compile: posting/ stands below the dialog logic and does not link ui/.
#include "ui/qubopost_dlg.h"
