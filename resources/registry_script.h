// The program's registry script (resource 104, type "REGISTRY"): the AppID entries
// that the registration switches write and remove.
#pragma once

#include <optional>
#include <string_view>

namespace qubopost::resources {

// The AppID of the program.
inline constexpr std::string_view kAppIdGuid = "{6F2D8B14-3C5A-4E97-A1B8-52D0C7E93F46}";

// The text of a registry script resource, or nullopt for an unknown ID.
std::optional<std::string_view> LoadRegistryScript(int resourceId);

}  // namespace qubopost::resources
