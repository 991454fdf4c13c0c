#include "platform/qt/message_box.h"

#include <QCoreApplication>
#include <QMessageBox>

#include "platform/qt/qubopost_icon.h"

QMessageBox* NewMessageBox(const QString& text, QWidget* parent) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                                QMessageBox::Ok, parent);
    const QIcon icon = QubopostIcon();
    box->setWindowIcon(icon);
    box->setIconPixmap(icon.pixmap(48, 48));
    // Plain text only: the program's messages are never markup.
    box->setTextFormat(Qt::PlainText);
    return box;
}
