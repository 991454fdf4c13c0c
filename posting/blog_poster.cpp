#include "posting/blog_poster.h"

#include <map>
#include <memory>
#include <string>

#include "credentials/credentials.h"
#include "resources/messages/messages.h"

using namespace qubopost::platform;

namespace qubopost::posting {

namespace blogapi = qubopost::blogapi;
namespace credentials = qubopost::credentials;
namespace msg = qubopost::messages;

namespace {

// What the run learns of a destination once: its URL, its password and its API.
struct KnownBlog {
    std::optional<blogapi::Destination> destination;
    std::string problem;  // why the line is no usable URL
    bool looked = false;  // the password was looked up
    credentials::Credentials login;
    std::string lookupProblem;
    std::optional<blogapi::Endpoint> endpoint;
};

// The login for a blog at the host for the user named in its URL, from the same places as the
// SMTP login: the key ring's item for the host (kept without the port, one per host, as
// `credentials set --server HOST[:PORT]` stores it) when its user is `user`, else ~/.netrc's
// entry for the host when its login is `user`. Stored for another user: none.
credentials::Credentials LookupLogin(const std::string& host, const std::string& user,
                                     std::string* problem) {
    credentials::Credentials found;
    std::string keyRingError;
    const credentials::KeyRingStatus keyRing =
        credentials::KeyRingLookup(host, &found, &keyRingError);
    if (keyRing == credentials::KeyRingStatus::Ok && found.user == user) return found;
    // A key ring that could not be asked (locked, no answer) is named: the password may be there.
    if (keyRing != credentials::KeyRingStatus::Ok &&
        keyRing != credentials::KeyRingStatus::NotFound && !keyRingError.empty())
        *problem = msg::Say(msg::kBlogKeyRingProblem, {keyRingError});
    found = {};
    // Only an entry naming the host: a "default" entry's password never goes to a blog.
    switch (credentials::NetrcMachineLookup(credentials::NetrcFileText(credentials::NetrcPath()),
                                            host, &found)) {
        case credentials::NetrcStatus::Found:
            if (found.user == user) return found;
            break;
        case credentials::NetrcStatus::Malformed:
            *problem += std::string(problem->empty() ? "" : msg::Say(msg::kBlogProblemSeparator)) +
                        std::string(msg::Say(msg::kBlogNetrcUnclosedQuote));
            break;
        case credentials::NetrcStatus::NotFound:
            break;
    }
    return {};
}

blogapi::PostResult Outcome(blogapi::PostResult::Outcome outcome, std::string detail) {
    blogapi::PostResult result;
    result.outcome = outcome;
    result.detail = std::move(detail);
    return result;
}

}  // namespace

BlogPoster MakeBlogPoster(bool draft) {
    auto known = std::make_shared<std::map<std::string, KnownBlog>>();
    return [known, draft](const Text& destination, const Text& title, const Text& body,
                          const int* stop, void (*beforeSend)(void*),
                          void* context) -> blogapi::PostResult {
        KnownBlog& blog = (*known)[destination.Bytes()];
        if (!blog.destination && blog.problem.empty()) {
            blog.destination = blogapi::ParseDestination(destination.Bytes(), &blog.problem);
            if (!blog.destination && blog.problem.empty())
                blog.problem = msg::Say(msg::kBlogNotUsableUrl);
        }
        if (!blog.destination) return Outcome(blogapi::PostResult::Outcome::Failed, blog.problem);
        if (!blog.looked) {
            blog.looked = true;
            blog.login =
                LookupLogin(blog.destination->host, blog.destination->user, &blog.lookupProblem);
        }
        if (!blog.login.Found()) {
            return Outcome(blogapi::PostResult::Outcome::LoginRefused,
                           msg::Say(msg::kBlogNoPassword,
                                    {blog.destination->host, blog.destination->user,
                                     blog.lookupProblem.empty() ? std::string()
                                                                : msg::Say(msg::kBlogLookupProblem,
                                                                           {blog.lookupProblem})}));
        }
        blogapi::Options options;
        options.stop = stop;
        if (!blog.endpoint) {
            const blogapi::Discovery found =
                blogapi::Discover(*blog.destination, blog.login.password, options);
            switch (found.outcome) {
                case blogapi::Discovery::Outcome::Found:
                    blog.endpoint = found.endpoint;
                    break;
                case blogapi::Discovery::Outcome::LoginRefused:
                    return Outcome(blogapi::PostResult::Outcome::LoginRefused, found.detail);
                case blogapi::Discovery::Outcome::RetryLater: {
                    blogapi::PostResult later =
                        Outcome(blogapi::PostResult::Outcome::RetryLater, found.detail);
                    later.retryAfter = found.retryAfter;
                    return later;
                }
                case blogapi::Discovery::Outcome::Failed:
                    return Outcome(blogapi::PostResult::Outcome::Failed,
                                   msg::Say(msg::kBlogApiNotFound, {found.detail}));
            }
        }
        if (beforeSend) beforeSend(context);
        return blogapi::PostTo(*blog.endpoint, *blog.destination, blog.login.password,
                               {title.Bytes(), blogapi::TextToHtml(body.Bytes()), draft}, options);
    };
}

}  // namespace qubopost::posting
