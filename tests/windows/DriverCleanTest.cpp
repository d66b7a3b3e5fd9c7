// The removal tool's logic against a fake device tree put into its table of setup functions, then against
// the system's setup library under Wine: the binding by name, and a device instance created for the test.
#include "driverclean/DeviceIdList.h"
#include "driverclean/DeviceRemoval.h"
#include "driverclean/SetupApiBinding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Ids = std::vector<std::wstring>;

struct FakeProperty {
    std::vector<BYTE> Bytes;
    DWORD Type = REG_MULTI_SZ;
    DWORD Error = ERROR_SUCCESS; // reading fails with this code
    DWORD ClaimedBytes = 0;      // reported instead of the real size when not 0
};

// The first `bytes` bytes of the text: a value stored without terminators, or cut short.
FakeProperty Raw(const std::wstring& text, size_t bytes) {
    const BYTE* data = reinterpret_cast<const BYTE*>(text.data());
    return {{data, data + bytes}};
}

// As stored: each ID ended by NUL, and one more NUL at the end.
FakeProperty MultiSz(const Ids& ids) {
    std::wstring text;
    for (const std::wstring& id : ids) {
        text += id + L'\0';
    }
    return Raw(text + L'\0', (text.size() + 1) * sizeof(wchar_t));
}

const FakeProperty UNREADABLE{{}, REG_MULTI_SZ, ERROR_INVALID_DATA};

struct FakeDevice {
    FakeProperty HardwareIds;
    FakeProperty CompatibleIds = UNREADABLE;
    bool Nameable = true;                 // its instance ID can be read
    DWORD ParamsError = ERROR_SUCCESS;    // SetClassInstallParams fails with it
    DWORD InstallerError = ERROR_SUCCESS; // CallClassInstaller fails with it
};

struct FakeSystem {
    std::vector<FakeDevice> Devices;
    DWORD BuildError = ERROR_SUCCESS; // the set is not built
    int FailingListDetailCall = 0;    // this call (from 1) fails
    // What the tool did:
    std::vector<std::wstring> Enumerators;
    int ListDetailCalls = 0;
    int DestroyedSets = 0;
    std::vector<DWORD> OfferedBytes;
    std::vector<size_t> ParamsSetOn;
    std::vector<size_t> Removed;
};

FakeSystem* g_system = nullptr;
char g_setToken;
char g_machineToken;
const HDEVINFO FAKE_SET = &g_setToken;

// Fails without an error code, as a stub does.
constexpr DWORD SILENT = 0xFFFFFFFF;

BOOL Fail(DWORD error) {
    SetLastError(error == SILENT ? ERROR_SUCCESS : error);
    return FALSE;
}

// The device the data names, when the data is sound; the real functions check cbSize the same way.
FakeDevice* Find(HDEVINFO set, const SP_DEVINFO_DATA* data) {
    if (set != FAKE_SET || data == nullptr || data->cbSize != sizeof *data ||
        data->DevInst >= g_system->Devices.size()) {
        return nullptr;
    }
    return &g_system->Devices[data->DevInst];
}

