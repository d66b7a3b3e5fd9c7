// ZRVLinkSetup.exe end to end under Wine: the real window driven through window messages, against
// zrvlink-sim on COM ports that run-setup-e2e.sh maps to the simulators' ptys. The SetupDialogInJapanese
// cases run in a Japanese code page (run-setup-e2e.sh with LC_ALL=ja_JP.UTF-8).
#include "SetupDriver.h"
#include "core/IPv4.h"
#include "core/NameCodec.h"
#include "persistence/ParamFile.h"
#include "ui/logic/ControlIds.h"
#include "ui/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace {

// A message box of the program: its text, its buttons and its icon.
struct BoxKind {
    std::string Text;
    const char* Buttons;
    const char* Icon;
};

const BoxKind QUIT_QUESTION = {"Application will be quit, Are you sure ?", "Yes+No", "information"};
const BoxKind READ_QUESTION = {"Will you read parameters from ZRV-Link ?", "OK+Cancel", "information"};
const BoxKind WRITE_QUESTION = {"Will you write parameters to ZRV-Link ?", "OK+Cancel", "information"};
const BoxKind WRITE_COMPLETED = {"write completed", "OK", "information"};
const BoxKind COMM_ERROR = {"WARNING: communication error", "OK", "stop"};
const BoxKind RESOURCE_ERROR = {"WARNING: not enoungh resouce", "OK", "stop"};
const BoxKind HARDWARE_ERROR = {"WARNING: hardware error", "OK", "stop"};
const BoxKind LOAD_ERROR = {"WARNING: file load error", "OK", "exclamation"};
const BoxKind PARAMETER_ERROR = {"WARNING: parameter error", "OK", "exclamation"};
const BoxKind SAVE_ERROR = {"WARNING: file save error", "OK", "exclamation"};

// Controls of the common file dialogs.
constexpr int FILE_TYPE_LIST = 0x470;
constexpr int READ_ONLY_BOX = 0x410;
const std::vector<std::string> SETUP_FILE_TYPES = {"ZRV-Link File (*.dat)", "All Files (*.*)"};

int PortFromEnvironment(const char* name) {
    return std::atoi(EnvironmentText(name).c_str());
}

// The simulators of run-setup-e2e.sh, by what each is for. The fresh one answers "vers" after 600 ms and
// "save" after 1500 ms (longer than the port's read time-out), each reply sent byte by byte after garbage.
struct SimulatedPorts {
    int Loaded = PortFromEnvironment("ZRV_PORT_LOADED");       // starts with data/device-start.dat
    int Fresh = PortFromEnvironment("ZRV_PORT_FRESH");         // defaults; late, split, after garbage
    int Silent = PortFromEnvironment("ZRV_PORT_SILENT");       // never answers
    int Stops = PortFromEnvironment("ZRV_PORT_STOPS");         // stops answering after 40 commands
    int Unplugged = PortFromEnvironment("ZRV_PORT_UNPLUGGED"); // closes its line after 40 replies
    int BadSave = PortFromEnvironment("ZRV_PORT_BADSAVE");     // answers "save" with something else than OK
    int Unmapped = PortFromEnvironment("ZRV_PORT_UNMAPPED");   // listed by the system, but cannot be opened

    std::vector<int> All() const { return {Loaded, Fresh, Silent, Stops, Unplugged, BadSave, Unmapped}; }
};

const TargetRowIds& Row(int destination) {
    return TARGET_ROW_IDS.Rows[destination - 1];
}

std::string Narrow(const wchar_t* text) {
    char bytes[256] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof bytes - 1, nullptr, nullptr);
    return bytes;
}

