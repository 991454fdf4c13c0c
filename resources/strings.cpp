#include "resources/strings.h"

#include "platform/encoding.h"

using namespace qubopost::platform;

namespace qubopost::resources {

Text LoadString(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return Sjis(texts::kAboutItem);
        case IDS_SOCKETS_INIT_FAILED:
            return Sjis(texts::kSocketsInitFailed);
        default:
            return Text();
    }
}

}  // namespace qubopost::resources
