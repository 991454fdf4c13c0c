#include "gui/qt_text.h"

#include "platform/encoding.h"
#include "platform/field_text.h"

using namespace qubopost::platform;

namespace qubopost::gui {

QString ToQString(const Text& sjis) { return QString::fromStdString(ToUtf8(sjis)); }

Text FromQString(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return FieldToSjis(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

QString FromUtf8View(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QString Qs(const messages::Message& message) { return FromUtf8View(messages::Say(message)); }

QString Qs(const messages::Message& message, std::initializer_list<std::string_view> values) {
    return QString::fromStdString(messages::Say(message, values));
}

QString ToQStringLines(const Text& sjis) {
    QString text = ToQString(sjis);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

Text FromQStringLines(const QString& text) {
    QString crlf = text;
    // The text document hands out paragraph and line separators as such.
    crlf.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    crlf.replace(QChar::LineSeparator, QLatin1Char('\n'));
    crlf.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return FromQString(crlf);
}

}  // namespace qubopost::gui
