#include "platform/registry.h"

#include <unistd.h>

#include <cctype>

#include "platform/process.h"

namespace qubopost::platform {

namespace {

// The default value is written under this name.
const char kDefaultName[] = "@";

std::string StoredName(const std::string& name) { return name.empty() ? kDefaultName : name; }

bool IsBelow(const std::string& key, const std::string& parent) {
    return key.size() > parent.size() + 1 && key[parent.size()] == '\\' &&
           EqualsNoCase(std::string_view(key).substr(0, parent.size()), parent);
}

}  // namespace

bool RegistryFile::Load() {
    std::string error;
    auto bytes = ReadFileBytes(m_path, &error);
    if (!bytes) {
        m_doc = IniDocument();
        return access(m_path.c_str(), F_OK) != 0;
    }
    m_doc = IniDocument::Parse(*bytes);
    return true;
}

bool RegistryFile::Save(std::string* error) {
    const std::string folder = FolderOf(m_path);
    if (folder.size() > 1) MakeFolders(folder.substr(0, folder.size() - 1));
    return WriteFileAtomically(m_path, m_doc.Serialize(), error);
}

bool RegistryFile::KeyExists(const std::string& key) const {
    for (const auto& section : m_doc.Sections()) {
        if (EqualsNoCase(section, key)) return true;
    }
    return false;
}

void RegistryFile::CreateKey(const std::string& key) {
    // Every key on the way down exists as a section of its own.
    std::size_t pos = 0;
    while (true) {
        pos = key.find('\\', pos + 1);
        const std::string part = key.substr(0, pos);
        m_doc.AddSection(part);
        if (pos == std::string::npos) break;
    }
}

void RegistryFile::SetValue(const std::string& key, const std::string& name,
                            const std::string& value) {
    CreateKey(key);
    m_doc.Set(key, StoredName(name), value);
}

std::optional<std::string> RegistryFile::GetValue(const std::string& key,
                                                  const std::string& name) const {
    return m_doc.Get(key, StoredName(name));
}

void RegistryFile::DeleteValue(const std::string& key, const std::string& name) {
    m_doc.Remove(key, StoredName(name));
}

void RegistryFile::DeleteKey(const std::string& key) {
    for (const auto& sub : SubKeys(key)) m_doc.RemoveSection(sub);
    m_doc.RemoveSection(key);
}

std::vector<std::string> RegistryFile::SubKeys(const std::string& key) const {
    std::vector<std::string> keys;
    for (const auto& section : m_doc.Sections()) {
        if (IsBelow(section, key)) keys.push_back(section);
    }
    return keys;
}

std::vector<std::string> RegistryFile::ValueNames(const std::string& key) const {
    std::vector<std::string> names;
    for (auto& name : m_doc.Keys(key)) names.push_back(name == kDefaultName ? std::string() : name);
    return names;
}

}  // namespace qubopost::platform
