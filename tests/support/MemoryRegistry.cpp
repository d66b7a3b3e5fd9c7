// The in-memory registry: the test double of the registry seam.
#include "MemoryRegistry.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string Folded(std::string_view name) {
    std::string folded(name);
    std::transform(folded.begin(), folded.end(), folded.begin(), Fold);
    return folded;
}

bool SameName(std::string_view a, std::string_view b) {
    return Folded(a) == Folded(b);
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

// Without allocating: the benchmark opens a hundred keys per detection.
CMemoryRegistry::Key* CMemoryRegistry::Find(const char* path) const {
    Key* key = m_root.get();
    std::string_view rest(path);
    char folded[REGISTRY_NAME_SIZE];
    while (key != nullptr && !rest.empty()) {
        const std::size_t cut = rest.find('\\');
        const std::string_view part = rest.substr(0, cut);
        rest = cut == std::string_view::npos ? std::string_view() : rest.substr(cut + 1);
        if (part.size() >= sizeof folded) {
            return nullptr;
        }
        std::transform(part.begin(), part.end(), folded, Fold);
        const std::string_view wanted(folded, part.size());
        Key* found = nullptr;
        for (const auto& child : key->Keys) {
            if (child->Folded == wanted) {
                found = child.get();
                break;
            }
        }
        key = found;
    }
    return key;
}

CMemoryRegistry::Key* CMemoryRegistry::Make(const std::string& path) {
    Key* key = m_root.get();
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t cut = std::min(path.find('\\', start), path.size());
        const std::string part = path.substr(start, cut - start);
        start = cut + 1;
        Key* found = nullptr;
        for (const auto& child : key->Keys) {
            found = child->Folded == Folded(part) ? child.get() : found;
        }
        if (found == nullptr) {
            key->Keys.push_back(std::make_unique<Key>(Key{part, Folded(part), {}, {}}));
            found = key->Keys.back().get();
        }
        key = found;
    }
    return key;
}

void CMemoryRegistry::AddKey(const std::string& path) {
    Make(path);
}

void CMemoryRegistry::SetString(const std::string& path, const std::string& name, const std::string& text) {
    SetValue(path, name, REGISTRY_TYPE_SZ, text + '\0');
}

void CMemoryRegistry::SetValue(const std::string& path, const std::string& name, uint32_t type,
                               const std::string& bytes) {
    Key* key = Make(path);
    for (Value& value : key->Values) {
        if (SameName(value.Name, name)) {
            value = {name, type, bytes};
            return;
        }
    }
    key->Values.push_back({name, type, bytes});
}

bool CMemoryRegistry::OpenKey(const char* path, RegistryHandle* key) const {
    Key* found = Find(path);
    if (found == nullptr) {
        return false;
    }
    *key = found;
    ++m_openKeys;
    return true;
}

void CMemoryRegistry::CloseKey(RegistryHandle /*key*/) const {
    --m_openKeys;
}

ERegistryStatus CMemoryRegistry::EnumKey(RegistryHandle key, uint32_t index, char* name,
                                         uint32_t nameSize) const {
    const Key& parent = *static_cast<Key*>(key);
    if (index >= parent.Keys.size()) {
        return ERegistryStatus::NoMoreItems;
    }
    return CopyName(parent.Keys[index]->Name, name, nameSize);
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
        if (SameName(value.Name, name)) {
            *type = value.Type;
            return CopyData(value.Bytes, data, dataSize);
        }
    }
    return ERegistryStatus::Failed;
}
