#include "resources/registry_script.h"

#include "resources/control_table.h"

namespace qubopost::resources {

namespace {

constexpr std::string_view kQubopostScript = R"rgs(HKCR
{
	NoRemove AppID
	{
		'{6F2D8B14-3C5A-4E97-A1B8-52D0C7E93F46}' = s 'Qubopost'
		'Qubopost.EXE'
		{
			val AppID = s '{6F2D8B14-3C5A-4E97-A1B8-52D0C7E93F46}'
		}
	}
}
)rgs";

}  // namespace

std::optional<std::string_view> LoadRegistryScript(int resourceId) {
    if (resourceId == IDR_QUBOPOST_REGISTRY) return kQubopostScript;
    return std::nullopt;
}

}  // namespace qubopost::resources