std::string Describe(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
           std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// The screen's DPI for the programs started while it lives; then the system's default again.
struct ScreenDpi {
    explicit ScreenDpi(int dpi) : Set(SetScreenDpi(static_cast<DWORD>(dpi))) {}
    ~ScreenDpi() { SetScreenDpi(0); }
    const bool Set;
};

// The font that stands in for the dialogs' one in the programs started while it lives; then the tests'
// own again.
struct StandInFont {
    explicit StandInFont(const wchar_t* face) : Set(SubstituteDialogFont(face)) {}
    ~StandInFont() { SubstituteDialogFont(); }
    const bool Set;
};

class SetupDialog : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (int port : SimulatedPorts().All()) {
            ASSERT_GT(port, 0) << "no simulator ports: run through run-setup-e2e.sh";
            ASSERT_TRUE(ListSerialPort(port));
        }
        ASSERT_TRUE(SubstituteDialogFont());
    }

    // Later tests in the same Wine session see the system as it was.
    static void TearDownTestSuite() {
        for (int port : SimulatedPorts().All()) {
            EXPECT_TRUE(UnlistSerialPort(port)) << port;
        }
        EXPECT_TRUE(DetachDevice());
    }

    void SetUp() override {
        ASSERT_FALSE(m_program.empty()) << "ZRV_SETUP_EXE names no program";
        ASSERT_TRUE(m_probe.Loaded()) << "setup_probe.dll is not beside the test program";
        ASSERT_TRUE(DetachDevice());
    }

    // Starts a copy of the program named `copyName` (the one before ends) and hooks the probe into it;
    // with `port` the device is attached and the buttons have followed it.
    HWND Start(int port = 0, const std::string& copyName = "ZRVLinkSetup.exe",
               const char* iniText = nullptr) {
        m_process.reset();
        EXPECT_TRUE(port == 0 || AttachDevice(port));
        m_process = std::make_unique<CSetupProcess>(m_program, copyName, iniText);
        m_caption = copyName.substr(0, copyName.rfind('.'));
        HWND main = m_process->MainWindow();
        EXPECT_TRUE(main != nullptr && m_probe.Attach(main));
        EXPECT_TRUE(port == 0 || WaitFor([&] {
                        return ItemEnabled(main, IDC_READ_DEVICE) && ItemEnabled(main, IDC_WRITE_DEVICE);
                    }));
        return main;
    }

    std::string Path(const std::string& name) const { return m_process->Directory() + "\\" + name; }

    // The next message box: its text, buttons and icon must be those of `kind`.
    MessageBoxView ExpectBox(const BoxKind& kind) {
        MessageBoxView box = WaitForMessageBox(m_process->Id(), m_caption);
        EXPECT_NE(nullptr, box.Window) << "no message box \"" << kind.Text << "\"";
        EXPECT_EQ(kind.Text, box.Text);
        EXPECT_EQ(kind.Buttons, box.Buttons) << kind.Text;
        EXPECT_EQ(kind.Icon, m_probe.Ask(box.Window, PROBE_MESSAGE_ICON)) << kind.Text;
        return box;
    }

    // Every static text and button caption of `window` is whole in its control, as the probe measures it
    // in the control's own font.
    void ExpectTextsWhole(HWND window, const std::string& where) {
        const std::string report = m_probe.Ask(window, PROBE_TEXT_FIT);
        EXPECT_NE(std::string::npos, report.find("\nfits ")) << where << ": nothing measured\n" << report;
        EXPECT_EQ(std::string::npos, report.find("\ncut ")) << where << "\n" << report;
    }

    // Asks to quit and says No: the next message box is the quit question (so no command went on behind
    // the last one), and the window stays.
    void ExpectIdleAndStaying(HWND main) {
        PostMessageA(main, WM_CLOSE, 0, 0);
        ASSERT_TRUE(Answer(ExpectBox(QUIT_QUESTION), IDNO));
        EXPECT_TRUE(IsWindow(main) && IsWindowVisible(main));
    }

    // Clicks Read or Write and confirms; returns the progress dialog, which may already have gone.
    HWND StartTransfer(HWND main, bool read) {
        Click(main, read ? IDC_READ_DEVICE : IDC_WRITE_DEVICE);
        EXPECT_TRUE(Answer(ExpectBox(read ? READ_QUESTION : WRITE_QUESTION), IDOK));
        return WaitForDialog(m_process->Id(), "Parameter Transfer");
    }

    // The file dialog that `button` opens.
    HWND OpenFileDialog(HWND main, int button) {
        Click(main, button);
        return WaitForDialog(m_process->Id(), "", main);
    }

    // Loads or saves `path` through the file dialog that `button` opens.
    void ChooseThrough(HWND main, int button, const std::string& path) {
        HWND dialog = OpenFileDialog(main, button);
        ASSERT_NE(nullptr, dialog) << "no file dialog for " << path;
        ASSERT_TRUE(ChooseFile(dialog, path));
        ASSERT_TRUE(WaitUntilGone(dialog)) << path;
    }

    const std::string m_program = EnvironmentText("ZRV_SETUP_EXE");
    const SimulatedPorts m_ports;
    CSetupProbe m_probe;
    std::unique_ptr<CSetupProcess> m_process;
    std::string m_caption; // of the program's message boxes: its file name without the extension
};

// A fresh start: the defaults, the serial line locked and no device. Enter and Escape do nothing; the
// system menu's about item opens the about box; only Yes to the quit question ends the program.
TEST_F(SetupDialog, StartsWithTheDefaultsAndOnlyYesToTheQuestionEndsIt) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
    EXPECT_EQ("ZRV-LINK", ItemText(main, IDC_MODEL));
    const std::pair<int, const char*> combos[] = {
        {IDC_BAUDRATE, "115200"}, {IDC_PARITY, "NONE"}, {IDC_STOPBITS, "1"}};
    for (const auto& [id, text] : combos) {
        EXPECT_EQ(text, ItemText(main, id));
        EXPECT_FALSE(ItemEnabled(main, id)) << id;
    }
    for (int id : {IDC_IPADDRESS, IDC_SUBNETMASK, IDC_GATEWAY}) {
        EXPECT_EQ("0.0.0.0", ItemText(main, id)) << id;
    }
    for (const TargetRowIds& row : TARGET_ROW_IDS.Rows) {
        EXPECT_EQ("0.0.0.0", ItemText(main, row.Address)) << row.Address;
        EXPECT_EQ("", ItemText(main, row.Name)) << row.Name;
        EXPECT_FALSE(ItemChecked(main, row.Check)) << row.Check;
    }
    EXPECT_FALSE(ItemEnabled(main, IDC_READ_DEVICE) || ItemEnabled(main, IDC_WRITE_DEVICE));

    HWND name = GetDlgItem(main, Row(1).Name);
    PostMessageA(name, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(name, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageA(main, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ExpectIdleAndStaying(main);

    // The menu ends with a separator and the about item, whatever the system put before them.
    const std::string menu = m_probe.Ask(main, PROBE_SYSTEM_MENU);
    EXPECT_TRUE(std::regex_search(menu, std::regex("(^|\n)-\n16 About ZRV-Link \\(&A\\)\\.\\.\\.\n$")))
        << menu;
    // The system's low four bits of the command are not the program's.
    PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX | 0xF, 0);
    HWND about = WaitForDialog(m_process->Id(), "About ZRV-Link");
    ASSERT_NE(nullptr, about);
    EXPECT_NE(nullptr, FindWindowExA(about, nullptr, "Static", "ZRVLinkSetup Version 1.0"));
    Click(about, IDOK);
    ASSERT_TRUE(WaitUntilGone(about));

    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0); // the system menu's Close and Alt+F4
    ASSERT_TRUE(Answer(ExpectBox(QUIT_QUESTION), IDYES));
    DWORD exitCode = 99;
    ASSERT_TRUE(m_process->WaitForExit(&exitCode));
    EXPECT_EQ(0u, exitCode);
}

