// The removal tool against the system's setup library under Wine: the binding by name, and a device
// instance created for the test.
#include "driverclean/DeviceIdList.h"
#include "driverclean/DeviceRemoval.h"
#include "driverclean/SetupApiBinding.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr wchar_t MISSING_LIBRARY[] = L"zrv-no-such-library.dll";
constexpr wchar_t LIBRARY_WITHOUT_SETUP[] = L"kernel32.dll";

// A set built with the linked setup functions, for preparing and inspecting the test's device.
class CTestSet {
public:
    explicit CTestSet(const wchar_t* enumerator)
        : m_set(SetupDiGetClassDevsExW(nullptr, enumerator, nullptr, DIGCF_ALLCLASSES, nullptr, nullptr,
                                       nullptr)) {}
    ~CTestSet() { SetupDiDestroyDeviceInfoList(m_set); }
    CTestSet(const CTestSet&) = delete;
    CTestSet& operator=(const CTestSet&) = delete;

    HDEVINFO Get() const { return m_set; }
    bool First(SP_DEVINFO_DATA* device) const {
        device->cbSize = sizeof *device;
        return m_set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(m_set, 0, device);
    }

private:
    HDEVINFO m_set;
};

// The module that holds the code at `address`; null when none does.
HMODULE ModuleAt(const void* address) {
    HMODULE module = nullptr;
    const DWORD flags = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    return GetModuleHandleExW(flags, static_cast<LPCWSTR>(address), &module) ? module : nullptr;
}

TEST(SetupApiBinding, TheTableCallsIntoTheLoadedLibraryItself) {
    CSetupApiLibrary library(SETUP_LIBRARY);
    DWORD error = ERROR_SUCCESS;
    const DeviceSetupApi* api = library.Bind(&error);
    ASSERT_NE(nullptr, api) << "error " << error;
    // No wrapper that loads and frees the library around each call: the entries are its own functions.
    const HMODULE setupApi = GetModuleHandleW(SETUP_LIBRARY);
    ASSERT_NE(nullptr, setupApi);
    EXPECT_EQ(setupApi, ModuleAt(reinterpret_cast<const void*>(api->GetClassDevsEx)));
    EXPECT_EQ(setupApi, ModuleAt(reinterpret_cast<const void*>(api->CallClassInstaller)));
    EXPECT_EQ(api, library.Bind(&error));
}

TEST(SetupApiBinding, MissingLibraryOrFunctionEndsTheRunWithTheLookupError) {
    const struct {
        const wchar_t* Library;
        DWORD Error;
    } cases[] = {{MISSING_LIBRARY, ERROR_MOD_NOT_FOUND}, {LIBRARY_WITHOUT_SETUP, ERROR_PROC_NOT_FOUND}};
    const wchar_t* const argv[] = {L"YorDriverSetup.exe", L"ROOT\\WINE\\WINEBUS"};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Library)));
        CSetupApiLibrary library(c.Library);
        EXPECT_EQ(c.Error, RunDriverClean(library, 2, argv));
    }
}

const wchar_t* const TEST_ENUMERATOR = L"ROOT\\ZRVCLEANTEST";
const size_t FILLER_IDS = 200;

// Hardware IDs that take more than 8192 bytes before the one that names the device, as stored.
std::wstring LongHardwareIdList() {
    std::wstring ids;
    for (size_t i = 0; i < FILLER_IDS; ++i) {
        ids += L"ZRV\\FILLER_" + std::to_wstring(i) + L"_" + std::wstring(40, L'X') + L'\0';
    }
    return ids + TEST_ENUMERATOR + L'\0' + L'\0';
}

// Registers a device instance that is not connected, of the class "Unknown".
bool CreateTestDevice(const std::wstring& hardwareIds) {
    const GUID unknown = {0x4d36e97e, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    const HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
    SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
    const BYTE* data = reinterpret_cast<const BYTE*>(hardwareIds.data());
    const DWORD bytes = static_cast<DWORD>(hardwareIds.size() * sizeof(wchar_t));
    const bool created =
        SetupDiCreateDeviceInfoW(set, L"ROOT\\ZRVCLEANTEST\\0000", &unknown, nullptr, nullptr, 0, &device) &&
        SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, data, bytes) &&
        SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr);
    SetupDiDestroyDeviceInfoList(set);
    return created;
}

class SystemDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CreateTestDevice(LongHardwareIdList())) << "error " << GetLastError();
        ASSERT_TRUE(DevicePresent());
    }
    void TearDown() override {
        const CTestSet set(TEST_ENUMERATOR);
        SP_DEVINFO_DATA device;
        if (set.First(&device)) {
            SetupDiRemoveDevice(set.Get(), &device);
        }
    }
    static bool DevicePresent() {
        SP_DEVINFO_DATA device;
        return CTestSet(TEST_ENUMERATOR).First(&device);
    }
};

TEST_F(SystemDevice, LongHardwareIdListIsReadWholeAndMatched) {
    CSetupApiLibrary library(SETUP_LIBRARY);
    DWORD error = ERROR_SUCCESS;
    ASSERT_NE(nullptr, library.Bind(&error)) << "error " << error;
    const DeviceSetupApi& api = *library.Bind(&error);
    const CTestSet set(TEST_ENUMERATOR);
    SP_DEVINFO_DATA device;
    ASSERT_TRUE(set.First(&device));
    const CDeviceIdList ids = GetDeviceIdList(api, set.Get(), &device, SPDRP_HARDWAREID);
    ASSERT_TRUE(ids);
    size_t count = 0;
    while (ids.Ids()[count] != nullptr) {
        ++count;
    }
    EXPECT_EQ(FILLER_IDS + 1, count);
    EXPECT_TRUE(DeviceMatchesId(api, set.Get(), &device, L"root\\ZrvCleanTest"));
}

// Wine accepts no class-install parameters, so there the removal fails; on Windows it succeeds. Either
// way the exit code must not claim a removal that did not happen, nor miss one that did.
TEST_F(SystemDevice, ExitCodeTellsWhetherTheDeviceWasRemoved) {
    CSetupApiLibrary library(SETUP_LIBRARY);
    const wchar_t* const argv[] = {L"YorDriverSetup.exe", TEST_ENUMERATOR};
    const DWORD result = RunDriverClean(library, 2, argv);
    EXPECT_EQ(result == 0, !DevicePresent()) << "exit code " << result;
}

} // namespace
