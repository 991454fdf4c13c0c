// The registrar: reads a registry script and writes or removes its keys and values.
//
// The script language is the usual nested one:
//   ROOT { [NoRemove|ForceRemove|Delete] name [= s 'default'] [{ ... }] ... }
// with "val name = s 'value'" for named values, names bare or in single quotes
// ('' stands for one quote inside a quoted name), and %NAME% replaced from the
// replacements before the script is read. Only string values ("s") are supported.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace qubopost::app {

struct RegistryScriptKey {
    enum class Removal { Normal, NoRemove, ForceRemove, Delete };
    std::string name;
    Removal removal = Removal::Normal;
    std::optional<std::string> defaultValue;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<RegistryScriptKey> subKeys;
};

// The root keys of a script. nullopt (with the reason in error) when it does not parse.
std::optional<std::vector<RegistryScriptKey>> ParseRegistryScript(
    std::string_view script, const std::map<std::string, std::string>& replacements,
    std::string* error);

class Registrar {
public:
    explicit Registrar(platform::RegistryFile& registry) : m_registry(registry) {}

    void AddReplacement(std::string name, std::string value);
    // Run the script to write (register) or remove (unregister) its entries. false if
    // the script does not parse; the registry is then left as it was.
    bool ResourceRegister(std::string_view script, std::string* error);
    bool ResourceUnregister(std::string_view script, std::string* error);

private:
    void Register(const RegistryScriptKey& key, const std::string& parent);
    void Unregister(const RegistryScriptKey& key, const std::string& parent);

    platform::RegistryFile& m_registry;
    std::map<std::string, std::string> m_replacements;
};

}  // namespace qubopost::app
