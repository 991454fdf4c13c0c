// The windowing system as the application object sees it. The Qt implementation starts
// the toolkit only when something is to be shown, so that runs ending without a
// window (the registration switches) need no display.
#pragma once

#include "platform/text.h"

namespace qubopost::view {

class DialogHandlers;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // A message box with an OK button, outside any dialog.
    virtual void MessageBox(const platform::Text& text) = 0;
    // Creates the main dialog's window over the control table and runs it until it is closed.
    virtual int RunModal(DialogHandlers& dialog) = 0;
};

}  // namespace qubopost::view
