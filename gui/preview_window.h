// The posting preview: every message a run will send, in order, with the body of the
// selected one, the totals and the expected duration. Confirming sends nothing.
#pragma once

#include "view/control_view.h"

class QWidget;

namespace qubopost::gui {

// Runs the preview modally over the parent; true when the user confirms.
bool RunPreviewWindow(QWidget* parent, view::PostingPreview& preview);

}  // namespace qubopost::gui