// Builds the set only as the tool must ask: all classes, devices present or not, local machine.
HDEVINFO WINAPI FakeGetClassDevsEx(const GUID* cls, PCWSTR enumerator, HWND, DWORD flags, HDEVINFO existing,
                                   PCWSTR machine, PVOID) {
    g_system->Enumerators.push_back(enumerator);
    const bool asked =
        cls == nullptr && flags == DIGCF_ALLCLASSES && existing == nullptr && machine == nullptr;
    if (!asked || g_system->BuildError != ERROR_SUCCESS) {
        Fail(asked ? g_system->BuildError : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    return FAKE_SET;
}

BOOL WINAPI FakeGetListDetail(HDEVINFO set, PSP_DEVINFO_LIST_DETAIL_DATA_W detail) {
    if (++g_system->ListDetailCalls == g_system->FailingListDetailCall || set != FAKE_SET ||
        detail->cbSize != sizeof *detail) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    detail->RemoteMachineHandle = &g_machineToken;
    return TRUE;
}

BOOL WINAPI FakeEnumDeviceInfo(HDEVINFO set, DWORD index, PSP_DEVINFO_DATA data) {
    if (set != FAKE_SET || data->cbSize != sizeof *data) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (index >= g_system->Devices.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    data->DevInst = index;
    return TRUE;
}

BOOL WINAPI FakeGetProperty(HDEVINFO set, PSP_DEVINFO_DATA data, DWORD property, PDWORD type, PBYTE buffer,
                            DWORD size, PDWORD required) {
    const FakeDevice* device = Find(set, data);
    // Guards the test against a tool that would ask for ever.
    if (device == nullptr || g_system->OfferedBytes.size() >= 100) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    g_system->OfferedBytes.push_back(size);
    const FakeProperty& value = property == SPDRP_HARDWAREID ? device->HardwareIds : device->CompatibleIds;
    if (value.Error != ERROR_SUCCESS) {
        return Fail(value.Error);
    }
    *type = value.Type;
    *required = value.ClaimedBytes != 0 ? value.ClaimedBytes : static_cast<DWORD>(value.Bytes.size());
    if (size < value.Bytes.size()) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::memcpy(buffer, value.Bytes.data(), value.Bytes.size());
    return TRUE;
}

CONFIGRET WINAPI FakeGetDeviceIdEx(DEVINST devInst, PWCHAR buffer, ULONG chars, ULONG flags,
                                   HMACHINE machine) {
    if (machine != &g_machineToken || flags != 0 || chars < 16 || devInst >= g_system->Devices.size() ||
        !g_system->Devices[devInst].Nameable) {
        return CR_NO_SUCH_DEVINST;
    }
    std::wcscpy(buffer, L"ROOT\\FAKE\\0000");
    return CR_SUCCESS;
}

BOOL WINAPI FakeSetParams(HDEVINFO set, PSP_DEVINFO_DATA data, PSP_CLASSINSTALL_HEADER header, DWORD size) {
    const FakeDevice* device = Find(set, data);
    const auto* params = reinterpret_cast<const SP_REMOVEDEVICE_PARAMS*>(header);
    const bool asked = device != nullptr && size == sizeof *params && header->cbSize == sizeof *header &&
                       header->InstallFunction == DIF_REMOVE && params->Scope == DI_REMOVEDEVICE_GLOBAL &&
                       params->HwProfile == 0;
    if (!asked || device->ParamsError != ERROR_SUCCESS) {
        return Fail(asked ? device->ParamsError : ERROR_INVALID_PARAMETER);
    }
    g_system->ParamsSetOn.push_back(data->DevInst);
    return TRUE;
}

BOOL WINAPI FakeCallClassInstaller(DI_FUNCTION function, HDEVINFO set, PSP_DEVINFO_DATA data) {
    const FakeDevice* device = Find(set, data);
    const std::vector<size_t>& prepared = g_system->ParamsSetOn;
    const bool asked =
        device != nullptr && function == DIF_REMOVE && !prepared.empty() && prepared.back() == data->DevInst;
    if (!asked || device->InstallerError != ERROR_SUCCESS) {
        return Fail(asked ? device->InstallerError : ERROR_INVALID_PARAMETER);
    }
    g_system->Removed.push_back(data->DevInst);
    return TRUE;
}

BOOL WINAPI FakeDestroy(HDEVINFO set) {
    g_system->DestroyedSets += set == FAKE_SET ? 1 : 0;
    return TRUE;
}

const DeviceSetupApi FAKE_API{FakeGetClassDevsEx, FakeGetListDetail, FakeEnumDeviceInfo,
                              FakeGetProperty,    FakeSetParams,     FakeCallClassInstaller,
                              FakeDestroy,        FakeGetDeviceIdEx};

// The table of fakes, or a load that fails with `LoadError` (SILENT: without a code).
struct CFakeSource : CSetupApiSource {
    explicit CFakeSource(DWORD loadError) : LoadError(loadError) {}
    const DeviceSetupApi* Bind(DWORD* error) override {
        ++Binds;
        *error = LoadError == SILENT ? ERROR_SUCCESS : LoadError;
        return LoadError == ERROR_SUCCESS ? &FAKE_API : nullptr;
    }
    const DWORD LoadError;
    int Binds = 0;
};

class DriverClean : public ::testing::Test {
protected:
    void SetUp() override { g_system = &System; }
    void TearDown() override { g_system = nullptr; }

    // The IDs as the tool reads them from device 0; nullopt when it reads none.
    std::optional<Ids> ReadIds(DWORD property) {
        SP_DEVINFO_DATA data{sizeof data, {}, 0, 0};
        const CDeviceIdList list = GetDeviceIdList(FAKE_API, FAKE_SET, &data, property);
        if (!list) {
            return std::nullopt;
        }
        Ids ids;
        for (const wchar_t* const* id = list.Ids(); *id != nullptr; ++id) {
            ids.push_back(*id);
        }
        return ids;
    }

    FakeSystem System;
};

struct ListCase {
    const char* Name;
    FakeProperty Stored;
    std::optional<Ids> Expected;
    std::vector<DWORD> Offered;
};

TEST_F(DriverClean, PropertiesAreReadWholeAndSplitWhateverTheirTerminators) {
    Ids longList(300, std::wstring(40, L'F')); // more than 8192 bytes before the last ID begins
    longList.push_back(L"ZRV\\LAST");
    const DWORD longBytes = static_cast<DWORD>(MultiSz(longList).Bytes.size());
    FakeProperty stuck = MultiSz(longList);
    stuck.ClaimedBytes = 8192;
    FakeProperty notMulti = MultiSz(longList);
    notMulti.Type = REG_SZ;
    const ListCase cases[] = {
        {"no terminators", Raw(std::wstring(L"A\0BC", 4), 8), Ids{L"A", L"BC"}, {8192}},
        {"odd size cut to whole characters", Raw(std::wstring(L"A\0BC", 4), 7), Ids{L"A", L"B"}, {8192}},
        {"empty", Raw(L"", 0), Ids{}, {8192}},
        {"only the final terminator", MultiSz({}), Ids{}, {8192}},
        {"over 8192 bytes", MultiSz(longList), longList, {8192, longBytes}},
        {"too long but not a multi-string", notMulti, std::nullopt, {8192}},
        {"asks again for the same room", stuck, std::nullopt, {8192}},
    };
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.Name);
        System = FakeSystem{};
        System.Devices = {{c.Stored}};
        EXPECT_EQ(c.Expected, ReadIds(SPDRP_HARDWAREID));
        EXPECT_EQ(c.Offered, System.OfferedBytes);
    }
}

const wchar_t* const ID = L"USB\\VID_04D8&PID_000A";
const wchar_t* const OTHER_ID = L"USB\\VID_04D8&PID_000B";
const FakeDevice OTHER{MultiSz({OTHER_ID})};
const FakeProperty USB_HW = MultiSz({L"USB\\VID_04D8&PID_000A&REV_0100"});

// A device that ID names, and whose removal fails at the step whose error is given.
FakeDevice Matching(DWORD paramsError = 0, DWORD installerError = 0, bool nameable = true) {
    return {MultiSz({ID}), UNREADABLE, nameable, paramsError, installerError};
}
const FakeDevice MATCHING = Matching();

constexpr DWORD DENIED = ERROR_ACCESS_DENIED;
constexpr DWORD NO_SUCH_DEVINST = 0xE000020B; // what a class installer may fail with

struct RunCase {
    const char* Name;
    std::vector<FakeDevice> Devices;
    std::vector<const wchar_t*> Args; // after the program's name
    DWORD ExitCode;
    std::vector<size_t> Removed;
    DWORD BuildError = ERROR_SUCCESS;
    int FailingListDetailCall = 0;
    DWORD LoadError = ERROR_SUCCESS; // of the setup functions
};

// Without its setup functions the tool has removed nothing, and the installation must not hear 0, even
// from a load that failed without an error code.
TEST_F(DriverClean, RunRemovesMatchingDevicesUntilARemovalFails) {
    const RunCase cases[] = {
        {"every match, connected or not", {MATCHING, OTHER, MATCHING}, {ID}, 0, {0, 2}},
        {"parameters refused", {MATCHING, Matching(DENIED), MATCHING}, {ID}, DENIED, {0}},
        {"installer failed", {MATCHING, Matching(0, NO_SUCH_DEVINST), MATCHING}, {ID}, NO_SUCH_DEVINST, {0}},
        {"failure without an error code", {MATCHING, Matching(SILENT)}, {ID}, ERROR_GEN_FAILURE, {0}},
        {"device without an instance ID skipped", {Matching(0, 0, false), MATCHING}, {ID}, 0, {1}},
        {"device whose list detail fails skipped", {MATCHING, MATCHING}, {ID}, 0, {1}, 0, 2},
        {"set without list detail", {MATCHING}, {ID}, 0, {}, 0, 1},
        {"set not built", {MATCHING}, {ID}, ERROR_INVALID_DATA, {}, ERROR_INVALID_DATA},
        {"only the first argument", {MATCHING, OTHER}, {OTHER_ID, ID, L"ZRV\\C"}, 0, {1}},
        {"setup functions lost without an error code", {MATCHING}, {ID}, ERROR_GEN_FAILURE, {}, 0, 0, SILENT},
        // Matched by a whole hardware ID, or else a whole compatible ID, with only ASCII letters in any case.
        {"compatible ID alone", {{USB_HW, MultiSz({L"USB\\Class_02"})}}, {L"USB\\Class_02"}, 0, {0}},
        {"ASCII case ignored", {{USB_HW}}, {L"usb\\vid_04d8&Pid_000a&rev_0100"}, 0, {0}},
        {"other case kept", {{MultiSz({L"ZRV\\\u00C4"})}}, {L"ZRV\\\u00E4"}, 0, {}},
        {"only a prefix of the device's ID", {{USB_HW}}, {ID}, 0, {}},
        {"longer than the device's ID", {{USB_HW}}, {L"USB\\VID_04D8&PID_000A&REV_0100&MI_00"}, 0, {}},
        {"another entry equal", {{MultiSz({L"USB\\VID_04D8&PID_000A&REV_0100", ID})}}, {ID}, 0, {0}},
        {"nothing readable", {{UNREADABLE}}, {L"USB\\VID_04D8&PID_000A&REV_0100"}, 0, {}},
        {"empty lists", {{Raw(L"", 0), MultiSz({})}}, {L""}, 0, {}},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.Name);
        System = FakeSystem{};
        System.Devices = c.Devices;
        System.BuildError = c.BuildError;
        System.FailingListDetailCall = c.FailingListDetailCall;
        std::vector<const wchar_t*> argv{L"YorDriverSetup.exe"};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        CFakeSource source(c.LoadError);
        EXPECT_EQ(c.ExitCode, RunDriverClean(source, static_cast<int>(argv.size()), argv.data()));
        EXPECT_EQ(c.Removed, System.Removed);
        // The table is bound once; one set is built, from the first argument, and freed when it was built.
        const bool bound = c.LoadError == ERROR_SUCCESS;
        EXPECT_EQ(1, source.Binds);
        EXPECT_EQ(bound ? std::vector<std::wstring>{c.Args[0]} : std::vector<std::wstring>{},
                  System.Enumerators);
        EXPECT_EQ(bound && c.BuildError == 0 ? 1 : 0, System.DestroyedSets);
    }
}

