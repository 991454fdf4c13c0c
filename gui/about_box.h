// The About box (dialog resource 100).
#pragma once

class QWidget;

namespace qubopost::gui {

// Runs the About box modally over parent.
void RunAboutBox(QWidget* parent);

}  // namespace qubopost::gui
