// The in-memory registry: the test double of the registry seam.
#include "MemoryRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

// Room for a folded path when a key is opened: the detection benchmark opens a hundred keys per
// detection, and the double must not add allocations of its own to what it measures.
constexpr std::size_t PATH_ROOM = 1024;

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

// Copies a name with its terminator when it fits the room.
ERegistryStatus CopyName(const std::string& from, char* name, uint32_t nameSize) {
    if (from.size() + 1 > nameSize) {
        return ERegistryStatus::MoreData;
    }
    std::memcpy(name, from.c_str(), from.size() + 1);
    return ERegistryStatus::Ok;
}

ERegistryStatus CopyData(const std::string& bytes, char* data, uint32_t* dataSize) {
    const bool fits = bytes.size() <= *dataSize;
    if (fits) {
        std::memcpy(data, bytes.data(), bytes.size());
    }
    *dataSize = static_cast<uint32_t>(bytes.size());
    return fits ? ERegistryStatus::Ok : ERegistryStatus::MoreData;
}

} // namespace

// The key at `path`, made with each missing key on the way as a subkey of its parent.
CMemoryRegistry::Key& CMemoryRegistry::Make(const std::string& path) {
    Key* key = &m_keys.at("");
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t cut = std::min(path.find('\\', start), path.size());
        const std::string folded = Folded(std::string_view(path).substr(0, cut));
        auto found = m_keys.find(folded);
        if (found == m_keys.end()) {
            key->Keys.push_back(path.substr(start, cut - start));
            found = m_keys.emplace(folded, Key{}).first;
        }
        key = &found->second;
        start = cut + 1;
    }
    return *key;
}

void CMemoryRegistry::SetValue(const std::string& path, const std::string& name, uint32_t type,
                               const std::string& bytes) {
    std::vector<Value>& values = Make(path).Values;
    auto same = std::find_if(values.begin(), values.end(),
                             [&](const Value& value) { return Folded(value.Name) == Folded(name); });
    if (same != values.end()) {
        *same = {name, type, bytes};
    } else {
        values.push_back({name, type, bytes});
    }
}

bool CMemoryRegistry::OpenKey(const char* path, RegistryHandle* key) const {
    char folded[PATH_ROOM];
    const std::size_t length = std::strlen(path);
    if (length >= sizeof folded) {
        return false;
    }
    std::transform(path, path + length, folded, Fold);
    const auto found = m_keys.find(std::string_view(folded, length));
    if (found == m_keys.end()) {
        return false;
    }
    *key = const_cast<Key*>(&found->second);
    ++m_openKeys;
    return true;
}

void CMemoryRegistry::CloseKey(RegistryHandle /*key*/) const {
    --m_openKeys;
}

ERegistryStatus CMemoryRegistry::EnumKey(RegistryHandle key, uint32_t index, char* name,
                                         uint32_t nameSize) const {
    const Key& parent = *static_cast<Key*>(key);
    return index < parent.Keys.size() ? CopyName(parent.Keys[index], name, nameSize)
                                      : ERegistryStatus::NoMoreItems;
}

ERegistryStatus CMemoryRegistry::EnumValue(RegistryHandle key, uint32_t index, char* name, uint32_t nameSize,
                                           uint32_t* type, char* data, uint32_t* dataSize) const {
    const Key& parent = *static_cast<Key*>(key);
    if (index >= parent.Values.size()) {
        return ERegistryStatus::NoMoreItems;
    }
    const Value& value = parent.Values[index];
    *type = value.Type;
    const ERegistryStatus named = CopyName(value.Name, name, nameSize);
    const ERegistryStatus copied = CopyData(value.Bytes, data, dataSize);
    return named != ERegistryStatus::Ok ? named : copied;
}

ERegistryStatus CMemoryRegistry::QueryValue(RegistryHandle key, const char* name, uint32_t* type, char* data,
                                            uint32_t* dataSize) const {
    for (const Value& value : static_cast<Key*>(key)->Values) {
        if (Folded(value.Name) == Folded(name)) {
            *type = value.Type;
            return CopyData(value.Bytes, data, dataSize);
        }
    }
    return ERegistryStatus::Failed;
}
