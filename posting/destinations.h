// The lines of 投稿先ブログアドレス (and qubopost-cli's --to / --to-file): each is either a mail
// address, as always, or a blog's URL with the user name in it ("https://taro@blog.example.jp/",
// optionally "wordpress+", "xmlrpc+" or "atompub+" in front) to post to through the blog's own
// API. The window and qubopost-cli check the field with the same functions before anything is
// sent, and the plan keeps each line's kind.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "blogapi/blogapi.h"
#include "platform/text.h"

namespace qubopost::posting {

enum class DestinationKind {
    Mail,  // a mail address: the message goes through the SMTP server
    Blog,  // a blog's URL: the entry goes through the blog's API
};

// Whether a destination line (blanks around it trimmed) is meant as a blog's URL: it holds
// "://". Every other line is a mail address.
bool IsBlogLine(std::string_view line);
DestinationKind KindOfLine(std::string_view line);

// One non-empty line of the destination field.
struct DestinationLine {
    int line = 0;      // 1-based, counting every line of the field (empty ones too)
    std::string text;  // UTF-8, blanks around it (ASCII blanks, tabs, full-width blanks) trimmed
    DestinationKind kind = DestinationKind::Mail;
    std::optional<qubopost::blogapi::Destination> blog;  // a blog line that is a usable URL
    std::string problem;  // Japanese, for the user; empty when the line can be posted to
};

// The field's lines (CR LF, CR or LF), empty ones left out, each classified and checked: a mail
// line must hold exactly one "@"; a blog line must be an http(s) URL with the user name in it
// and no password (blogapi::ParseDestination's rules; plain http:// only to this machine).
std::vector<DestinationLine> ClassifyDestinations(const platform::Text& field);

// The problems of the field's lines, one Japanese sentence each, in line order; empty when
// every line can be posted to. (An empty field is no problem here: the caller says that.)
std::vector<std::string> DestinationProblems(const platform::Text& field);

// Whether some line of the field is a mail address: only then are the sender, the SMTP server
// and its port needed.
bool NeedsMailServer(const platform::Text& field);

// How the credentials window and qubopost-cli name a blog's host for its password: "HOST", or
// "HOST:PORT" when the URL names a port other than its scheme's default ("[::1]:8080" for an
// IPv6 address).
std::string CredentialsServerFor(const qubopost::blogapi::Destination& blog);

// Where to set a blog's password, in Japanese: the window's 「SMTP認証の設定…」, the
// `qubopost-cli credentials set --server HOST[:PORT] --user USER` command, or ~/.netrc.
std::string BlogPasswordAdvice(const qubopost::blogapi::Destination& blog);

}  // namespace qubopost::posting
