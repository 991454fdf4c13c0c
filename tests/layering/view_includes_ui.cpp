// Must not compile: the window contract knows nothing of the dialog logic behind it.
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::article;
using namespace qubopost::posting;
