// Multi-string device properties read into lists of IDs; logic side of the removal tool's seam.
#pragma once

#include "driverclean/DeviceSetupApi.h"

#include <memory>

// One heap block of slots: the first owns the property buffer, then one slot per ID pointing into that
// buffer, then a null. A list that could not be read holds no block and tests false.
class CDeviceIdList {
public:
    CDeviceIdList() = default;
    ~CDeviceIdList();
    CDeviceIdList(const CDeviceIdList&) = delete;
    CDeviceIdList& operator=(const CDeviceIdList&) = delete;

    // Takes a buffer that ends in an empty string; none when the slots cannot be allocated.
    static CDeviceIdList Split(std::unique_ptr<wchar_t[]> multiString);

    explicit operator bool() const { return m_slots != nullptr; }
    // The IDs as a null-terminated array; null when the list could not be read.
    const wchar_t* const* Ids() const { return m_slots != nullptr ? m_slots + 1 : nullptr; }

private:
    explicit CDeviceIdList(wchar_t** slots) : m_slots(slots) {}
    wchar_t** m_slots = nullptr;
};

// The device's SPDRP_HARDWAREID or SPDRP_COMPATIBLEIDS; none when it cannot be read or memory runs out.
CDeviceIdList GetDeviceIdList(const DeviceSetupApi& api, HDEVINFO set, SP_DEVINFO_DATA* device,
                              DWORD property);
