// Must not compile: the platform is below the window contract.
#include "view/control_view.h"
