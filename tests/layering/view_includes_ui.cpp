// Must not compile: the window contract knows nothing of the dialog logic behind it.
#include "ui/qubopost_dlg.h"
