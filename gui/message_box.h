// The program's message box: the text, an OK button, the application's name as caption.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace qubopost::gui {

// A new, not yet shown message box.
QMessageBox* NewMessageBox(const QString& text, QWidget* parent);

}  // namespace qubopost::gui