// Cancel changes nothing; a file loaded names itself in the caption, a rejected one changes nothing, a
// rate that the list does not hold (or none) leaves the list as it was for the next save, and a read
// replaces everything and forgets the file. Saving is shown with the file dialogs.
TEST_F(SetupDialog, LoadAndReadReplaceTheConfigurationAndNameItsFile) {
    HWND main = Start(m_ports.Loaded);
    ASSERT_NE(nullptr, main);
    Click(main, IDC_READ_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(READ_QUESTION), IDCANCEL));
    ExpectIdleAndStaying(main);
    EXPECT_EQ("0.0.0.0", ItemText(main, IDC_IPADDRESS));

    const struct {
        const char* File;
        const char* Content;
    } rates[] = {{"rate38400.dat", "BaudRate=38400\r\n"},
                 {"rate9600.dat", "BaudRate=9600\r\n"},
                 {"norate.dat", "Gateway=10.0.0.254\r\n"}};
    for (const auto& rate : rates) {
        std::ofstream(Path(rate.File)) << rate.Content;
        ChooseThrough(main, IDC_LOAD_SETUP, Path(rate.File));
        EXPECT_TRUE(WaitFor([&] { return WindowText(main).find(rate.File) != std::string::npos; }));
        EXPECT_EQ("38400", ItemText(main, IDC_BAUDRATE)) << rate.File;
    }
    std::ofstream(Path("bad.dat")) << "IPAddress=300.1.1.1\r\n";
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(2, 2, 2, 2));
    ChooseThrough(main, IDC_LOAD_SETUP, Path("bad.dat"));
    ASSERT_TRUE(Answer(ExpectBox(PARAMETER_ERROR), IDOK));
    EXPECT_EQ("2.2.2.2", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("ZRV-Link Setup - [norate.dat]", WindowText(main));

    ChooseThrough(main, IDC_SAVE_SETUP, Path("saved.dat"));
    CParamFile saved;
    EXPECT_TRUE(WaitFor([&] { return saved.Load(Path("saved.dat").c_str()); }));
    EXPECT_EQ(38400, saved.GetParam()->BaudRate);

    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
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
                {3, false, "", "0.0.0.0"},
                {7, true, "Lab", "10.0.0.7"},
                {32, false, "", "172.16.0.32"}};
    for (const auto& row : rows) {
        EXPECT_EQ(row.Checked, ItemChecked(main, Row(row.Destination).Check)) << row.Destination;
        EXPECT_EQ(row.Name, ItemText(main, Row(row.Destination).Name)) << row.Destination;
        EXPECT_EQ(row.Address, ItemText(main, Row(row.Destination).Address)) << row.Destination;
    }
    ExpectIdleAndStaying(main); // no message box confirmed the read
}

// Renamed, the program keeps its settings file and names its message boxes after itself. An invalid
// address stops a command before its question or file dialog. The progress dialog of the write, held by
// the trace viewer after the worker's last step, shows the bar at its end and repaints, and closes a
// moment after the completion. The device gets what the controls show, the rate chosen included, while
// the controls keep a destination that the engine disables in its copy because it carries the device's
// own address.
TEST_F(SetupDialog, WriteLandsInTheDeviceAndLeavesTheControlsAsWritten) {
    CCopyDataCatcher viewer;
    ASSERT_TRUE(viewer.Running());
    HWND main = Start(m_ports.Fresh, "Renamed.exe", "[Settings]\r\nBaudRateChange=1\r\n");
    ASSERT_NE(nullptr, main);
    for (int id : {IDC_BAUDRATE, IDC_PARITY, IDC_STOPBITS}) {
        EXPECT_TRUE(ItemEnabled(main, id)) << id;
    }
    ClearAddress(main, IDC_IPADDRESS);
    Click(main, IDC_WRITE_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox({"WARNING: IP Address is invalid", "OK", "exclamation"}), IDOK));
    ExpectIdleAndStaying(main); // the write question never came
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 1, 2, 3));
    ClearAddress(main, Row(7).Address);
    Click(main, IDC_SAVE_SETUP);
    ASSERT_TRUE(
        Answer(ExpectBox({"WARNING: Destination IP Address 7 is invalid", "OK", "exclamation"}), IDOK));
    ExpectIdleAndStaying(main); // nor the file dialog
    SetAddress(main, Row(7).Address, 0);

    ASSERT_TRUE(SelectItem(main, IDC_BAUDRATE, "230400"));
    SetAddress(main, IDC_SUBNETMASK, MakeIPv4(255, 0, 0, 0));
    SetAddress(main, IDC_GATEWAY, MakeIPv4(10, 1, 2, 254));
    SetItemChecked(main, Row(2).Check, true);
    SetItemText(main, Row(2).Name, "  Branch  ");
    SetAddress(main, Row(2).Address, MakeIPv4(10, 1, 2, 50));
    SetItemChecked(main, Row(5).Check, true);
    SetAddress(main, Row(5).Address, MakeIPv4(10, 1, 2, 3));

    viewer.HoldAt("  done..\n");
    HWND progress = StartTransfer(main, false);
    ASSERT_NE(nullptr, progress);
    EXPECT_EQ("now writing...", ItemText(progress, IDC_TRANSFER_STATUS));
    ASSERT_TRUE(viewer.WaitUntilHeld());
    ExpectTextsWhole(progress, "progress dialog");
    HWND bar = GetDlgItem(progress, IDC_TRANSFER_PROGRESS);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == 100; }));
    EXPECT_TRUE(IsWindowVisible(progress)); // completion has not come yet
    EXPECT_EQ("repainted", m_probe.Ask(progress, PROBE_REPAINT));
    const auto released = std::chrono::steady_clock::now();
    viewer.Release();
    ASSERT_TRUE(WaitUntilGone(progress));
    // A lower bound only: a busy machine makes the wait longer, never shorter.
    const auto pause = std::chrono::steady_clock::now() - released;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(pause).count(), 300);
    ASSERT_TRUE(Answer(ExpectBox(WRITE_COMPLETED), IDOK));
    const std::string trace = viewer.Lines();
    const std::size_t vers = trace.find("  vers = ");
    EXPECT_TRUE(vers != std::string::npos && vers == trace.rfind("  vers = ")) << "one transfer:\n" << trace;
    EXPECT_TRUE(ItemChecked(main, Row(5).Check));
    EXPECT_EQ("  Branch  ", ItemText(main, Row(2).Name));

    // What the device holds now comes back through a read over different controls.
    SetAddress(main, IDC_IPADDRESS, 0);
    SetItemText(main, Row(2).Name, "");
    ASSERT_TRUE(SelectItem(main, IDC_BAUDRATE, "19200"));
    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_EQ("10.1.2.3", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("255.0.0.0", ItemText(main, IDC_SUBNETMASK));
    EXPECT_EQ("10.1.2.254", ItemText(main, IDC_GATEWAY));
    EXPECT_TRUE(ItemChecked(main, Row(2).Check));
    EXPECT_EQ("Branch", ItemText(main, Row(2).Name));
    EXPECT_EQ("10.1.2.50", ItemText(main, Row(2).Address));
    EXPECT_FALSE(ItemChecked(main, Row(5).Check));
    EXPECT_EQ("230400", ItemText(main, IDC_BAUDRATE));
}

