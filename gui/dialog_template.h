// Widgets from the rows of a dialog's control table.
#pragma once

#include "gui/dialog_units.h"
#include "resources/control_table.h"

class QDialog;
class QWidget;

namespace qubopost::gui {

// Creates the widget of one control as a child of parent, placed at the control's
// rectangle: its kind, label and style. Behaviour that depends on the dialog (which
// handler a button calls, radio groups) is wired by the dialog.
QWidget* CreateControl(const resources::ControlDef& def, QWidget* parent, const DialogUnits& units);

// Caption, font and the fixed client size of a dialog from its table.
void SetUpDialogFrame(QDialog& dialog, const resources::DialogDef& def, const DialogUnits& units);

// Pixel size of the icon control (the size of a large icon).
inline constexpr int kIconControlSize = 32;

}  // namespace qubopost::gui
