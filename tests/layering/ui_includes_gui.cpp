// Must not compile: the dialog logic reaches its window only through ControlView, never Qt.
#include "gui/qt_dialog.h"
