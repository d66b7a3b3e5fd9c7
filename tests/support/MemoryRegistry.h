// An in-memory registry below HKEY_LOCAL_MACHINE: the test double of the registry seam, also used by the
// detection benchmark. Names compare without regard to case, as the system's do.
#pragma once

#include "portdetect/Registry.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class CMemoryRegistry : public CRegistry {
public:
    // The key at `path` ("A\\B\\C"), created with its parents when missing. Subkeys and values keep the
    // order in which they were first added.
    void AddKey(const std::string& path) { Make(path); }
    // A string value as the system stores it: the text and its terminator.
    void SetString(const std::string& path, const std::string& name, const std::string& text) {
        SetValue(path, name, REGISTRY_TYPE_SZ, text + '\0');
    }
    // A value of any type with exactly these bytes.
    void SetValue(const std::string& path, const std::string& name, uint32_t type, const std::string& bytes);

    // Keys opened and not closed yet.
    int OpenKeys() const { return m_openKeys; }

    bool OpenKey(const char* path, RegistryHandle* key) const override;
    void CloseKey(RegistryHandle key) const override;
    ERegistryStatus EnumKey(RegistryHandle key, uint32_t index, char* name, uint32_t nameSize) const override;
    ERegistryStatus EnumValue(RegistryHandle key, uint32_t index, char* name, uint32_t nameSize,
                              uint32_t* type, char* data, uint32_t* dataSize) const override;
    ERegistryStatus QueryValue(RegistryHandle key, const char* name, uint32_t* type, char* data,
                               uint32_t* dataSize) const override;

private:
    struct Value {
        std::string Name;
        uint32_t Type;
        std::string Bytes;
    };
    struct Key {
        std::vector<std::string> Keys; // the subkeys' names as given
        std::vector<Value> Values;
    };

    Key& Make(const std::string& path);

    // Every key by its path in lower case; "" is HKEY_LOCAL_MACHINE itself.
    std::map<std::string, Key, std::less<>> m_keys{{"", Key{}}};
    mutable int m_openKeys = 0;
};