// What the file dialogs offer, the name they make of a bare one, the question before a file is replaced,
// and files that refuse: a file that another program writes to, and a read-only one, which stays as it
// was. None of these changes the caption.
TEST_F(SetupDialog, FileDialogsOfferSetupFilesAndAskBeforeReplacingOne) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    const auto savedAddress = [&] {
        CParamFile saved;
        return saved.Load(Path("office.dat").c_str()) ? saved.GetParam()->IPAddress : 0u;
    };

    // A bare name: the program's current directory and the setup files' extension.
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 0, 0, 1));
    HWND save = OpenFileDialog(main, IDC_SAVE_SETUP);
    ASSERT_NE(nullptr, save);
    EXPECT_EQ(SETUP_FILE_TYPES, ListItems(save, FILE_TYPE_LIST));
    ASSERT_TRUE(ChooseFile(save, "office"));
    ASSERT_TRUE(WaitUntilGone(save));
    EXPECT_TRUE(WaitFor([&] { return WindowText(main) == "ZRV-Link Setup - [office.dat]"; }))
        << WindowText(main);
    EXPECT_EQ(MakeIPv4(10, 0, 0, 1), savedAddress());

    // Replacing asks first; No goes back to the dialog and leaves the file.
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 0, 0, 2));
    for (int answer : {IDNO, IDYES}) {
        save = OpenFileDialog(main, IDC_SAVE_SETUP);
        ASSERT_TRUE(ChooseFile(save, "office.dat"));
        const MessageBoxView replace = WaitForMessageBox(0, "", save);
        ASSERT_NE(nullptr, replace.Window) << "no question before replacing";
        EXPECT_EQ("Yes+No", replace.Buttons) << replace.Text;
        ASSERT_TRUE(Answer(replace, answer));
        if (answer == IDNO) {
            EXPECT_TRUE(IsWindowVisible(save));
            PostMessageA(save, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            EXPECT_EQ(MakeIPv4(10, 0, 0, 1), savedAddress());
        }
        ASSERT_TRUE(WaitUntilGone(save));
    }
    EXPECT_TRUE(WaitFor([&] { return savedAddress() == MakeIPv4(10, 0, 0, 2); }));

    // The open dialog keeps its read-only box. Wine's save dialog hides its box whatever the program asks
    // for, so there a shown one could not be seen.
    HWND open = OpenFileDialog(main, IDC_LOAD_SETUP);
    ASSERT_NE(nullptr, open);
    EXPECT_EQ(SETUP_FILE_TYPES, ListItems(open, FILE_TYPE_LIST));
    EXPECT_TRUE(ItemVisible(open, READ_ONLY_BOX));
    PostMessageA(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntilGone(open));

    // A writer that shares reading and writing: a load that let writers in would succeed.
    CWinHandle writer(CreateFileA(Path("office.dat").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsOpen());
    ChooseThrough(main, IDC_LOAD_SETUP, Path("office.dat"));
    ASSERT_TRUE(Answer(ExpectBox(LOAD_ERROR), IDOK));
    writer.Close();
    const std::string locked = Path("locked.dat");
    std::ofstream(locked, std::ios::binary) << "BaudRate=9600\r\n";
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    save = OpenFileDialog(main, IDC_SAVE_SETUP);
    ASSERT_TRUE(ChooseFile(save, "locked.dat"));
    ASSERT_TRUE(Answer(WaitForMessageBox(0, "", save), IDYES)); // the question before replacing
    ASSERT_TRUE(Answer(ExpectBox(SAVE_ERROR), IDOK));
    EXPECT_EQ("BaudRate=9600\r\n", ReadWholeFile(locked));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL); // for the folder's removal
    EXPECT_EQ("10.0.0.2", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("ZRV-Link Setup - [office.dat]", WindowText(main));
    ExpectIdleAndStaying(main);
}

// Devices that fail part way: one stop message each, shown while the progress dialog stands, and the
// controls as they were. Then a device that goes before a read starts, and a port that does not open.
TEST_F(SetupDialog, FailingOrMissingDevicesShowOneStopMessageAndChangeNothing) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 9, 9, 9));
    const struct {
        const char* Device;
        int Port;
        bool Read;
        int BarAtLeast; // before the failure
        const BoxKind& Box;
    } devices[] = {
        {"silent", m_ports.Silent, true, 0, COMM_ERROR},
        {"stops after 40 commands", m_ports.Stops, true, 20, COMM_ERROR},
        {"unplugged after 40 replies", m_ports.Unplugged, false, 20, COMM_ERROR},
        {"answers save with something else than OK", m_ports.BadSave, false, 0, HARDWARE_ERROR},
    };
    for (const auto& device : devices) {
        ASSERT_TRUE(AttachDevice(device.Port));
        ASSERT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
        HWND progress = StartTransfer(main, device.Read);
        ASSERT_NE(nullptr, progress) << device.Device;
        EXPECT_EQ(device.Read ? "now reading..." : "now writing...", ItemText(progress, IDC_TRANSFER_STATUS));
        HWND bar = GetDlgItem(progress, IDC_TRANSFER_PROGRESS);
        EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) >= device.BarAtLeast; }));
        if (device.BarAtLeast > 0 && device.Read) {
            // None of these may end the transfer: the dialog must still stand when the error comes.
            PostMessageA(progress, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(progress, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageA(progress, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        const MessageBoxView box = ExpectBox(device.Box);
        EXPECT_TRUE(IsWindowVisible(progress)) << device.Device;
        EXPECT_EQ(progress, GetWindow(box.Window, GW_OWNER)) << device.Device;
        ASSERT_TRUE(Answer(box, IDOK));
        ASSERT_TRUE(WaitUntilGone(progress)) << device.Device;
        EXPECT_EQ("10.9.9.9", ItemText(main, IDC_IPADDRESS)) << device.Device;
        ExpectIdleAndStaying(main); // one message, and no "write completed"
    }

    // Pulled out while the question is up: the poll notices, so no progress dialog opens.
    ASSERT_TRUE(AttachDevice(m_ports.Loaded));
    ASSERT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
    Click(main, IDC_READ_DEVICE);
    const MessageBoxView question = ExpectBox(READ_QUESTION);
    ASSERT_TRUE(DetachDevice());
    ASSERT_TRUE(
        WaitFor([&] { return !ItemEnabled(main, IDC_READ_DEVICE) && !ItemEnabled(main, IDC_WRITE_DEVICE); }));
    EXPECT_TRUE(ItemEnabled(main, IDC_LOAD_SETUP) && ItemEnabled(main, IDC_SAVE_SETUP));
    ASSERT_TRUE(Answer(question, IDOK));
    ASSERT_TRUE(Answer(ExpectBox(COMM_ERROR), IDOK));
    ExpectIdleAndStaying(main);

    // Pulled out before the poll notices (the probe holds its timer back): the check at the start finds
    // no port, and the message comes inside the progress dialog, which then closes.
    ASSERT_TRUE(AttachDevice(m_ports.Loaded));
    ASSERT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
    Click(main, IDC_READ_DEVICE);
    const MessageBoxView again = ExpectBox(READ_QUESTION);
    ASSERT_EQ("held", m_probe.Ask(main, PROBE_HOLD_TIMERS, 1));
    ASSERT_TRUE(DetachDevice());
    ASSERT_TRUE(Answer(again, IDOK));
    HWND progress = WaitForDialog(m_process->Id(), "Parameter Transfer");
    ASSERT_NE(nullptr, progress);
    const MessageBoxView inside = ExpectBox(COMM_ERROR);
    EXPECT_EQ(progress, GetWindow(inside.Window, GW_OWNER));
    ASSERT_TRUE(Answer(inside, IDOK));
    ASSERT_TRUE(WaitUntilGone(progress));
    EXPECT_FALSE(ItemEnabled(main, IDC_READ_DEVICE)); // the start's own check saw it
    EXPECT_EQ("released", m_probe.Ask(main, PROBE_HOLD_TIMERS, 0));
    ExpectIdleAndStaying(main);

    // A port that the system lists but that cannot be opened.
    ASSERT_TRUE(AttachDevice(m_ports.Unmapped));
    ASSERT_TRUE(WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); }));
    progress = StartTransfer(main, true);
    ASSERT_TRUE(Answer(ExpectBox(RESOURCE_ERROR), IDOK));
    EXPECT_TRUE(progress == nullptr || WaitUntilGone(progress));
}

