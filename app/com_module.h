// The server module: the class table, the registration switches and the registry
// script run. The program serves no classes, so publishing and withdrawing class
// objects and the type-library steps come down to their results.
#pragma once

#include <cstdint>
#include <string>

namespace qubopost::app {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = static_cast<HRESULT>(0x80029C4Au);
inline bool Succeeded(HRESULT hr) { return hr >= 0; }

inline constexpr unsigned CLSCTX_LOCAL_SERVER = 4;
inline constexpr unsigned REGCLS_MULTIPLEUSE = 1;

// One served class. The table ends with an entry without a class ID.
struct ClassTableEntry {
    const char* classId = nullptr;
    HRESULT (*updateRegistry)(bool doRegister) = nullptr;
    HRESULT (*createClassObject)() = nullptr;
    std::uint32_t registrationCookie = 0;
};
extern ClassTableEntry g_classTable[];

class CQubopostModule {
public:
    // The position right behind the first switch character ('-' or '/') in text, or nullptr.
    static const char* FindNextSwitch(const char* text, const char* separators);

    // registryPath: the per-user registry file; modulePath: the executable's full path.
    HRESULT StartModule(ClassTableEntry* classTable, std::string modulePath,
                        std::string registryPath);
    HRESULT StopModule();
    HRESULT RunRegistryScript(int resourceId, bool doRegister);
    HRESULT RegisterComClasses(bool withTypeLibrary);
    HRESULT UnregisterComClasses(bool withTypeLibrary);
    HRESULT RegisterTypeLibrary();
    HRESULT UnregisterTypeLibrary();
    HRESULT PublishClassObjects(unsigned classContext, unsigned flags);
    HRESULT WithdrawClassObjects();

    bool IsStarted() const { return m_started; }

private:
    ClassTableEntry* m_classTable = nullptr;
    std::string m_modulePath;
    std::string m_registryPath;
    bool m_started = false;
};

}  // namespace qubopost::app
