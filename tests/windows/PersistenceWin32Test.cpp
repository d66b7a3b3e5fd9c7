// The Win32 side of persistence under Wine: the default profile in the user's registry, reading with
// writers denied, and a read-only file that a save must refuse as opening it for writing would.
#include "core/ParamFile.h"
#include "persistence/Profile.h"
#include "persistence/Settings.h"

#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

namespace {

const std::string PROFILE_KEY = std::string("Software\\") + PROFILE_APPLICATION;

// The user's default profile holds `value` under Settings\BaudRateChange while the object lives.
class CProfileValue {
public:
    explicit CProfileValue(const char* value) {
        const std::string subkey = PROFILE_KEY + "\\" + SETTINGS_SECTION;
        m_ok = RegSetKeyValueA(HKEY_CURRENT_USER, subkey.c_str(), "BaudRateChange", REG_SZ, value,
                               static_cast<DWORD>(std::strlen(value) + 1)) == ERROR_SUCCESS;
    }
    ~CProfileValue() { RegDeleteTreeA(HKEY_CURRENT_USER, PROFILE_KEY.c_str()); }
    CProfileValue(const CProfileValue&) = delete;
    CProfileValue& operator=(const CProfileValue&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

TEST(DefaultProfile, IsReadOnlyWhileNoFileNameIsSet) {
    CProfileValue value("1");
    ASSERT_TRUE(value.Ok());
    CAppSettings settings;
    settings.Load();
    EXPECT_EQ(1, settings.BaudRateChange);

    CAppSettings fromFile;
    fromFile.FileName = TempFilePath("missing");
    fromFile.Load();
    EXPECT_EQ(0, fromFile.BaudRateChange);
}

TEST(DefaultProfile, MissingEntryGivesTheDefault) {
    const CSettings settings;
    EXPECT_EQ("fallback", settings.GetString("NoSuchKey", "fallback"));
}

// A handle of another writer on `path` while the object lives.
class CWriter {
public:
    explicit CWriter(const std::string& path)
        : m_handle(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~CWriter() { CloseHandle(m_handle); }
    CWriter(const CWriter&) = delete;
    CWriter& operator=(const CWriter&) = delete;
    bool Ok() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_handle;
};

TEST(SetupFileWin32, LoadIsRefusedWhileAnotherWriterHasTheFileOpen) {
    const std::string path = TempFilePath("shared");
    std::ofstream(path, std::ios::binary) << "BaudRate=9600\r\n";
    CParamFile file;
    {
        CWriter writer(path);
        ASSERT_TRUE(writer.Ok());
        EXPECT_FALSE(file.Load(path.c_str()));
        EXPECT_EQ(FILE_ERROR_OPEN, file.FileError);
    }
    EXPECT_TRUE(file.Load(path.c_str()));
    EXPECT_EQ(9600, file.GetParam()->BaudRate);
    DeleteFileA(path.c_str());
}

TEST(SetupFileWin32, SaveRefusesAReadOnlyFileAndLeavesIt) {
    const std::string path = TempFilePath("readonly");
    std::ofstream(path, std::ios::binary) << "BaudRate=9600\r\n";
    ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
    CParamFile file;
    EXPECT_FALSE(file.Save(path.c_str()));
    EXPECT_EQ(FILE_ERROR_WRITE, file.FileError);
    EXPECT_EQ("BaudRate=9600\r\n", ReadWholeFile(path));
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

} // namespace
