// A small per-user registry kept in a file: keys named by paths such as
// "HKCR\AppID\{...}", each holding named string values ("" names the default value).
// Stored as an INI file, one section per key.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"

namespace qubopost::platform {

class RegistryFile {
public:
    explicit RegistryFile(std::string path) : m_path(std::move(path)) {}

    // Reads the file; a missing file is an empty registry. false if it exists but can't be read.
    bool Load();
    // Writes the file atomically, creating its folder.
    bool Save(std::string* error);

    bool KeyExists(const std::string& key) const;
    void CreateKey(const std::string& key);
    void SetValue(const std::string& key, const std::string& name, const std::string& value);
    std::optional<std::string> GetValue(const std::string& key, const std::string& name) const;
    void DeleteValue(const std::string& key, const std::string& name);
    // Deletes the key with all keys below it.
    void DeleteKey(const std::string& key);
    // The direct and indirect sub-keys of key.
    std::vector<std::string> SubKeys(const std::string& key) const;
    // Names of the key's values.
    std::vector<std::string> ValueNames(const std::string& key) const;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    IniDocument m_doc;
};

}  // namespace qubopost::platform
