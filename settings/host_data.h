// The codec of the settings file's HostData section, as other programs reading the same
// file rely on it: Shift-JIS values, multi-line fields with their line breaks written as
// "・・" (destinations) or ".." (header, footer), one-line values without line ends; and of
// the HostData.Unicode section beside it, which keeps in UTF-8 (line breaks escaped) what
// HostData cannot hold (two dots in a row, characters without a Shift-JIS form).
#pragma once

#include <string>

#include "platform/text.h"

namespace qubopost::settings {

enum class LineBreaks { AsTyped, MiddleDots, Dots };

// A field's UTF-8 text as HostData stores it (CP932).
std::string HostDataEncode(const std::string& utf8, LineBreaks encoding);
// A stored HostData value as the field's text (CP932, CR LF line breaks).
platform::Text HostDataDecode(const std::string& stored, LineBreaks encoding);
// UTF-8 with "\\" for a backslash and "\n" for a line break (CR LF in the field).
std::string EscapeLossless(const std::string& utf8);
std::string UnescapeLossless(const std::string& stored);
// Whether HostData gives the value back exactly as it is.
bool SurvivesHostData(const std::string& utf8, LineBreaks encoding);

}  // namespace qubopost::settings