// Every text whole in the documents' layout at 100, 150 and 200 %, in the fonts that stand in for the
// dialogs' font where it is missing, the about box's too (the progress dialog's is looked at where a
// transfer shows it). The dialog's 9-point font follows the DPI, and the model label keeps its size next
// to it, following a move to a monitor of another DPI as well.
TEST_F(SetupDialog, TextsAreWholeInEveryStandInForTheDialogFontAtEveryDpi) {
    const wchar_t* const fonts[] = {
        L"DejaVu Sans Condensed", // the tests' own
        L"DejaVu Sans",           // what Wine takes where the system has no other fonts
        L"Liberation Sans",       // Arial's measures: what Windows takes for a face it does not have
        L"IPAPGothic",            // close to the documents' font
    };
    const auto labelHeight = [](int dpi) { return std::to_string(MulDiv(24, dpi, 96)); };
    for (const wchar_t* font : fonts) {
        ASSERT_TRUE(FontInstalled(font)) << Narrow(font) << " is not installed (scripts/install-deps.sh)";
        const StandInFont standIn(font);
        ASSERT_TRUE(standIn.Set);
        for (const int dpi : {96, 144, 192}) {
            const ScreenDpi screen(dpi);
            ASSERT_TRUE(screen.Set);
            const std::string where = Narrow(font) + " at " + std::to_string(dpi) + " DPI";
            HWND main = Start();
            ASSERT_NE(nullptr, main) << where;
            ExpectTextsWhole(main, where);
            EXPECT_EQ(labelHeight(dpi), m_probe.Ask(main, PROBE_FONT_HEIGHT, IDC_MODEL)) << where;
            EXPECT_EQ(std::to_string(-MulDiv(9, dpi, 72)), m_probe.Ask(main, PROBE_FONT_HEIGHT)) << where;
            PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            HWND about = WaitForDialog(m_process->Id(), "About ZRV-Link");
            ASSERT_NE(nullptr, about) << where;
            ExpectTextsWhole(about, where + ", about box");
        }
    }
    HWND main = Start();
    ASSERT_EQ("sent", m_probe.Ask(main, PROBE_DPI_CHANGED, 192));
    EXPECT_EQ(labelHeight(192), m_probe.Ask(main, PROBE_FONT_HEIGHT, IDC_MODEL));
    EXPECT_EQ("ZRV-LINK", ItemText(main, IDC_MODEL));
}

