// The About box (dialog resource 100).
#pragma once

class QWidget;

// Runs the About box modally over parent.
void RunAboutBox(QWidget* parent);
