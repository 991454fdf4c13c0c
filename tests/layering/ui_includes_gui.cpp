// Must not compile: the dialog logic reaches its window only through ControlView, never Qt.
#include "gui/qt_dialog.h"

using namespace qubopost::view;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;
