#include "posting/destinations.h"

#include <algorithm>

#include "posting/posting_plan.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;

namespace qubopost::posting {

namespace blogapi = qubopost::blogapi;
namespace msg = qubopost::messages;

bool IsBlogLine(std::string_view line) { return line.find("://") != std::string_view::npos; }

DestinationKind KindOfLine(std::string_view line) {
    return IsBlogLine(line) ? DestinationKind::Blog : DestinationKind::Mail;
}

std::vector<DestinationLine> ClassifyDestinations(const Text& field) {
    std::vector<DestinationLine> lines;
    const std::string& bytes = field.Bytes();
    int number = 0;
    std::size_t at = 0;
    while (at <= bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string::npos) end = bytes.size();
        ++number;
        const std::string text = TrimBlanks(std::string_view(bytes).substr(at, end - at));
        if (!text.empty()) {
            DestinationLine line;
            line.line = number;
            line.text = text;
            line.kind = KindOfLine(text);
            if (line.kind == DestinationKind::Blog) {
                std::string reason;
                line.blog = blogapi::ParseDestination(text, &reason);
                if (!line.blog) {
                    line.problem = msg::Say(msg::kDestinationNotBlogUrl,
                                            {std::to_string(number), text, reason});
                }
            } else if (std::count(text.begin(), text.end(), '@') != 1) {
                line.problem =
                    msg::Say(msg::kDestinationNeedsOneAt, {std::to_string(number), text});
            }
            lines.push_back(std::move(line));
        }
        if (end == bytes.size()) break;
        at = end + (bytes.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

std::vector<std::string> DestinationProblems(const Text& field) {
    std::vector<std::string> problems;
    for (const DestinationLine& line : ClassifyDestinations(field))
        if (!line.problem.empty()) problems.push_back(line.problem);
    return problems;
}

bool NeedsMailServer(const Text& field) {
    for (const Text& address : SplitAddresses(field))
        if (!IsBlogLine(address.Bytes())) return true;
    return false;
}

std::string CredentialsServerFor(const blogapi::Destination& blog) {
    const bool https = blog.url.rfind("https://", 0) == 0;
    const int defaultPort = https ? 443 : 80;
    const bool ipv6 = blog.host.find(':') != std::string::npos;
    if (blog.port == defaultPort || blog.port == 0) return blog.host;
    return (ipv6 ? "[" + blog.host + "]" : blog.host) + ":" + std::to_string(blog.port);
}

std::string BlogPasswordAdvice(const blogapi::Destination& blog) {
    const std::string server = CredentialsServerFor(blog);
    return msg::Say(msg::kBlogPasswordAdvice, {server, blog.user, blog.host});
}

}  // namespace qubopost::posting
