#include "credentials/credentials.h"

namespace qubopost::credentials {

Credentials LookupCredentials(std::string_view host, std::string* problem) {
    Credentials found;
    // A key ring that is not there or fails is no reason to stop: ~/.netrc may still serve.
    if (KeyRingLookup(host, &found) == KeyRingStatus::Ok) return found;
    found = {};
    switch (NetrcFileLookup(NetrcPath(), host, &found)) {
        case NetrcStatus::Found:
            return found;
        case NetrcStatus::Malformed:
            if (problem) *problem = "syntax error in the .netrc file (a quote is not closed)";
            return {};
        case NetrcStatus::NotFound:
            break;
    }
    return {};
}

}  // namespace qubopost::credentials
