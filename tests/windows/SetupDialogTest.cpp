// ZRVLinkSetup.exe end to end under Wine: the real window driven through window messages, against
// zrvlink-sim on COM ports that run-setup-e2e.sh maps to the simulators' ptys.
#include "SetupDriver.h"
#include "core/IPv4.h"
#include "core/ParamFile.h"
#include "ui/logic/ControlIds.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>

namespace {

const char* const QUIT_QUESTION = "Application will be quit, Are you sure ?";
const char* const COMM_ERROR = "WARNING: communication error";

int PortFromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::atoi(value) : 0;
}

std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// The simulators of run-setup-e2e.sh, by what each is for.
struct SimulatedPorts {
    int Loaded = PortFromEnvironment("ZRV_PORT_LOADED");     // starts with data/device-start.dat
    int Fresh = PortFromEnvironment("ZRV_PORT_FRESH");       // starts with the defaults
    int Silent = PortFromEnvironment("ZRV_PORT_SILENT");     // stops answering part way into a read
    int BadSave = PortFromEnvironment("ZRV_PORT_BADSAVE");   // answers "save" with something else than OK
    int Unmapped = PortFromEnvironment("ZRV_PORT_UNMAPPED"); // listed by the system, but cannot be opened
    int Slow = PortFromEnvironment("ZRV_PORT_SLOW");         // takes 600 ms for "vers", 1500 ms for "save"
};

const TargetRowIds& Row(int destination) {
    return TARGET_ROW_IDS.Rows[destination - 1];
}

class SetupDialog : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const SimulatedPorts ports;
        for (int port :
             {ports.Loaded, ports.Fresh, ports.Silent, ports.BadSave, ports.Unmapped, ports.Slow}) {
            ASSERT_GT(port, 0) << "no simulator ports: run through run-setup-e2e.sh";
            ASSERT_TRUE(ListSerialPort(port));
        }
        ASSERT_TRUE(SubstituteDialogFont());
    }

    // Later tests in the same Wine session see the system as it was.
    static void TearDownTestSuite() {
        const SimulatedPorts ports;
        for (int port :
             {ports.Loaded, ports.Fresh, ports.Silent, ports.BadSave, ports.Unmapped, ports.Slow}) {
            EXPECT_TRUE(UnlistSerialPort(port)) << port;
        }
        EXPECT_TRUE(DetachDevice());
    }

    void SetUp() override {
        ASSERT_FALSE(m_program.empty()) << "ZRV_SETUP_EXE names no program";
        ASSERT_TRUE(DetachDevice());
    }

    // Starts the program; with `port` the device is attached first.
    HWND Open(CSetupProcess& process, int port = 0) {
        if (port != 0) {
            EXPECT_TRUE(AttachDevice(port));
        }
        EXPECT_TRUE(process.Started());
        HWND main = process.MainWindow();
        EXPECT_NE(nullptr, main);
        if (port != 0) {
            EXPECT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
        }
        return main;
    }

    // The next message box: its text and buttons must be these.
    static MessageBoxView ExpectBox(const CSetupProcess& process, const std::string& text,
                                    const char* buttons, const std::string& caption = "ZRVLinkSetup") {
        MessageBoxView box = WaitForMessageBox(process.Id(), caption);
        EXPECT_NE(nullptr, box.Window) << "no message box \"" << text << "\"";
        EXPECT_EQ(text, box.Text);
        EXPECT_EQ(buttons, box.Buttons) << text;
        return box;
    }

    // Asks to quit and says No: the next message box is the quit question (so no command went on behind
    // the last one), and the window stays.
    static void ExpectIdleAndStaying(const CSetupProcess& process, HWND main) {
        PostMessageA(main, WM_CLOSE, 0, 0);
        ASSERT_TRUE(Answer(ExpectBox(process, QUIT_QUESTION, "Yes+No"), IDNO));
        EXPECT_TRUE(IsWindow(main) && IsWindowVisible(main));
    }

    // Clicks Read and confirms; returns the progress dialog, which may already have gone.
    static HWND StartRead(const CSetupProcess& process, HWND main) {
        Click(main, IDC_READ_DEVICE);
        EXPECT_TRUE(
            Answer(ExpectBox(process, "Will you read parameters from ZRV-Link ?", "OK+Cancel"), IDOK));
        return WaitForDialog(process.Id(), "Parameter Transfer");
    }

    static void Shot(HWND window, const char* name) {
        const std::string directory = EnvironmentText("ZRV_ARTIFACTS");
        if (!directory.empty()) {
            EXPECT_TRUE(SaveWindowShot(window, directory + "\\" + name + ".bmp")) << name;
        }
    }

    const std::string m_program = EnvironmentText("ZRV_SETUP_EXE");
    const SimulatedPorts m_ports;
};

