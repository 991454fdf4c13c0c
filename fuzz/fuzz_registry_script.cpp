// The registry-script reader and the registrar over any script text.
//
// Properties:
// - reading never crashes and never nests deeper than the reader allows, whatever the input
//   (a run of '{' included); a script that reads has only sub-keys with a name and without '\';
// - printing the keys that were read as a script (every name quoted) and reading that again
//   gives the same keys;
// - for a script whose names a registry file can hold (see Storable): registering, saving,
//   loading and registering again gives the same keys and values as registering once (the
//   registration is idempotent), and what was put under a ForceRemove key in between is gone
//   again; after unregistering, no key that the script may remove is left, and no value that
//   it named under a kept key.
#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/registrar.h"
#include "fuzz_support.h"
#include "fuzz_temp_folder.h"
#include "platform/registry.h"

using namespace qubopost::app;
using namespace qubopost::platform;

namespace {

using Key = RegistryScriptKey;
constexpr int kDeepestNesting = 64;

const std::map<std::string, std::string>& Replacements() {
    static const std::map<std::string, std::string> replacements = {
        {"Module", "/usr/bin/qubopost"}};
    return replacements;
}

int Depth(const Key& key) {
    int deepest = 0;
    for (const Key& sub : key.subKeys) deepest = std::max(deepest, Depth(sub));
    return deepest + (key.subKeys.empty() ? 0 : 1);
}

bool SameKey(const Key& a, const Key& b) {
    if (a.name != b.name || a.removal != b.removal || a.defaultValue != b.defaultValue ||
        a.values != b.values || a.subKeys.size() != b.subKeys.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.subKeys.size(); ++i) {
        if (!SameKey(a.subKeys[i], b.subKeys[i])) return false;
    }
    return true;
}

std::string Quoted(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        out += c;
        if (c == '\'' || c == '%') out += c;  // '' is a quote in a name, %% a percent sign
    }
    return out + "'";
}

void Print(const Key& key, bool root, std::string& out) {
    if (!root) {
        if (key.removal == Key::Removal::NoRemove) out += "NoRemove ";
        if (key.removal == Key::Removal::ForceRemove) out += "ForceRemove ";
        if (key.removal == Key::Removal::Delete) out += "Delete ";
    }
    out += Quoted(key.name);
    if (key.defaultValue) out += " = s " + Quoted(*key.defaultValue);
    out += "\n";
    // Braces only around something: the deepest keys the reader allows have none.
    if (key.values.empty() && key.subKeys.empty()) return;
    out += "{\n";
    for (const auto& [name, value] : key.values)
        out += "val " + Quoted(name) + " = s " + Quoted(value) + "\n";
    for (const Key& sub : key.subKeys) Print(sub, false, out);
    out += "}\n";
}

void CheckSubKeyNames(const Key& key) {
    for (const Key& sub : key.subKeys) {
        FUZZ_CHECK(!sub.name.empty() && sub.name.find('\\') == std::string::npos,
                   "a sub-key name is empty or holds '\\'");
        CheckSubKeyNames(sub);
    }
}

// A key name that a section header of the registry file keeps as it is: no line end, no ']'
// of its own (a ']' as the second byte of a double-byte character is fine), no blank at either
// end (trimmed away when read).
bool StorableName(std::string_view name) {
    if (name.find_first_of("\r\n") != std::string_view::npos) return false;
    for (std::size_t i = 0; i < name.size(); i += fuzz::IsSjisLead(name[i]) ? 2 : 1) {
        if (name[i] == ']') return false;
    }
    return name.empty() || (name.front() != ' ' && name.front() != '\t' && name.back() != ' ' &&
                            name.back() != '\t');
}

// Every key on the way down to path (the registry makes a section for each) must end on a
// whole character: a lead byte at its end would take the header's ']' as its second byte.
bool StorablePath(std::string_view path) {
    for (std::size_t cut = path.find('\\');; cut = path.find('\\', cut + 1)) {
        const std::string_view key = path.substr(0, cut);
        if (!fuzz::IsCharacterStart(key, 0, key.size())) return false;
        if (cut == std::string_view::npos) return true;
    }
}

// A value name: no line end, no blank at either end, no '=' (the end of the name), and not
// beginning with ';' (a comment) or '[' (a section header).
bool StorableValueName(std::string_view name) {
    if (name.find_first_of("\r\n=") != std::string_view::npos) return false;
    if (name.empty()) return true;
    return name.front() != ' ' && name.front() != '\t' && name.back() != ' ' &&
           name.back() != '\t' && name.front() != ';' && name.front() != '[';
}

bool Storable(const Key& key, const std::string& parent) {
    const bool root = parent.empty();
    if (!StorableName(key.name)) return false;
    if (root && (key.name.empty() || key.name.find('\\') != std::string::npos)) return false;
    const std::string path = root ? key.name : parent + "\\" + key.name;
    if (!StorablePath(path)) return false;
    for (const auto& [name, value] : key.values) {
        if (!StorableValueName(name)) return false;
    }
    for (const Key& sub : key.subKeys) {
        if (!Storable(sub, path)) return false;
    }
    return true;
}

std::string Lower(std::string_view text) { return fuzz::LowerAscii(text); }

