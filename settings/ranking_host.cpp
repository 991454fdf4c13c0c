#include "settings/ranking_host.h"

#include "settings/settings_file.h"

using namespace qubopost::platform;

namespace qubopost::settings {

std::string RankingHostInUse(const std::string& settingsPath, std::string_view given,
                             std::string_view builtIn, bool* fromSettings) {
    if (fromSettings) *fromSettings = false;
    if (!given.empty()) return std::string(given);
    std::string stored = ReadSetting(settingsPath, kRankingSection, "Host").value_or("");
    if (!stored.empty()) {
        if (fromSettings) *fromSettings = true;
        return stored;
    }
    return std::string(builtIn);
}

bool IsPortNumber(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    return value >= 1 && value <= 65535;
}

bool IsValidRankingHost(std::string_view host) {
    std::string_view name = host;
    std::string_view port;
    if (!host.empty() && host.front() == '[') {
        const auto close = host.find(']');
        if (close == std::string_view::npos || close < 3) return false;
        for (char c : host.substr(1, close - 1))
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
                  c == ':' || c == '.'))
                return false;
        const std::string_view rest = host.substr(close + 1);
        if (rest.empty()) return true;
        return rest.front() == ':' && IsPortNumber(rest.substr(1));
    }
    if (const auto colon = host.find(':'); colon != std::string_view::npos) {
        name = host.substr(0, colon);
        port = host.substr(colon + 1);
        if (!IsPortNumber(port)) return false;
    }
    if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-')
        return false;
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
              c == '-' || c == '.'))
            return false;
    return true;
}

}  // namespace qubopost::settings
