// The registry as the port scans read it (keys below HKEY_LOCAL_MACHINE, read only); the portable side
// of the registry seam, implemented by the Win32 registry and by an in-memory tree in tests.
#pragma once

#include <cstdint>

// Room for a key or value name: 255 characters and the terminator.
constexpr uint32_t REGISTRY_NAME_SIZE = 256;
// Room for one value's data.
constexpr uint32_t REGISTRY_DATA_SIZE = 256;
// The registry's type code of a string value (REG_SZ).
constexpr uint32_t REGISTRY_TYPE_SZ = 1;

enum class ERegistryStatus {
    Ok,
    MoreData,    // the name or the data does not fit the room given
    NoMoreItems, // the index is past the last subkey or value
    Failed,
};

using RegistryHandle = void*;

class CRegistry {
public:
    virtual ~CRegistry() = default;

    // Opens `path` below HKEY_LOCAL_MACHINE for reading.
    virtual bool OpenKey(const char* path, RegistryHandle* key) const = 0;
    virtual void CloseKey(RegistryHandle key) const = 0;

    // The name of subkey `index` in `name` (room for `nameSize` bytes, terminated).
    virtual ERegistryStatus EnumKey(RegistryHandle key, uint32_t index, char* name,
                                    uint32_t nameSize) const = 0;

    // Value `index`: its terminated name, its type and its data. `dataSize` brings the room in `data` and
    // takes back the bytes stored, which need not end in a terminator.
    virtual ERegistryStatus EnumValue(RegistryHandle key, uint32_t index, char* name, uint32_t nameSize,
                                      uint32_t* type, char* data, uint32_t* dataSize) const = 0;

    // The value called `name`, as EnumValue gives it.
    virtual ERegistryStatus QueryValue(RegistryHandle key, const char* name, uint32_t* type, char* data,
                                       uint32_t* dataSize) const = 0;
};

// One open key, closed when the scope ends.
class CRegistryKey {
public:
    CRegistryKey(const CRegistry& registry, const char* path)
        : m_registry(registry), m_open(registry.OpenKey(path, &m_handle)) {}
    ~CRegistryKey() {
        if (m_open) {
            m_registry.CloseKey(m_handle);
        }
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    bool IsOpen() const { return m_open; }
    RegistryHandle Get() const { return m_handle; }

private:
    const CRegistry& m_registry;
    RegistryHandle m_handle = nullptr;
    bool m_open;
};