TEST_F(SetupDialog, StartsWithTheDefaultsAndTheSerialLineLocked) {
    CSetupProcess process(m_program);
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);

    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
    EXPECT_EQ("ZRV-LINK", ItemText(main, IDC_MODEL));
    const struct {
        int Id;
        const char* Text;
    } combos[] = {{IDC_BAUDRATE, "115200"}, {IDC_PARITY, "NONE"}, {IDC_STOPBITS, "1"}};
    for (const auto& combo : combos) {
        EXPECT_EQ(combo.Text, ItemText(main, combo.Id));
        EXPECT_FALSE(ItemEnabled(main, combo.Id)) << combo.Id;
    }
    for (int id : {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY}) {
        EXPECT_EQ("0.0.0.0", ItemText(main, id)) << id;
    }
    for (int destination = 1; destination <= TARGET_COUNT; ++destination) {
        EXPECT_EQ("0.0.0.0", ItemText(main, Row(destination).Address)) << destination;
        EXPECT_EQ("", ItemText(main, Row(destination).Name)) << destination;
        EXPECT_FALSE(ItemChecked(main, Row(destination).Check)) << destination;
        EXPECT_EQ(std::to_string(destination), ItemText(main, Row(destination).Check));
    }
    EXPECT_FALSE(ItemEnabled(main, IDC_READ_DEVICE));
    EXPECT_FALSE(ItemEnabled(main, IDC_WRITE_DEVICE));
    EXPECT_TRUE(ItemEnabled(main, IDC_LOAD_SETUP));
    EXPECT_TRUE(ItemEnabled(main, IDC_SAVE_SETUP));
}

TEST_F(SetupDialog, TabOrderFollowsTheTemplate) {
    CSetupProcess process(m_program);
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);

    std::vector<int> expected = {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY,
                                 IDC_BAUDRATE,  IDC_PARITY,     IDC_STOPBITS};
    for (const TargetRowIds& row : TARGET_ROW_IDS.Rows) {
        expected.insert(expected.end(), {row.Check, row.Name, row.Address});
    }
    expected.insert(expected.end(), {IDC_LOAD_SETUP, IDC_READ_DEVICE, IDC_SAVE_SETUP, IDC_WRITE_DEVICE});
    std::vector<int> stops;
    for (HWND child = GetWindow(main, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & WS_TABSTOP) != 0) {
            stops.push_back(GetDlgCtrlID(child));
        }
    }
    EXPECT_EQ(expected, stops);
}

TEST_F(SetupDialog, RenamedProgramKeepsItsSettingsFileAndNamesItsMessageBoxes) {
    CSetupProcess process(m_program, "Renamed.exe", "[Settings]\r\nBaudRateChange=1\r\n");
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);

    for (int id : {IDC_BAUDRATE, IDC_PARITY, IDC_STOPBITS}) {
        EXPECT_TRUE(ItemEnabled(main, id)) << id;
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Answer(ExpectBox(process, QUIT_QUESTION, "Yes+No", "Renamed"), IDNO));
}

TEST_F(SetupDialog, ReadAndWriteFollowTheDevice) {
    CSetupProcess process(m_program);
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);
    ASSERT_FALSE(ItemEnabled(main, IDC_READ_DEVICE));

    ASSERT_TRUE(AttachDevice(m_ports.Loaded));
    EXPECT_TRUE(
        WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE) && ItemEnabled(main, IDC_WRITE_DEVICE); }));
    ASSERT_TRUE(DetachDevice());
    EXPECT_TRUE(
        WaitFor([&] { return !ItemEnabled(main, IDC_READ_DEVICE) && !ItemEnabled(main, IDC_WRITE_DEVICE); }));
    EXPECT_TRUE(ItemEnabled(main, IDC_LOAD_SETUP));
    EXPECT_TRUE(ItemEnabled(main, IDC_SAVE_SETUP));
}