// Every key at or below the script's roots, by lower-case path, with its values in name order.
using Snapshot = std::map<std::string, std::map<std::string, std::optional<std::string>>>;

Snapshot Take(const RegistryFile& registry, const std::vector<Key>& roots) {
    Snapshot snapshot;
    std::vector<std::string> keys;
    for (const Key& root : roots) {
        if (registry.KeyExists(root.name)) keys.push_back(root.name);
        for (const std::string& sub : registry.SubKeys(root.name)) keys.push_back(sub);
    }
    for (const std::string& key : keys) {
        auto& values = snapshot[Lower(key)];
        for (const std::string& name : registry.ValueNames(key))
            values[Lower(name)] = registry.GetValue(key, name);
    }
    return snapshot;
}

constexpr const char* kExtra = "fuzz.extra";

void ForceRemovePaths(const Key& key, const std::string& parent, std::vector<std::string>& paths) {
    const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
    if (key.removal == Key::Removal::ForceRemove) paths.push_back(path);
    for (const Key& sub : key.subKeys) ForceRemovePaths(sub, path, paths);
}

void CheckRemoved(const RegistryFile& registry, const Key& key, const std::string& parent) {
    const std::string path = parent.empty() ? key.name : parent + "\\" + key.name;
    if (key.removal != Key::Removal::NoRemove) {
        if (registry.KeyExists(path) || !registry.SubKeys(path).empty())
            fuzz::Show("key left", path);
        FUZZ_CHECK(!registry.KeyExists(path), "unregistering left a key that the script removes");
        FUZZ_CHECK(registry.SubKeys(path).empty(),
                   "unregistering left a key below one that the script removes");
        return;
    }
    for (const auto& [name, value] : key.values) {
        FUZZ_CHECK(!registry.GetValue(path, name),
                   "unregistering left a value that the script names");
    }
    for (const Key& sub : key.subKeys) CheckRemoved(registry, sub, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::TempFolder folder("qubopost-fuzz-registry");
    const std::string_view script(reinterpret_cast<const char*>(data), size);

    std::string error;
    const auto roots = ParseRegistryScript(script, Replacements(), &error);
    if (!roots) {
        FUZZ_CHECK(!error.empty(), "a script that does not read gives no reason");
        return 0;
    }
    for (const Key& root : *roots) {
        FUZZ_CHECK(Depth(root) <= kDeepestNesting, "keys nest deeper than the reader allows");
        FUZZ_CHECK(root.removal == Key::Removal::NoRemove, "a root key may be removed");
        CheckSubKeyNames(root);
    }

    // Printed and read again.
    std::string printed;
    for (const Key& root : *roots) Print(root, true, printed);
    const auto again = ParseRegistryScript(printed, {}, &error);
    if (!again) fuzz::Show("printed script", printed);
    FUZZ_CHECK(again.has_value(), "the printed keys do not read");
    bool same = again->size() == roots->size();
    for (std::size_t i = 0; same && i < roots->size(); ++i)
        same = SameKey((*roots)[i], (*again)[i]);
    if (!same) fuzz::Show("printed script", printed);
    FUZZ_CHECK(same, "the printed keys read back differently");

    bool storable = true;
    for (const Key& root : *roots) storable = storable && Storable(root, "");
    const std::string path = folder.Path() + "/registry.ini";
    if (!storable) {
        // Nothing to compare, but registering and unregistering must still run through.
        RegistryFile registry(path);
        Registrar registrar(registry);
        registrar.AddReplacement("Module", Replacements().at("Module"));
        FUZZ_CHECK(registrar.ResourceRegister(script, &error),
                   "a script that reads does not register");
        FUZZ_CHECK(registrar.ResourceUnregister(script, &error),
                   "a script that reads does not unregister");
        return 0;
    }

    unlink(path.c_str());
    RegistryFile first(path);
    FUZZ_CHECK(first.Load(), "an absent registry file does not load as empty");
    Registrar(first).ResourceRegister(printed, &error);
    FUZZ_CHECK(first.Save(&error), "the registry file cannot be saved");
    const Snapshot once = Take(first, *roots);

    RegistryFile second(path);
    FUZZ_CHECK(second.Load(), "the saved registry file does not load");
    FUZZ_CHECK(Take(second, *roots) == once, "saving and loading changed the registry");
    // What someone else put under a ForceRemove key goes when the script registers again.
    std::vector<std::string> forced;
    if (Lower(printed).find(kExtra) == std::string::npos) {
        for (const Key& root : *roots) ForceRemovePaths(root, "", forced);
    }
    for (const std::string& key : forced) {
        second.SetValue(key, kExtra, "left over");
        second.CreateKey(key + "\\" + kExtra);
    }
    Registrar(second).ResourceRegister(printed, &error);
    for (const std::string& key : forced) {
        FUZZ_CHECK(!second.GetValue(key, kExtra) && !second.KeyExists(key + "\\" + kExtra),
                   "registering left what was under a ForceRemove key");
    }
    FUZZ_CHECK(Take(second, *roots) == once, "registering twice differs from registering once");

    Registrar(second).ResourceUnregister(printed, &error);
    for (const Key& root : *roots) CheckRemoved(second, root, "");
    return 0;
}
