// Must not compile: platform/ is the bottom layer and sees no other.
#include "ui/qubopost_dlg.h"
