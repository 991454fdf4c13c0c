#include "app/com_module.h"

#include <cstring>

#include "app/registrar.h"
#include "platform/registry.h"
#include "resources/registry_script.h"

using namespace qubopost::platform;
using namespace qubopost::resources;

namespace qubopost::app {

ClassTableEntry g_classTable[] = {
    ClassTableEntry{},  // the program serves no class
};

const char* CQubopostModule::FindNextSwitch(const char* text, const char* separators) {
    for (const char* p = text; *p; ++p) {
        for (const char* s = separators; *s; ++s) {
            if (*p == *s) return p + 1;
        }
    }
    return nullptr;
}

HRESULT CQubopostModule::StartModule(ClassTableEntry* classTable, std::string modulePath,
                                     std::string registryPath) {
    m_classTable = classTable;
    m_modulePath = std::move(modulePath);
    m_registryPath = std::move(registryPath);
    m_started = true;
    return S_OK;
}

HRESULT CQubopostModule::StopModule() {
    m_started = false;
    return S_OK;
}

HRESULT CQubopostModule::RunRegistryScript(int resourceId, bool doRegister) {
    auto script = LoadRegistryScript(resourceId);
    if (!script) return E_FAIL;
    RegistryFile registry(m_registryPath);
    if (!registry.Load()) return E_FAIL;
    Registrar registrar(registry);
    std::string quoted;
    for (char c : m_modulePath) {
        quoted += c;
        if (c == '\'') quoted += '\'';
    }
    registrar.AddReplacement("Module", quoted);
    std::string error;
    const bool ran = doRegister ? registrar.ResourceRegister(*script, &error)
                                : registrar.ResourceUnregister(*script, &error);
    if (!ran) return E_FAIL;
    return registry.Save(&error) ? S_OK : E_FAIL;
}

HRESULT CQubopostModule::RegisterComClasses(bool withTypeLibrary) {
    for (ClassTableEntry* entry = m_classTable; entry && entry->classId; ++entry) {
        const HRESULT hr = entry->updateRegistry ? entry->updateRegistry(true) : S_OK;
        if (!Succeeded(hr)) return hr;
    }
    return withTypeLibrary ? RegisterTypeLibrary() : S_OK;
}

HRESULT CQubopostModule::UnregisterComClasses(bool withTypeLibrary) {
    for (ClassTableEntry* entry = m_classTable; entry && entry->classId; ++entry) {
        if (entry->updateRegistry) entry->updateRegistry(false);
    }
    if (withTypeLibrary) UnregisterTypeLibrary();
    return S_OK;
}

// The executable carries no type library, and no registry of type libraries exists here.
HRESULT CQubopostModule::RegisterTypeLibrary() { return TYPE_E_CANTLOADLIBRARY; }
HRESULT CQubopostModule::UnregisterTypeLibrary() { return TYPE_E_CANTLOADLIBRARY; }

HRESULT CQubopostModule::PublishClassObjects(unsigned, unsigned) {
    HRESULT hr = S_OK;
    for (ClassTableEntry* entry = m_classTable; entry && entry->classId && hr == S_OK; ++entry) {
        if (entry->createClassObject) hr = entry->createClassObject();
    }
    return hr;
}

HRESULT CQubopostModule::WithdrawClassObjects() {
    for (ClassTableEntry* entry = m_classTable; entry && entry->classId; ++entry)
        entry->registrationCookie = 0;
    return S_OK;
}

}  // namespace qubopost::app