// A library that cannot be loaded at all is shown by YorDriverSetup.WithoutSetupLibraryExitsWithTheLoadError.
TEST(SetupApiBinding, LibraryWithoutTheFunctionsEndsTheRunWithTheLookupError) {
    CSetupApiLibrary library(L"kernel32.dll");
    const wchar_t* const argv[] = {L"YorDriverSetup.exe", L"ROOT\\WINE\\WINEBUS"};
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), RunDriverClean(library, 2, argv));
}

const wchar_t* const TEST_ENUMERATOR = L"ROOT\\ZRVCLEANTEST";

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

// Whether the test's device is registered; with `remove`, it is removed as well.
bool TestDevicePresent(bool remove = false) {
    const HDEVINFO set = SetupDiGetClassDevsExW(nullptr, TEST_ENUMERATOR, nullptr, DIGCF_ALLCLASSES, nullptr,
                                                nullptr, nullptr);
    SP_DEVINFO_DATA device{sizeof device, {}, 0, 0};
    const bool present = set != INVALID_HANDLE_VALUE && SetupDiEnumDeviceInfo(set, 0, &device);
    if (present && remove) {
        SetupDiRemoveDevice(set, &device);
    }
    SetupDiDestroyDeviceInfoList(set);
    return present;
}

// Wine accepts no class-install parameters, so there the removal fails; on Windows it succeeds. Either
// way the exit code must not claim a removal that did not happen, nor miss one that did. A list not read
// whole leaves the device unmatched: in place, with 0.
TEST(SystemDevice, LongHardwareIdListIsMatchedAndTheExitCodeTellsWhetherTheDeviceWasRemoved) {
    std::wstring ids; // more than 8192 bytes before the ID that names the device, as stored
    for (int i = 0; i < 200; ++i) {
        ids += L"ZRV\\FILLER_" + std::to_wstring(i) + L"_" + std::wstring(40, L'X') + L'\0';
    }
    ASSERT_TRUE(CreateTestDevice(ids + TEST_ENUMERATOR + L'\0' + L'\0')) << "error " << GetLastError();
    ASSERT_TRUE(TestDevicePresent());
    CSetupApiLibrary library(SETUP_LIBRARY);
    const wchar_t* const argv[] = {L"YorDriverSetup.exe", TEST_ENUMERATOR};
    const DWORD result = RunDriverClean(library, 2, argv);
    const bool left = TestDevicePresent(true); // and removed here
    EXPECT_EQ(result == 0, !left) << "exit code " << result;
}

} // namespace
