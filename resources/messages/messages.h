// The program's message catalogue: one place for the texts it shows or prints, each in
// Japanese and, where qubopost-cli can print it, in English.
//
// A text's placeholders are positional ({1}, {2}, ...), so the two languages may order them
// differently; Fill() puts the values in. The language is chosen once per process: the window
// speaks Japanese, qubopost-cli follows the locale (SetLanguageFromEnvironment()).
//
// Adding a text: a named constant in the group of its area (messages_catalogue.h) and a line
// in AllMessages() (messages.cpp); test_messages checks both languages carry the same
// placeholders and that every constant is listed.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace qubopost::messages {

struct Message {
    std::string_view ja;
    // Empty: the text has no English form (Say gives the Japanese).
    std::string_view en;
};

enum class Language { Japanese, English };

// The language Say() uses; Japanese until SetLanguage or SetLanguageFromEnvironment is called.
Language CurrentLanguage();
void SetLanguage(Language language);

// The language the locale variables ask for: the first non-empty of LC_ALL, LC_MESSAGES and
// LANG (null and "" are skipped); Japanese when it starts with "ja", English otherwise (also
// when all three are unset or empty).
Language LanguageFromLocale(const char* lcAll, const char* lcMessages, const char* lang);

// SetLanguage(LanguageFromLocale(getenv("LC_ALL"), getenv("LC_MESSAGES"), getenv("LANG"))).
void SetLanguageFromEnvironment();

// The message in the current language (Japanese when it has no English form).
std::string_view Say(const Message& message);

// `text` with {1} replaced by the first value, {2} by the second, and so on. A placeholder
// without a value ({0}, or a number past the values) stays as written; values are put in as
// they are and not searched for placeholders themselves.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> values);

// Fill(Say(message), values).
std::string Say(const Message& message, std::initializer_list<std::string_view> values);

// Every message of the catalogue with its name, for the checks that hold for all of them.
struct NamedMessage {
    std::string_view name;
    const Message* message;
};
std::span<const NamedMessage> AllMessages();

}  // namespace qubopost::messages

#include "resources/messages/messages_catalogue.h"  // IWYU pragma: export
