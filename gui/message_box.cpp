#include "gui/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QWidget>

#include "gui/qubopost_icon.h"

namespace qubopost::gui {

QMessageBox* NewMessageBox(const QString& text, QWidget* parent) {
    // The box carries the title of the window it belongs to.
    const QString title = parent && !parent->window()->windowTitle().isEmpty()
                              ? parent->window()->windowTitle()
                              : QCoreApplication::applicationName();
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    const QIcon icon = QubopostIcon();
    box->setWindowIcon(icon);
    box->setIconPixmap(icon.pixmap(48, 48));
    // Plain text only: the program's messages are never markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}

}  // namespace qubopost::gui
