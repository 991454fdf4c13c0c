// Must not compile: platform/ is the bottom layer and sees no other.
#include "ui/qubopost_dlg.h"

using namespace qubopost::view;
using namespace qubopost::ui;
using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::settings;
using namespace qubopost::article;
using namespace qubopost::posting;
