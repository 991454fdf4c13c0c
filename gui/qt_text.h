// The program's CP932 Text to and from the toolkit's strings.
#pragma once

#include <QString>
#include <initializer_list>
#include <string_view>

#include "platform/text.h"
#include "resources/messages/messages.h"

namespace qubopost::gui {

QString ToQString(const platform::Text& sjis);
platform::Text FromQString(const QString& text);
// For UTF-8 literals such as the control table's labels.
QString FromUtf8View(std::string_view utf8);
// A text of the catalogue, with its placeholders filled when values are given.
QString Qs(const messages::Message& message);
QString Qs(const messages::Message& message, std::initializer_list<std::string_view> values);

// Multi-line fields: the program's texts use CR LF, the toolkit's text fields LF.
// CR LF and a lone CR become LF.
QString ToQStringLines(const platform::Text& sjis);
// LF becomes CR LF.
platform::Text FromQStringLines(const QString& text);

}  // namespace qubopost::gui
