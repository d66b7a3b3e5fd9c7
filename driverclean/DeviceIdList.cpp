// Reading and splitting multi-string device properties; logic side of the removal tool's seam.
#include "driverclean/DeviceIdList.h"

#include <algorithm>
#include <cwchar>
#include <new>
#include <utility>

namespace {

constexpr DWORD FIRST_PROPERTY_BYTES = 8192;
constexpr size_t TERMINATOR_CHARS = 2;

// Room for `bytes` of data (an odd last byte included) and the two terminators added after it.
std::unique_ptr<wchar_t[]> AllocatePropertyBuffer(DWORD bytes) {
    return std::unique_ptr<wchar_t[]>(new (std::nothrow)
                                          wchar_t[bytes / sizeof(wchar_t) + 1 + TERMINATOR_CHARS]);
}

// Whatever the stored value holds, it ends as a multi-string after its returned data. A size beyond
// the room offered is not believed.
void TerminateMultiString(wchar_t* buffer, DWORD returnedBytes, DWORD offeredBytes) {
    const size_t end = std::min(returnedBytes, offeredBytes) / sizeof(wchar_t);
    buffer[end] = L'\0';
    buffer[end + 1] = L'\0';
}

} // namespace

CDeviceIdList::~CDeviceIdList() {
    if (m_slots != nullptr) {
        delete[] m_slots[0];
        delete[] m_slots;
    }
}

CDeviceIdList CDeviceIdList::Split(std::unique_ptr<wchar_t[]> multiString) {
    size_t count = 0;
    for (const wchar_t* id = multiString.get(); *id != L'\0'; id += std::wcslen(id) + 1) {
        ++count;
    }
    wchar_t** slots = new (std::nothrow) wchar_t*[count + 2];
    if (slots == nullptr) {
        return CDeviceIdList();
    }
    wchar_t* id = multiString.get();
    for (size_t i = 1; i <= count; ++i) {
        slots[i] = id;
        id += std::wcslen(id) + 1;
    }
    slots[count + 1] = nullptr;
    slots[0] = multiString.release();
    return CDeviceIdList(slots);
}

CDeviceIdList GetDeviceIdList(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device,
                              DWORD property) {
    DWORD size = FIRST_PROPERTY_BYTES;
    for (;;) {
        std::unique_ptr<wchar_t[]> buffer = AllocatePropertyBuffer(size);
        if (!buffer) {
            return CDeviceIdList();
        }
        DWORD type = 0;
        DWORD required = 0;
        if (api.GetDeviceRegistryProperty(set, device, property, &type, reinterpret_cast<BYTE*>(buffer.get()),
                                          size, &required)) {
            TerminateMultiString(buffer.get(), required, size);
            return CDeviceIdList::Split(std::move(buffer));
        }
        // Only growth is worth another call: a system that keeps asking for the room it was given would
        // otherwise hold the tool here for ever.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || type != REG_MULTI_SZ || required <= size) {
            return CDeviceIdList();
        }
        size = required;
    }
}
