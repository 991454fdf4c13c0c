#include "credentials/credentials.h"

namespace qubopost::credentials {

Credentials LookupCredentials(std::string_view host, std::string* problem) {
    Credentials found;
    // A key ring that is not there, locked or failing is no reason to stop: ~/.netrc may still
    // serve. What it said stays in the result, for the message when no login is found.
    const KeyRingStatus keyRing = KeyRingLookup(host, &found);
    if (keyRing == KeyRingStatus::Ok) return found;
    found = {};
    found.keyRing = keyRing;
    switch (NetrcFileLookup(NetrcPath(), host, &found)) {
        case NetrcStatus::Found:
            found.keyRing = keyRing;
            return found;
        case NetrcStatus::Malformed:
            if (problem) *problem = "syntax error in the .netrc file (a quote is not closed)";
            break;
        case NetrcStatus::NotFound:
            break;
    }
    Credentials none;
    none.keyRing = keyRing;
    return none;
}

}  // namespace qubopost::credentials
