#include "posting/disclosure.h"

#include "resources/messages/messages.h"

namespace qubopost::posting {

bool HasAdvertisingDisclosure(std::string_view header, std::string_view footer,
                              std::string_view article) {
    for (std::string_view text : {header, footer, article})
        for (std::string_view word : kDisclosureWords)
            if (text.find(word) != std::string_view::npos) return true;
    return false;
}

std::string DisclosureWarning() {
    return qubopost::messages::Say(qubopost::messages::kDisclosureWarning, {kDisclosureLine});
}

}  // namespace qubopost::posting