TEST_F(SetupDialog, ReadFillsTheControlsAfterConfirmation) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Loaded);
    ASSERT_NE(nullptr, main);

    Click(main, IDC_READ_DEVICE);
    ASSERT_TRUE(
        Answer(ExpectBox(process, "Will you read parameters from ZRV-Link ?", "OK+Cancel"), IDCANCEL));
    ExpectIdleAndStaying(process, main);
    EXPECT_EQ("0.0.0.0", ItemText(main, IDC_IPADDRESS));

    HWND progress = StartRead(process, main);
    ASSERT_TRUE(WaitUntilGone(progress));
    EXPECT_EQ("57600", ItemText(main, IDC_BAUDRATE));
    EXPECT_EQ("192.168.10.20", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("255.255.255.0", ItemText(main, IDC_SUBNETMASK));
    EXPECT_EQ("192.168.10.1", ItemText(main, IDC_GATEWAY));
    const struct {
        int Destination;
        bool Checked;
        const char* Name;
        const char* Address;
    } rows[] = {{1, true, "Office", "192.168.10.101"},
                {2, false, "", "0.0.0.0"},
                {7, true, "Lab", "10.0.0.7"},
                {32, false, "", "172.16.0.32"}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.Checked, ItemChecked(main, Row(row.Destination).Check)) << row.Destination;
        EXPECT_EQ(row.Name, ItemText(main, Row(row.Destination).Name)) << row.Destination;
        EXPECT_EQ(row.Address, ItemText(main, Row(row.Destination).Address)) << row.Destination;
    }
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
    Shot(main, "main-window");
    ExpectIdleAndStaying(process, main); // no message box confirmed the read
}

TEST_F(SetupDialog, TraceLogStartsBeforeTheWindowAndFollowsATransfer) {
    CTraceCatcher viewer;
    ASSERT_TRUE(viewer.Running());
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Loaded);
    ASSERT_NE(nullptr, main);

    const std::string start = viewer.Lines();
    EXPECT_TRUE(
        std::regex_search(start, std::regex("^ZRVLinkSetup: \\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d  "
                                            "DebugPrint start\\.\\.\n")))
        << start;
    ASSERT_TRUE(WaitUntilGone(StartRead(process, main)));
    const std::string read = viewer.Lines();
    EXPECT_NE(std::string::npos, read.find("  vers = ZRV-Link simulator 1.0\n")) << read;
    EXPECT_NE(std::string::npos, read.find("  target06 = [*] 010.000.000.007 4C6162\n")) << read;
    EXPECT_NE(std::string::npos, read.find("  done..\n")) << read;
}

TEST_F(SetupDialog, WriteLandsInTheDeviceAndLeavesTheControlsAsWritten) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Fresh);
    ASSERT_NE(nullptr, main);

    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 1, 2, 3));
    SetAddress(main, IDC_SUBNETMASK, MakeIPv4(255, 0, 0, 0));
    SetAddress(main, IDC_GATEWAY, MakeIPv4(10, 1, 2, 254));
    SetItemChecked(main, Row(2).Check, true);
    SetItemText(main, Row(2).Name, "  Branch  ");
    SetAddress(main, Row(2).Address, MakeIPv4(10, 1, 2, 50));
    SetItemChecked(main, Row(5).Check, true); // the device's own address: the device gets it disabled
    SetAddress(main, Row(5).Address, MakeIPv4(10, 1, 2, 3));

    Click(main, IDC_WRITE_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(process, "Will you write parameters to ZRV-Link ?", "OK+Cancel"), IDOK));
    ASSERT_TRUE(Answer(ExpectBox(process, "write completed", "OK"), IDOK));
    EXPECT_TRUE(ItemChecked(main, Row(5).Check));
    EXPECT_EQ("  Branch  ", ItemText(main, Row(2).Name));

    // What the device holds now comes back through a read over different controls.
    SetAddress(main, IDC_IPADDRESS, 0);
    SetItemText(main, Row(2).Name, "");
    ASSERT_TRUE(WaitUntilGone(StartRead(process, main)));
    EXPECT_EQ("10.1.2.3", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("255.0.0.0", ItemText(main, IDC_SUBNETMASK));
    EXPECT_EQ("10.1.2.254", ItemText(main, IDC_GATEWAY));
    EXPECT_TRUE(ItemChecked(main, Row(2).Check));
    EXPECT_EQ("Branch", ItemText(main, Row(2).Name));
    EXPECT_EQ("10.1.2.50", ItemText(main, Row(2).Address));
    EXPECT_FALSE(ItemChecked(main, Row(5).Check));
    EXPECT_EQ("115200", ItemText(main, IDC_BAUDRATE));
}