// Run in a Japanese code page, where a character may take two bytes.
class SetupDialogInJapanese : public SetupDialog {
protected:
    void SetUp() override {
        ASSERT_EQ(932u, GetACP()) << "run with LC_ALL=ja_JP.UTF-8, the locale generated";
        SetupDialog::SetUp();
    }
};

// The edits count characters; a name still holds at most 32 bytes, and only whole characters, whether
// typed or set whole, on screen and in the file.
TEST_F(SetupDialogInJapanese, NamesKeep32BytesOfWholeCharacters) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    const std::string hiragana = "\x82\xA0"; // U+3042, two bytes
    const std::string table = "\x95\x5C";    // U+8868, its trail byte the backslash's
    const struct {
        const char* Input;
        std::wstring Typed; // one WM_CHAR each
        std::string Set;    // or set whole
        std::string Kept;
    } names[] = {
        {"double-byte typed", std::wstring(20, L'\u3042'), "", Repeat(hiragana, 16)},
        {"one byte, then double-byte", L"a" + std::wstring(20, L'\u8868'), "", "a" + Repeat(table, 15)},
        {"single-byte typed", std::wstring(40, L'x'), "", std::string(32, 'x')},
        {"double-byte set whole", L"", "b" + Repeat(hiragana, 20), "b" + Repeat(hiragana, 15)},
    };
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const auto& name = names[i];
        HWND edit = GetDlgItem(main, Row(static_cast<int>(i) + 1).Name);
        for (wchar_t character : name.Typed) {
            SendMessageW(edit, WM_CHAR, character, 0);
        }
        if (!name.Set.empty()) {
            SetItemText(main, Row(static_cast<int>(i) + 1).Name, name.Set);
        }
        EXPECT_EQ(name.Kept, ItemText(main, Row(static_cast<int>(i) + 1).Name)) << name.Input;
    }
    ChooseThrough(main, IDC_SAVE_SETUP, Path("names.dat"));
    CParamFile saved;
    ASSERT_TRUE(WaitFor([&] { return saved.Load(Path("names.dat").c_str()); }));
    for (std::size_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(names[i].Kept, DecodeName(saved.GetParam()->Target[i].Name)) << names[i].Input;
    }
}

// Run in a Wine session of its own whose screen is a laptop's (ZRV_SCREEN, "1366x768") at the DPI such a
// laptop comes with (ZRV_SCREEN_DPI); screenshots go to ZRV_ARTIFACTS as main-<screen>-<percent>.png.
class SetupDialogOnScreen : public SetupDialog {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_screen.empty()) << "run in a screen session (tests/windows/CMakeLists.txt)";
        ASSERT_GT(m_screenDpi, 0);
        SetupDialog::SetUp();
    }

    // Starts the program at `dpi`, when given, rather than the screen's.
    HWND StartAt(int dpi = 0, int port = 0) {
        const ScreenDpi screen(dpi != 0 ? dpi : m_screenDpi);
        EXPECT_TRUE(screen.Set);
        return Start(port);
    }

    // A screenshot of the window once it has painted everything, as main-<screen>-<percent><suffix>.png.
    void ExpectScreenshot(HWND main, int dpi, const char* suffix = "") {
        EXPECT_EQ("painted", m_probe.Ask(main, PROBE_PAINT_NOW));
        const std::string name = "main-" + m_screen + "-" + std::to_string(dpi * 100 / 96) + suffix + ".png";
        EXPECT_TRUE(SaveScreenshot(name)) << name;
    }

    // The controls lie whole in the window's client area.
    static bool InView(HWND main, std::initializer_list<int> ids) {
        const RECT client = ClientOnScreen(main);
        for (int id : ids) {
            RECT control;
            if (!GetWindowRect(GetDlgItem(main, id), &control) || !Contains(client, control)) {
                return false;
            }
        }
        return true;
    }

    // The client area that the template gives the window, as the program maps it.
    SIZE TemplateClient(HWND main) {
        SIZE size = {0, 0};
        const std::string mapped = m_probe.Ask(main, PROBE_TEMPLATE_CLIENT, IDD_SETUP_DIALOG);
        std::sscanf(mapped.c_str(), "%ldx%ld", &size.cx, &size.cy);
        return size;
    }

    // The window lies within the work area. It scrolls in each direction its content does not fit, and
    // takes all the room of the work area in that direction.
    void ExpectWithinTheWorkArea(HWND main) {
        RECT window;
        GetWindowRect(main, &window);
        const RECT area = WorkAreaOf(main);
        EXPECT_TRUE(Contains(area, window)) << Describe(window) << " in " << Describe(area);
        const LONG style = GetWindowLongA(main, GWL_STYLE);
        const SIZE content = TemplateClient(main);
        RECT client;
        GetClientRect(main, &client);
        EXPECT_EQ(content.cy > client.bottom, (style & WS_VSCROLL) != 0)
            << content.cy << " in " << client.bottom;
        EXPECT_EQ(content.cx > client.right, (style & WS_HSCROLL) != 0)
            << content.cx << " in " << client.right;
        if ((style & WS_VSCROLL) != 0) {
            EXPECT_EQ(area.bottom - area.top, window.bottom - window.top);
        }
        if ((style & WS_HSCROLL) != 0) {
            EXPECT_EQ(area.right - area.left, window.right - window.left);
        }
    }

    const std::string m_screen = EnvironmentText("ZRV_SCREEN");
    const int m_screenDpi = std::atoi(EnvironmentText("ZRV_SCREEN_DPI").c_str());
};

