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

TEST(SetupApiBinding, MissingLibraryOrFunctionFailsTheCallWithTheLookupError) {
    const struct {
        const wchar_t* Library;
        DWORD Error;
    } cases[] = {{MISSING_LIBRARY, ERROR_MOD_NOT_FOUND}, {LIBRARY_WITHOUT_SETUP, ERROR_PROC_NOT_FOUND}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Library)));
        SetLastError(ERROR_SUCCESS);
        EXPECT_EQ(FALSE, CallLibraryFunction<decltype(&::SetupDiDestroyDeviceInfoList)>(
                             c.Library, "SetupDiDestroyDeviceInfoList", FALSE, INVALID_HANDLE_VALUE));
        EXPECT_EQ(c.Error, GetLastError());
    }
}

TEST(SetupApiBinding, WithoutTheSetupFunctionsNothingIsRemovedAndTheExitCodeIsZero) {
    const wchar_t* const argv[] = {L"YorDriverSetup.exe", L"ROOT\\WINE\\WINEBUS"};
    EXPECT_EQ(0u, RunDriverClean(SetupApiFromLibrary<MISSING_LIBRARY>(), 2, argv));
    EXPECT_EQ(0u, RunDriverClean(SetupApiFromLibrary<LIBRARY_WITHOUT_SETUP>(), 2, argv));
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
    const DeviceSetupApi& api = SystemDeviceSetupApi();
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
    const DWORD result = RemoveDevicesById(SystemDeviceSetupApi(), TEST_ENUMERATOR);
    EXPECT_EQ(result == 0, !DevicePresent()) << "exit code " << result;
}

} // namespace