TEST_F(SetupDialog, ValidationNamesTheFirstInvalidAddressAndStopsTheCommand) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Fresh);
    ASSERT_NE(nullptr, main);

    ASSERT_TRUE(ClearAddressField(main, IDC_IPADDRESS, 2));
    Click(main, IDC_WRITE_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(process, "WARNING: IP Address is invalid", "OK"), IDOK));
    ExpectIdleAndStaying(process, main); // the write question never came

    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 0, 0, 1));
    ASSERT_TRUE(ClearAddressField(main, Row(7).Address, 0));
    Click(main, IDC_SAVE_SETUP);
    ASSERT_TRUE(Answer(ExpectBox(process, "WARNING: Destination IP Address 7 is invalid", "OK"), IDOK));
    ExpectIdleAndStaying(process, main); // nor the file dialog
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
}

TEST_F(SetupDialog, SaveAndLoadGoThroughTheFileDialogsAndNameTheFile) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Loaded);
    ASSERT_NE(nullptr, main);
    const std::string path = process.Directory() + "\\office.dat";

    SetAddress(main, IDC_IPADDRESS, MakeIPv4(172, 16, 1, 1));
    SetItemChecked(main, Row(3).Check, true);
    SetItemText(main, Row(3).Name, "Depot");
    SetAddress(main, Row(3).Address, MakeIPv4(172, 16, 1, 3));
    Click(main, IDC_SAVE_SETUP);
    HWND save = WaitForDialog(process.Id(), "", main);
    ASSERT_TRUE(ChooseFile(save, path));
    ASSERT_TRUE(WaitUntilGone(save));
    EXPECT_TRUE(WaitFor([&] { return WindowText(main) == "ZRV-Link Setup - [office.dat]"; }))
        << WindowText(main);

    CParamFile saved;
    ASSERT_TRUE(saved.Load(path.c_str()));
    EXPECT_EQ(MakeIPv4(172, 16, 1, 1), saved.GetParam()->IPAddress);
    EXPECT_EQ(1, saved.GetParam()->Target[2].Enable);
    EXPECT_STREQ("4465706F74", saved.GetParam()->Target[2].Name);
    EXPECT_EQ(MakeIPv4(172, 16, 1, 3), saved.GetParam()->Target[2].Address);

    SetAddress(main, IDC_IPADDRESS, MakeIPv4(1, 1, 1, 1));
    SetItemText(main, Row(3).Name, "changed");
    Click(main, IDC_LOAD_SETUP);
    HWND open = WaitForDialog(process.Id(), "", main);
    ASSERT_TRUE(ChooseFile(open, path));
    ASSERT_TRUE(WaitUntilGone(open));
    EXPECT_TRUE(WaitFor([&] { return ItemText(main, IDC_IPADDRESS) == "172.16.1.1"; }));
    EXPECT_EQ("Depot", ItemText(main, Row(3).Name));
    EXPECT_EQ("ZRV-Link Setup - [office.dat]", WindowText(main));

    // A file whose content is rejected changes nothing.
    std::ofstream(process.Directory() + "\\bad.dat") << "IPAddress=300.1.1.1\r\n";
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(2, 2, 2, 2));
    Click(main, IDC_LOAD_SETUP);
    open = WaitForDialog(process.Id(), "", main);
    ASSERT_TRUE(ChooseFile(open, process.Directory() + "\\bad.dat"));
    ASSERT_TRUE(Answer(ExpectBox(process, "WARNING: parameter error", "OK"), IDOK));
    EXPECT_EQ("2.2.2.2", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("ZRV-Link Setup - [office.dat]", WindowText(main));

    // A read from the device forgets the file.
    ASSERT_TRUE(WaitUntilGone(StartRead(process, main)));
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
}

TEST_F(SetupDialog, SilentDeviceShowsCommunicationErrorAndKeepsTheControls) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Silent);
    ASSERT_NE(nullptr, main);
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 9, 9, 9));

    HWND progress = StartRead(process, main);
    ASSERT_NE(nullptr, progress);
    EXPECT_EQ("now reading...", ItemText(progress, IDC_TRANSFER_STATUS));
    HWND bar = GetDlgItem(progress, IDC_TRANSFER_PROGRESS);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) >= 20; }));
    Shot(progress, "progress-dialog");
    // None of these may end the transfer: the dialog must still stand when the error comes.
    PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(progress, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);

    const MessageBoxView box = ExpectBox(process, COMM_ERROR, "OK");
    EXPECT_TRUE(IsWindowVisible(progress));
    ASSERT_TRUE(Answer(box, IDOK));
    ASSERT_TRUE(WaitUntilGone(progress));
    EXPECT_EQ("10.9.9.9", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("0.0.0.0", ItemText(main, Row(1).Address));
    ExpectIdleAndStaying(process, main);
}