// The window opens within the work area, scrolled to its start. The wheel takes the view to destination
// 32, which is typed into there and written; the device holds it, as a read over emptied controls shows.
// The progress dialog stands centred in the work area, whole, with its text whole.
TEST_F(SetupDialogOnScreen, LastDestinationIsReachedThroughTheScrolledWindowAndWritten) {
    CCopyDataCatcher viewer;
    ASSERT_TRUE(viewer.Running());
    HWND main = StartAt(0, m_ports.Loaded);
    ASSERT_NE(nullptr, main);
    ExpectWithinTheWorkArea(main);
    ASSERT_NE(0, GetWindowLongA(main, GWL_STYLE) & WS_VSCROLL) << "the window fits this screen";
    ExpectScreenshot(main, m_screenDpi);
    const TargetRowIds& last = Row(32);
    EXPECT_FALSE(InView(main, {last.Name}));
    EXPECT_TRUE(InView(main, {IDC_MODEL}));

    // Sideways with the tilt wheel, where the width does not fit either.
    for (int notch = 0; notch < 100 && !InView(main, {last.Check, last.Name, last.Address}); ++notch) {
        SendMessageA(main, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
        SendMessageA(main, WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    }
    ASSERT_TRUE(InView(main, {last.Check, last.Name, last.Address}));
    Click(main, last.Check);
    TypeText(GetDlgItem(main, last.Name), "Far End");
    SetAddress(main, last.Address, MakeIPv4(10, 32, 0, 32));
    EXPECT_TRUE(WaitFor([&] { return ItemChecked(main, last.Check); }));
    EXPECT_EQ("Far End", ItemText(main, last.Name));
    EXPECT_EQ("10.32.0.32", ItemText(main, last.Address));
    ExpectScreenshot(main, m_screenDpi, "-scrolled");

    viewer.HoldAt("  done..\n");
    HWND progress = StartTransfer(main, false);
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(viewer.WaitUntilHeld());
    RECT box;
    GetWindowRect(progress, &box);
    const RECT area = WorkAreaOf(progress);
    EXPECT_TRUE(Contains(area, box)) << Describe(box);
    EXPECT_LE(std::abs((box.left + box.right) - (area.left + area.right)), 2) << Describe(box);
    EXPECT_LE(std::abs((box.top + box.bottom) - (area.top + area.bottom)), 2) << Describe(box);
    ExpectTextsWhole(progress, "progress dialog");
    viewer.Release();
    ASSERT_TRUE(WaitUntilGone(progress));
    ASSERT_TRUE(Answer(ExpectBox(WRITE_COMPLETED), IDOK));

    SetItemChecked(main, last.Check, false);
    SetItemText(main, last.Name, "");
    SetAddress(main, last.Address, 0);
    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_TRUE(ItemChecked(main, last.Check));
    EXPECT_EQ("Far End", ItemText(main, last.Name));
    EXPECT_EQ("10.32.0.32", ItemText(main, last.Address));
}

// Tab moves the focus to a control out of view, and the view follows it down and back up; the about box
// opens whole.
TEST_F(SetupDialogOnScreen, TabBringsTheFocusedControlIntoView) {
    HWND main = StartAt();
    ASSERT_NE(nullptr, main);
    const TargetRowIds& last = Row(32);
    const auto focusedIn = [&](int id) {
        HWND control = GetDlgItem(main, id);
        HWND focus = FocusedWindow(main);
        return (focus == control || IsChild(control, focus)) && InView(main, {id});
    };
    PostMessageA(main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(main, last.Name)), TRUE);
    ASSERT_TRUE(WaitFor([&] { return focusedIn(last.Name); }));
    SendMessageA(main, WM_VSCROLL, SB_TOP, 0);
    SendMessageA(main, WM_HSCROLL, SB_LEFT, 0);
    ASSERT_FALSE(InView(main, {last.Address}));

    PostMessageA(FocusedWindow(main), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(WaitFor([&] { return focusedIn(last.Address); }));
    // Read and Write are disabled without a device: Load is next, at the top.
    PostMessageA(FocusedWindow(main), WM_KEYDOWN, VK_TAB, 0);
    EXPECT_TRUE(WaitFor([&] { return focusedIn(IDC_LOAD_SETUP); }));

    PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    HWND about = WaitForDialog(m_process->Id(), "About ZRV-Link");
    ASSERT_NE(nullptr, about);
    RECT box;
    GetWindowRect(about, &box);
    EXPECT_TRUE(Contains(WorkAreaOf(about), box)) << Describe(box);
}

// The scroll bars' lines, pages and ends and the wheel's notches move the view, never past the content.
TEST_F(SetupDialogOnScreen, ScrollBarsAndWheelMoveTheViewWithinTheContent) {
    HWND main = StartAt();
    ASSERT_NE(nullptr, main);
    HWND label = GetDlgItem(main, IDC_MODEL);
    const auto top = [&] {
        RECT rect;
        GetWindowRect(label, &rect);
        return rect.top - ClientOnScreen(main).top;
    };
    const int start = top();
    const int view = ClientOnScreen(main).bottom - ClientOnScreen(main).top;
    const auto scroll = [&](UINT message, WPARAM wParam) {
        SendMessageA(main, message, wParam, 0);
        return start - top();
    };
    const int line = scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_GT(line, 0);
    const int page = scroll(WM_VSCROLL, SB_PAGEDOWN) - line;
    EXPECT_GT(page, line);
    EXPECT_LT(page, view); // some of what was shown stays in sight
    EXPECT_EQ(page, scroll(WM_VSCROLL, SB_LINEUP));
    EXPECT_EQ(0, scroll(WM_VSCROLL, SB_TOP));
    EXPECT_EQ(0, scroll(WM_VSCROLL, SB_LINEUP)); // never before the start
    EXPECT_GT(scroll(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA))), 0);
    EXPECT_EQ(0, scroll(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA)));

    // The end shows the content's end, and goes no further.
    const int end = scroll(WM_VSCROLL, SB_BOTTOM);
    EXPECT_EQ(end, scroll(WM_VSCROLL, SB_LINEDOWN));
    EXPECT_EQ(end, scroll(WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA))));
    EXPECT_EQ(TemplateClient(main).cy - view, end);
}

