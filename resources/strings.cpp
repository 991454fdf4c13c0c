#include "resources/strings.h"

#include "platform/encoding.h"

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
