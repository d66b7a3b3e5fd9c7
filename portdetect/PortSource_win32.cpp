// The detector's port lists on Windows: the registry scans over the real registry below
// HKEY_LOCAL_MACHINE. The Win32 side of the port-source and registry seams.
#include "portdetect/PortSource.h"
#include "portdetect/RegistryPortSource.h"

#include <windows.h>

namespace {

static_assert(REGISTRY_TYPE_SZ == REG_SZ, "the scans compare with the registry's own type code");

ERegistryStatus StatusOf(LONG error) {
    switch (error) {
    case ERROR_SUCCESS:
        return ERegistryStatus::Ok;
    case ERROR_MORE_DATA:
        return ERegistryStatus::MoreData;
    case ERROR_NO_MORE_ITEMS:
        return ERegistryStatus::NoMoreItems;
    default:
        return ERegistryStatus::Failed;
    }
}

HKEY KeyOf(RegistryHandle key) {
    return static_cast<HKEY>(key);
}

BYTE* BytesOf(char* data) {
    return reinterpret_cast<BYTE*>(data);
}

class CWin32Registry : public CRegistry {
public:
    bool OpenKey(const char* path, RegistryHandle* key) const override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
            return false;
        }
        *key = opened;
        return true;
    }

    void CloseKey(RegistryHandle key) const override { RegCloseKey(KeyOf(key)); }

    ERegistryStatus EnumKey(RegistryHandle key, uint32_t index, char* name,
                            uint32_t nameSize) const override {
        DWORD length = nameSize;
        return StatusOf(RegEnumKeyExA(KeyOf(key), index, name, &length, nullptr, nullptr, nullptr, nullptr));
    }

    ERegistryStatus EnumValue(RegistryHandle key, uint32_t index, char* name, uint32_t nameSize,
                              uint32_t* type, char* data, uint32_t* dataSize) const override {
        DWORD nameLength = nameSize;
        DWORD valueType = 0;
        DWORD bytes = *dataSize;
        const LONG error =
            RegEnumValueA(KeyOf(key), index, name, &nameLength, nullptr, &valueType, BytesOf(data), &bytes);
        *type = valueType;
        *dataSize = bytes;
        return StatusOf(error);
    }

    ERegistryStatus QueryValue(RegistryHandle key, const char* name, uint32_t* type, char* data,
                               uint32_t* dataSize) const override {
        DWORD valueType = 0;
        DWORD bytes = *dataSize;
        const LONG error = RegQueryValueExA(KeyOf(key), name, nullptr, &valueType, BytesOf(data), &bytes);
        *type = valueType;
        *dataSize = bytes;
        return StatusOf(error);
    }
};

} // namespace

const CPortSource& SystemPortSource() {
    static const CWin32Registry registry{};
    static const CRegistryPortSource source(registry);
    return source;
}