// Told of a change of DPI or display while it stands partly off the work area, the window is fitted there
// again: within the work area, scrolled as before.
TEST_F(SetupDialogOnScreen, AChangeOfDpiOrDisplayFitsTheWindowAgain) {
    HWND main = StartAt();
    ASSERT_NE(nullptr, main);
    const TargetRowIds& last = Row(32);
    SendMessageA(main, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageA(main, WM_HSCROLL, SB_RIGHT, 0);
    ASSERT_TRUE(InView(main, {last.Address}));
    RECT before;
    GetWindowRect(main, &before);
    const RECT area = WorkAreaOf(main);
    const auto placed = [&] {
        RECT window;
        GetWindowRect(main, &window);
        return window;
    };
    const auto pushOff = [&] {
        SetWindowPos(main, nullptr, area.right - 300, area.bottom - 200, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitFor([&] { return !Contains(area, placed()); }));
    };
    // The view back where it was is the last step of fitting.
    const auto fittedAgain = [&] {
        const RECT window = placed();
        return Contains(area, window) && window.right - window.left == before.right - before.left &&
               window.bottom - window.top == before.bottom - before.top && InView(main, {last.Address});
    };

    pushOff();
    ASSERT_EQ("sent", m_probe.Ask(main, PROBE_DPI_CHANGED, static_cast<WORD>(m_screenDpi)));
    EXPECT_TRUE(WaitFor(fittedAgain));
    ExpectWithinTheWorkArea(main);

    pushOff();
    PostMessageA(main, WM_DISPLAYCHANGE, 32, MAKELPARAM(area.right, area.bottom));
    EXPECT_TRUE(WaitFor(fittedAgain));
}

// At the other DPI, the window scrolls only where it does not fit: on 1366x768 at 150 % it is too wide as
// well as too tall, and the wheel and the tilt wheel take the view to the last destination, the bars back
// to the start; on 1920x1080 at 100 % it is as it always was, its template's size without scroll bars, and
// the wheel moves nothing.
TEST_F(SetupDialogOnScreen, AtTheOtherDpiItScrollsOnlyWhereItDoesNotFit) {
    const bool small = m_screen == "1366x768";
    const int dpi = small ? 144 : 96;
    HWND main = StartAt(dpi);
    ASSERT_NE(nullptr, main);
    ExpectWithinTheWorkArea(main);
    EXPECT_EQ(small ? WS_VSCROLL | WS_HSCROLL : 0,
              GetWindowLongA(main, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL));
    ExpectScreenshot(main, dpi);
    const TargetRowIds& last = Row(32);
    const std::initializer_list<int> lastRow = {last.Check, last.Name, last.Address};
    if (!small) {
        RECT client;
        GetClientRect(main, &client);
        EXPECT_EQ(TemplateClient(main).cx, client.right);
        EXPECT_EQ(TemplateClient(main).cy, client.bottom);
    }
    EXPECT_EQ(!small, InView(main, lastRow));
    const auto labelTop = [&] {
        RECT label;
        GetWindowRect(GetDlgItem(main, IDC_MODEL), &label);
        return label.top;
    };
    const LONG startTop = labelTop();
    for (int notch = 0; notch == 0 || (notch < 100 && !InView(main, lastRow)); ++notch) {
        SendMessageA(main, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
        SendMessageA(main, WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
    }
    EXPECT_TRUE(InView(main, lastRow));
    EXPECT_EQ(small, labelTop() != startTop);
    SendMessageA(main, WM_HSCROLL, SB_LEFT, 0);
    SendMessageA(main, WM_VSCROLL, SB_TOP, 0);
    EXPECT_TRUE(InView(main, {IDC_MODEL}));
}

} // namespace