TEST_F(SetupDialog, BadSaveReplyShowsHardwareErrorWithoutConfirmingTheWrite) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.BadSave);
    ASSERT_NE(nullptr, main);

    Click(main, IDC_WRITE_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(process, "Will you write parameters to ZRV-Link ?", "OK+Cancel"), IDOK));
    ASSERT_TRUE(Answer(ExpectBox(process, "WARNING: hardware error", "OK"), IDOK));
    ExpectIdleAndStaying(process, main); // and no "write completed"
}

// Replies that take longer than the port's read time-out: a device answering late, or writing its flash.
TEST_F(SetupDialog, SlowDeviceIsReadAndWrittenAsAnyOther) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Slow);
    ASSERT_NE(nullptr, main);

    SetAddress(main, IDC_GATEWAY, MakeIPv4(10, 7, 7, 1));
    Click(main, IDC_WRITE_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(process, "Will you write parameters to ZRV-Link ?", "OK+Cancel"), IDOK));
    ASSERT_TRUE(Answer(ExpectBox(process, "write completed", "OK"), IDOK));

    SetAddress(main, IDC_GATEWAY, 0);
    ASSERT_TRUE(WaitUntilGone(StartRead(process, main)));
    EXPECT_EQ("10.7.7.1", ItemText(main, IDC_GATEWAY));
    ExpectIdleAndStaying(process, main); // no error box came
}

TEST_F(SetupDialog, DeviceGoneBeforeTheStartOrPortThatDoesNotOpen) {
    CSetupProcess process(m_program);
    HWND main = Open(process, m_ports.Loaded);
    ASSERT_NE(nullptr, main);

    // Pulled out while the question is up: the poll notices, so no progress dialog opens.
    Click(main, IDC_READ_DEVICE);
    const MessageBoxView question =
        ExpectBox(process, "Will you read parameters from ZRV-Link ?", "OK+Cancel");
    ASSERT_TRUE(DetachDevice());
    ASSERT_TRUE(WaitFor([&] { return !ItemEnabled(main, IDC_READ_DEVICE); }));
    ASSERT_TRUE(Answer(question, IDOK));
    ASSERT_TRUE(Answer(ExpectBox(process, COMM_ERROR, "OK"), IDOK));
    ExpectIdleAndStaying(process, main);

    // A port that the system lists but that cannot be opened.
    ASSERT_TRUE(AttachDevice(m_ports.Unmapped));
    ASSERT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
    HWND progress = StartRead(process, main);
    ASSERT_TRUE(Answer(ExpectBox(process, "WARNING: not enoungh resouce", "OK"), IDOK));
    EXPECT_TRUE(progress == nullptr || WaitUntilGone(progress));
    EXPECT_EQ("0.0.0.0", ItemText(main, IDC_IPADDRESS));
}

TEST_F(SetupDialog, EnterAndEscapeDoNothingAndOnlyYesQuits) {
    CSetupProcess process(m_program);
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);

    HWND name = GetDlgItem(main, Row(1).Name);
    PostMessageA(name, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(name, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ExpectIdleAndStaying(process, main);

    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0); // the system menu's Close and Alt+F4
    ASSERT_TRUE(Answer(ExpectBox(process, QUIT_QUESTION, "Yes+No"), IDYES));
    DWORD exitCode = 99;
    ASSERT_TRUE(process.WaitForExit(&exitCode));
    EXPECT_EQ(0u, exitCode);
}

TEST_F(SetupDialog, AboutBoxOpensFromTheSystemMenuAndClosesEitherWay) {
    CSetupProcess process(m_program);
    HWND main = Open(process);
    ASSERT_NE(nullptr, main);

    for (WPARAM command : {WPARAM{IDM_ABOUTBOX}, WPARAM{IDM_ABOUTBOX | 0xF}}) {
        PostMessageA(main, WM_SYSCOMMAND, command, 0);
        HWND about = WaitForDialog(process.Id(), "About ZRV-Link");
        ASSERT_NE(nullptr, about) << command;
        EXPECT_NE(nullptr, FindWindowExA(about, nullptr, "Static", "ZRVLinkSetup Version 1.0"));
        if (command == IDM_ABOUTBOX) {
            Shot(about, "about-box");
            Click(about, IDOK);
        } else {
            PostMessageA(about, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0); // Escape
        }
        ASSERT_TRUE(WaitUntilGone(about)) << command;
    }
    ExpectIdleAndStaying(process, main);
}

} // namespace
