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

#include <chrono>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
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
const BoxKind HARDWARE_ERROR = {"WARNING: hardware error", "OK", "stop"};
const BoxKind RESOURCE_ERROR = {"WARNING: not enoungh resouce", "OK", "stop"};

// Controls of the common file dialogs.
constexpr int FILE_TYPE_LIST = 0x470;
constexpr int READ_ONLY_BOX = 0x410;
constexpr int FILE_NAME_COMBO = 0x47C;
constexpr int FILE_NAME_EDIT = 0x480;
const std::vector<std::string> SETUP_FILE_TYPES = {"ZRV-Link File (*.dat)", "All Files (*.*)"};

// The simulators of run-setup-e2e.sh by role, on port ZRV_PORT_<role>: LOADED starts with
// data/device-start.dat (ZRV_DEVICE_START); FRESH has the defaults and answers "vers" after 600 ms and
// "save" after 1500 ms (longer than the port's read time-out), each reply sent byte by byte after garbage;
// SILENT never answers; STOPS stops answering after 40 commands; UNPLUGGED closes its line after 40
// replies; BADSAVE answers "save" with something else than OK; UNMAPPED is listed by the system, but
// cannot be opened.
const char* const ROLES[] = {"LOADED", "FRESH", "SILENT", "STOPS", "UNPLUGGED", "BADSAVE", "UNMAPPED"};

int Port(const std::string& role) {
    return std::atoi(EnvironmentText(("ZRV_PORT_" + role).c_str()).c_str());
}

const TargetRowIds& Row(int destination) {
    return TARGET_ROW_IDS.Rows[destination - 1];
}

std::string Describe(const RECT& rect) {
    return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " +
           std::to_string(rect.right - rect.left) + "x" + std::to_string(rect.bottom - rect.top);
}

// True when the system has a font named `face`, not only a stand-in for it.
bool FontInstalled(const char* face) {
    LOGFONTA wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynA(wanted.lfFaceName, face, LF_FACESIZE);
    bool found = false;
    const auto take = [](const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM seen) {
        *reinterpret_cast<bool*>(seen) = true;
        return 0;
    };
    EnumFontFamiliesExA(CWindowDC(nullptr).Get(), &wanted, take, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// An address control: all four fields filled with `address`, or all of them empty.
void SetAddress(HWND dialog, int id, uint32_t address) {
    SendMessageA(GetDlgItem(dialog, id), IPM_SETADDRESS, 0, static_cast<LPARAM>(address));
}

void ClearAddress(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), IPM_CLEARADDRESS, 0, 0);
}

// Selects the item `text` of a drop-down list as the user does: the dialog is told of the change.
bool SelectItem(HWND dialog, int id, const std::string& text) {
    HWND list = GetDlgItem(dialog, id);
    const LRESULT selected =
        SendMessageA(list, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return selected != CB_ERR;
}

// As the keyboard would, one character after the other.
void TypeText(HWND control, const std::wstring& text) {
    for (wchar_t character : text) {
        SendMessageW(control, WM_CHAR, character, 0);
    }
}

// Across processes the system converts no item text between code pages: ask for it in UTF-16, the
// common dialogs' own. The items are ASCII.
std::vector<std::string> ListItems(HWND dialog, int id) {
    std::vector<std::string> items;
    for (LRESULT i = 0, count = SendDlgItemMessageW(dialog, id, CB_GETCOUNT, 0, 0); i < count; ++i) {
        wchar_t text[256] = {};
        if (SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, i, 0) < 256) {
            SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        }
        items.emplace_back(text, text + std::wcslen(text));
    }
    return items;
}

// Types `path` into an open or save dialog and confirms it. The file-name box is a combo whose text is
// its edit's, or a plain edit.
bool ChooseFile(HWND fileDialog, const std::string& path) {
    const bool typed = WaitFor([&] {
        return SetDlgItemTextA(fileDialog, FILE_NAME_COMBO, path.c_str()) ||
               SetDlgItemTextA(fileDialog, FILE_NAME_EDIT, path.c_str());
    });
    return typed && PostMessageA(fileDialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

// The control of `window`'s thread that has the keyboard focus.
HWND FocusedWindow(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus : nullptr;
}

// The window's client area, and the work area of its monitor, in screen coordinates.
RECT ClientOnScreen(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

RECT WorkAreaOf(HWND window) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
    return monitor.rcWork;
}

RECT Placed(HWND window) {
    RECT placed = {};
    GetWindowRect(window, &placed);
    return placed;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// A picture of the whole screen as PNG_NAME in the folder that ZRV_ARTIFACTS names, by ImageMagick's
// import, a Linux program. Wine starts it without a handle to wait on: it writes the picture under
// another name and renames it when done, and the rename is what is waited for.
bool SaveScreenshot(const std::string& pngName) {
    const std::string folder = EnvironmentText("ZRV_ARTIFACTS");
    const std::string done = folder + "/" + pngName;
    const std::string writing = folder + "/." + pngName;
    const std::string doneHere = "Z:" + done; // Wine's drive Z: is the Linux root
    DeleteFileA(doneHere.c_str());
    const std::string command =
        "/bin/sh -c \"import -window root '" + writing + "' && mv '" + writing + "' '" + done + "'\"";
    return !folder.empty() && WinExec(command.c_str(), SW_HIDE) > 31 &&
           WaitFor([&] { return GetFileAttributesA(doneHere.c_str()) != INVALID_FILE_ATTRIBUTES; });
}

class SetupDialog : public testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char* role : ROLES) {
            ASSERT_GT(Port(role), 0) << "no simulator ports: run through run-setup-e2e.sh";
            ASSERT_TRUE(ListSerialPort(Port(role)));
        }
        ASSERT_TRUE(SubstituteDialogFont());
    }

    // Later tests in the same Wine session see the system as it was.
    static void TearDownTestSuite() {
        for (const char* role : ROLES) {
            EXPECT_TRUE(UnlistSerialPort(Port(role))) << role;
        }
        EXPECT_TRUE(DetachDevice());
    }

    void SetUp() override {
        ASSERT_FALSE(m_program.empty()) << "ZRV_SETUP_EXE names no program";
        ASSERT_TRUE(m_probe.Loaded()) << "setup_probe.dll is not beside the test program";
        ASSERT_TRUE(DetachDevice());
    }

    // A screen DPI or a dialog font that a test chose is not the next one's.
    void TearDown() override { EXPECT_TRUE(SetScreenDpi(0) && SubstituteDialogFont()); }

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

    // Attaches the device on `port` while the program runs; true once Read has followed it.
    static bool Plug(HWND main, int port) {
        return AttachDevice(port) && WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); });
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
        const std::string report = "\n" + m_probe.Ask(window, PROBE_TEXT_FIT);
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
    CSetupProbe m_probe;
    std::unique_ptr<CSetupProcess> m_process;
    std::string m_caption; // of the program's message boxes: its file name without the extension
};

// A fresh start: the defaults and no device. Enter and Escape do nothing; the system menu's about item
// opens the about box; only Yes to the quit question ends the program.
TEST_F(SetupDialog, StartsWithTheDefaultsAndOnlyYesToTheQuestionEndsIt) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    const CParamFile defaults;
    EXPECT_EQ("", FormDifferences(main, *defaults.GetParam()));
    EXPECT_EQ("NONE", ItemText(main, IDC_PARITY));
    EXPECT_EQ("1", ItemText(main, IDC_STOPBITS));
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
// replaces everything with what the device holds and forgets the file. Saving is shown with the file
// dialogs.
TEST_F(SetupDialog, LoadAndReadReplaceTheConfigurationAndNameItsFile) {
    HWND main = Start(Port("LOADED"));
    ASSERT_NE(nullptr, main);
    Click(main, IDC_READ_DEVICE);
    ASSERT_TRUE(Answer(ExpectBox(READ_QUESTION), IDCANCEL));
    ExpectIdleAndStaying(main);
    EXPECT_EQ("0.0.0.0", ItemText(main, IDC_IPADDRESS));

    const std::pair<std::string, const char*> rates[] = {{"rate38400.dat", "BaudRate=38400\r\n"},
                                                         {"rate9600.dat", "BaudRate=9600\r\n"},
                                                         {"norate.dat", "Gateway=10.0.0.254\r\n"}};
    for (const auto& rate : rates) {
        std::ofstream(Path(rate.first)) << rate.second;
        ChooseThrough(main, IDC_LOAD_SETUP, Path(rate.first));
        EXPECT_TRUE(WaitFor([&] { return WindowText(main).find(rate.first) != std::string::npos; }));
        EXPECT_EQ("38400", ItemText(main, IDC_BAUDRATE)) << rate.first;
    }
    std::ofstream(Path("bad.dat")) << "IPAddress=300.1.1.1\r\n";
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(2, 2, 2, 2));
    ChooseThrough(main, IDC_LOAD_SETUP, Path("bad.dat"));
    ASSERT_TRUE(Answer(ExpectBox({"WARNING: parameter error", "OK", "exclamation"}), IDOK));
    EXPECT_EQ("2.2.2.2", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("ZRV-Link Setup - [norate.dat]", WindowText(main));

    ChooseThrough(main, IDC_SAVE_SETUP, Path("saved.dat"));
    CParamFile saved;
    EXPECT_TRUE(WaitFor([&] { return saved.Load(Path("saved.dat").c_str()); }));
    EXPECT_EQ(38400, saved.GetParam()->BaudRate);

    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_EQ("ZRV-Link Setup", WindowText(main));
    CParamFile held;
    ASSERT_TRUE(held.Load(EnvironmentText("ZRV_DEVICE_START").c_str())) << "run through run-setup-e2e.sh";
    EXPECT_EQ("", FormDifferences(main, *held.GetParam()));
    ExpectIdleAndStaying(main); // no message box confirmed the read
}

// Renamed, the program keeps its settings file and names its message boxes after itself. An invalid
// address stops a command before its question or file dialog. A write is one transfer. The device gets
// what the controls show, the rate chosen included, while
// the controls keep a destination that the engine disables in its copy because it carries the device's
// own address.
TEST_F(SetupDialog, WriteLandsInTheDeviceAndLeavesTheControlsAsWritten) {
    CCopyDataCatcher viewer;
    ASSERT_TRUE(viewer.Running());
    HWND main = Start(Port("FRESH"), "Renamed.exe", "[Settings]\r\nBaudRateChange=1\r\n");
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
    CheckDlgButton(main, Row(2).Check, BST_CHECKED);
    SetDlgItemTextA(main, Row(2).Name, "  Branch  ");
    SetAddress(main, Row(2).Address, MakeIPv4(10, 1, 2, 50));
    CheckDlgButton(main, Row(5).Check, BST_CHECKED);
    SetAddress(main, Row(5).Address, MakeIPv4(10, 1, 2, 3));

    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, false)));
    ASSERT_TRUE(Answer(ExpectBox(WRITE_COMPLETED), IDOK));
    const std::string trace = viewer.Lines();
    const std::size_t vers = trace.find("  vers = ");
    EXPECT_TRUE(vers != std::string::npos && vers == trace.rfind("  vers = ")) << "one transfer:\n" << trace;
    EXPECT_TRUE(IsDlgButtonChecked(main, Row(5).Check));
    EXPECT_EQ("  Branch  ", ItemText(main, Row(2).Name));

    // What the device holds now comes back through a read over different controls.
    SetAddress(main, IDC_IPADDRESS, 0);
    SetDlgItemTextA(main, Row(2).Name, "");
    ASSERT_TRUE(SelectItem(main, IDC_BAUDRATE, "19200"));
    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_EQ("10.1.2.3", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("255.0.0.0", ItemText(main, IDC_SUBNETMASK));
    EXPECT_EQ("10.1.2.254", ItemText(main, IDC_GATEWAY));
    EXPECT_TRUE(IsDlgButtonChecked(main, Row(2).Check));
    EXPECT_EQ("Branch", ItemText(main, Row(2).Name));
    EXPECT_EQ("10.1.2.50", ItemText(main, Row(2).Address));
    EXPECT_FALSE(IsDlgButtonChecked(main, Row(5).Check));
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
    EXPECT_TRUE(WaitFor([&] { return savedAddress() == MakeIPv4(10, 0, 0, 1); }));

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
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(open, READ_ONLY_BOX)));
    PostMessageA(open, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ASSERT_TRUE(WaitUntilGone(open));

    // A writer that shares reading and writing: a load that let writers in would succeed.
    CWinHandle writer(CreateFileA(Path("office.dat").c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(writer.IsOpen());
    ChooseThrough(main, IDC_LOAD_SETUP, Path("office.dat"));
    ASSERT_TRUE(Answer(ExpectBox({"WARNING: file load error", "OK", "exclamation"}), IDOK));
    writer.Close();
    const std::string locked = Path("locked.dat");
    std::ofstream(locked, std::ios::binary) << "BaudRate=9600\r\n";
    ASSERT_TRUE(SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    save = OpenFileDialog(main, IDC_SAVE_SETUP);
    ASSERT_TRUE(ChooseFile(save, "locked.dat"));
    ASSERT_TRUE(Answer(WaitForMessageBox(0, "", save), IDYES)); // the question before replacing
    ASSERT_TRUE(Answer(ExpectBox({"WARNING: file save error", "OK", "exclamation"}), IDOK));
    EXPECT_EQ("BaudRate=9600\r\n", ReadWholeFile(locked));
    SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL); // for the folder's removal
    EXPECT_EQ("10.0.0.2", ItemText(main, IDC_IPADDRESS));
    EXPECT_EQ("ZRV-Link Setup - [office.dat]", WindowText(main)); // as the first save named it
    ExpectIdleAndStaying(main);
}

// Devices that fail part way, and a port that does not open: one stop message each, shown while the
// progress dialog stands, and the controls as they were. Then a device that goes before a read starts.
TEST_F(SetupDialog, FailingOrMissingDevicesShowOneStopMessageAndChangeNothing) {
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    SetAddress(main, IDC_IPADDRESS, MakeIPv4(10, 9, 9, 9));
    const struct {
        const char* Role;
        bool Read;
        int BarAtLeast; // before the failure
        BoxKind Box;
    } devices[] = {
        {"SILENT", true, 0, COMM_ERROR},       {"STOPS", true, 20, COMM_ERROR},
        {"UNPLUGGED", false, 20, COMM_ERROR},  {"BADSAVE", false, 0, HARDWARE_ERROR},
        {"UNMAPPED", true, 0, RESOURCE_ERROR},
    };
    for (const auto& device : devices) {
        ASSERT_TRUE(Plug(main, Port(device.Role)));
        HWND progress = StartTransfer(main, device.Read);
        ASSERT_NE(nullptr, progress) << device.Role;
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
        EXPECT_TRUE(IsWindowVisible(progress)) << device.Role;
        EXPECT_EQ(progress, GetWindow(box.Window, GW_OWNER)) << device.Role;
        ASSERT_TRUE(Answer(box, IDOK));
        ASSERT_TRUE(WaitUntilGone(progress)) << device.Role;
        EXPECT_EQ("10.9.9.9", ItemText(main, IDC_IPADDRESS)) << device.Role;
        ExpectIdleAndStaying(main); // one message, and no "write completed"
    }

    // Pulled out while the read question is up. The poll notices, and no progress dialog opens; with the
    // poll held back by the probe, the check at the start finds no port, and the message comes inside the
    // progress dialog, which then closes.
    for (const bool pollHeld : {false, true}) {
        ASSERT_TRUE(Plug(main, Port("LOADED")));
        Click(main, IDC_READ_DEVICE);
        const MessageBoxView question = ExpectBox(READ_QUESTION);
        ASSERT_EQ(pollHeld ? "held" : "released", m_probe.Ask(main, PROBE_HOLD_TIMERS, pollHeld));
        ASSERT_TRUE(DetachDevice());
        if (!pollHeld) {
            ASSERT_TRUE(WaitFor(
                [&] { return !ItemEnabled(main, IDC_READ_DEVICE) && !ItemEnabled(main, IDC_WRITE_DEVICE); }));
            EXPECT_TRUE(ItemEnabled(main, IDC_LOAD_SETUP) && ItemEnabled(main, IDC_SAVE_SETUP));
        }
        ASSERT_TRUE(Answer(question, IDOK));
        HWND progress = pollHeld ? WaitForDialog(m_process->Id(), "Parameter Transfer") : main;
        ASSERT_NE(nullptr, progress);
        const MessageBoxView box = ExpectBox(COMM_ERROR);
        EXPECT_EQ(progress, GetWindow(box.Window, GW_OWNER)) << pollHeld;
        ASSERT_TRUE(Answer(box, IDOK));
        EXPECT_TRUE(!pollHeld || WaitUntilGone(progress));
        EXPECT_FALSE(ItemEnabled(main, IDC_READ_DEVICE)); // held, the start's own check saw it
        ExpectIdleAndStaying(main);
    }
    EXPECT_EQ("released", m_probe.Ask(main, PROBE_HOLD_TIMERS, 0));
}

// Every text whole in the documents' layout at 100, 150 and 200 %, in the fonts that stand in for the
// dialogs' font where it is missing, the about box's too (the progress dialog's is looked at where a
// transfer shows it). The dialog's 9-point font follows the DPI, and the model label keeps its size next
// to it, following a move to a monitor of another DPI as well.
TEST_F(SetupDialog, TextsAreWholeInEveryStandInForTheDialogFontAtEveryDpi) {
    const char* const fonts[] = {
        "DejaVu Sans Condensed", // the tests' own
        "DejaVu Sans",           // what Wine takes where the system has no other fonts
        "Liberation Sans",       // Arial's measures: what Windows takes for a face it does not have
        "IPAPGothic",            // close to the documents' font
    };
    const auto labelHeight = [](int dpi) { return std::to_string(MulDiv(24, dpi, 96)); };
    for (const char* font : fonts) {
        ASSERT_TRUE(FontInstalled(font)) << font << " is not installed (scripts/install-deps.sh)";
        ASSERT_TRUE(SubstituteDialogFont(font));
        for (const int dpi : {96, 144, 192}) {
            ASSERT_TRUE(SetScreenDpi(dpi));
            const std::string where = font + (" at " + std::to_string(dpi)) + " DPI";
            HWND main = Start();
            ASSERT_NE(nullptr, main) << where;
            ExpectTextsWhole(main, where);
            EXPECT_EQ(labelHeight(dpi), m_probe.Ask(main, PROBE_FONT_HEIGHT, IDC_MODEL)) << where;
            EXPECT_EQ(std::to_string(-MulDiv(9, dpi, 72)), m_probe.Ask(main, PROBE_FONT_HEIGHT)) << where;
            PostMessageA(main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
            HWND about = WaitForDialog(m_process->Id(), "About ZRV-Link");
            ASSERT_NE(nullptr, about) << where;
            ExpectTextsWhole(about, where + ", about box");
            EXPECT_TRUE(Contains(WorkAreaOf(about), Placed(about)))
                << where << ": " << Describe(Placed(about));
        }
    }
    ASSERT_TRUE(SetScreenDpi(0) && SubstituteDialogFont());
    HWND main = Start();
    ASSERT_EQ("sent", m_probe.Ask(main, PROBE_DPI_CHANGED, 192));
    EXPECT_EQ(labelHeight(192), m_probe.Ask(main, PROBE_FONT_HEIGHT, IDC_MODEL));
    EXPECT_EQ("ZRV-LINK", ItemText(main, IDC_MODEL));
}

// Run in a Japanese code page, where a character may take two bytes.
using SetupDialogInJapanese = SetupDialog;

// The edits count characters; a name still holds at most 32 bytes, and only whole characters, whether
// typed or set whole, on screen and in the file.
TEST_F(SetupDialogInJapanese, NamesKeep32BytesOfWholeCharacters) {
    ASSERT_EQ(932u, GetACP()) << "run with LC_ALL=ja_JP.UTF-8, the locale generated";
    HWND main = Start();
    ASSERT_NE(nullptr, main);
    // Typed into destinations 1 and 2, set whole into 3.
    TypeText(GetDlgItem(main, Row(1).Name), L"a" + std::wstring(20, L'\u8868'));
    TypeText(GetDlgItem(main, Row(2).Name), std::wstring(40, L'x'));
    SetDlgItemTextA(main, Row(3).Name, ("b" + Repeat("\x82\xA0", 20)).c_str()); // U+3042
    // U+8868's trail byte is the backslash's.
    const std::string kept[] = {"a" + Repeat("\x95\x5C", 15), std::string(32, 'x'),
                                "b" + Repeat("\x82\xA0", 15)};
    ChooseThrough(main, IDC_SAVE_SETUP, Path("names.dat"));
    CParamFile saved;
    ASSERT_TRUE(WaitFor([&] { return saved.Load(Path("names.dat").c_str()); }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kept[i], ItemText(main, Row(i + 1).Name)) << "destination " << i + 1;
        EXPECT_EQ(kept[i], DecodeName(saved.GetParam()->Target[i].Name)) << "destination " << i + 1;
    }
}

// Run in a Wine session of its own whose screen is a laptop's (ZRV_SCREEN, "1366x768") at the DPI such a
// laptop comes with (ZRV_SCREEN_DPI); screenshots go to ZRV_ARTIFACTS as main-<screen>-<percent>.png.
class SetupDialogOnScreen : public SetupDialog {
protected:
    void SetUp() override {
        ASSERT_TRUE(!m_screen.empty() && m_screenDpi > 0)
            << "run in a screen session (tests/windows/CMakeLists.txt)";
        SetupDialog::SetUp();
    }

    // Starts the program at `dpi`, when given, rather than the screen's.
    HWND StartAt(int dpi = 0, int port = 0) {
        EXPECT_TRUE(SetScreenDpi(dpi != 0 ? dpi : m_screenDpi));
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

    // Where the model label, the first control, stands in the client area: the view's position, negated.
    static LONG LabelTop(HWND main) {
        return Placed(GetDlgItem(main, IDC_MODEL)).top - ClientOnScreen(main).top;
    }

    // Turns the wheel and the tilt wheel (down and right) a notch, and on until the controls are in view.
    static bool WheelUntilInView(HWND main, std::initializer_list<int> ids) {
        for (int notch = 0; notch == 0 || (notch < 100 && !InView(main, ids)); ++notch) {
            SendMessageA(main, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), 0);
            SendMessageA(main, WM_MOUSEHWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0);
        }
        return InView(main, ids);
    }

    // The client area that the template gives the window, as the program maps it.
    SIZE TemplateClient(HWND main) {
        SIZE size = {0, 0};
        const std::string mapped = m_probe.Ask(main, PROBE_TEMPLATE_CLIENT, IDD_SETUP_DIALOG);
        std::sscanf(mapped.c_str(), "%ldx%ld", &size.cx, &size.cy);
        return size;
    }

    const std::string m_screen = EnvironmentText("ZRV_SCREEN");
    const int m_screenDpi = std::atoi(EnvironmentText("ZRV_SCREEN_DPI").c_str());
};

// At the screen's DPI and at the other one, the window opens within the work area, scrolled to its start,
// and scrolls only where it does not fit: at the screen's DPI it is too tall; on 1366x768 at 150 % too
// wide as well; on 1920x1080 at 100 % it is as it always was, its template's size without scroll bars,
// and the wheel moves nothing. Where it scrolls, the wheel and the tilt wheel take the view to the last
// destination, and the bars back to the start.
TEST_F(SetupDialogOnScreen, AtEitherDpiItScrollsOnlyWhereItDoesNotFit) {
    const bool small = m_screen == "1366x768";
    const std::pair<int, LONG> cases[] = {{m_screenDpi, WS_VSCROLL},
                                          {small ? 144 : 96, small ? WS_VSCROLL | WS_HSCROLL : 0}};
    const TargetRowIds& last = Row(32);
    const std::initializer_list<int> lastRow = {last.Check, last.Name, last.Address};
    for (const auto& [dpi, bars] : cases) {
        HWND main = StartAt(dpi);
        ASSERT_NE(nullptr, main) << dpi;
        const RECT window = Placed(main);
        const RECT area = WorkAreaOf(main);
        EXPECT_TRUE(Contains(area, window)) << Describe(window) << " in " << Describe(area);
        EXPECT_EQ(bars, GetWindowLongA(main, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL)) << dpi;
        // Scrolled, it takes all the room of the work area.
        EXPECT_EQ((bars & WS_VSCROLL) != 0, window.bottom - window.top == area.bottom - area.top) << dpi;
        EXPECT_EQ((bars & WS_HSCROLL) != 0, window.right - window.left == area.right - area.left) << dpi;
        ExpectScreenshot(main, dpi);
        RECT client;
        GetClientRect(main, &client);
        const SIZE content = TemplateClient(main);
        EXPECT_EQ(bars == 0, content.cx == client.right && content.cy == client.bottom)
            << dpi; // as it always was
        EXPECT_TRUE(InView(main, {IDC_MODEL})) << dpi;
        EXPECT_EQ(bars == 0, InView(main, lastRow)) << dpi;
        const LONG start = LabelTop(main);
        EXPECT_TRUE(WheelUntilInView(main, lastRow)) << dpi;
        EXPECT_EQ(bars != 0, LabelTop(main) != start) << dpi;
        SendMessageA(main, WM_HSCROLL, SB_LEFT, 0);
        SendMessageA(main, WM_VSCROLL, SB_TOP, 0);
        EXPECT_TRUE(InView(main, {IDC_MODEL})) << dpi;
    }
}

// The wheel takes the view to destination 32, which is typed into there and written; the device holds
// it, as a read over emptied controls shows. The progress dialog, held by the trace viewer after the
// worker's last step, shows the bar at its end and repaints; it stands centred in the work area, whole,
// with its text whole.
TEST_F(SetupDialogOnScreen, LastDestinationIsReachedThroughTheScrolledWindowAndWritten) {
    CCopyDataCatcher viewer;
    ASSERT_TRUE(viewer.Running());
    HWND main = StartAt(0, Port("LOADED"));
    ASSERT_NE(nullptr, main);
    const TargetRowIds& last = Row(32);
    ASSERT_TRUE(WheelUntilInView(main, {last.Check, last.Name, last.Address}));
    Click(main, last.Check);
    TypeText(GetDlgItem(main, last.Name), L"Far End");
    SetAddress(main, last.Address, MakeIPv4(10, 32, 0, 32));
    ExpectScreenshot(main, m_screenDpi, "-scrolled");

    viewer.HoldAt("  done..\n");
    HWND progress = StartTransfer(main, false);
    ASSERT_NE(nullptr, progress);
    ASSERT_TRUE(viewer.WaitUntilHeld());
    HWND bar = GetDlgItem(progress, IDC_TRANSFER_PROGRESS);
    EXPECT_TRUE(WaitFor([&] { return SendMessageA(bar, PBM_GETPOS, 0, 0) == 100; }));
    EXPECT_TRUE(IsWindowVisible(progress)); // completion has not come yet
    EXPECT_EQ("repainted", m_probe.Ask(progress, PROBE_REPAINT));
    const RECT box = Placed(progress);
    const RECT area = WorkAreaOf(progress);
    EXPECT_TRUE(Contains(area, box)) << Describe(box);
    EXPECT_LE(std::abs((box.left + box.right) - (area.left + area.right)), 2) << Describe(box);
    EXPECT_LE(std::abs((box.top + box.bottom) - (area.top + area.bottom)), 2) << Describe(box);
    ExpectTextsWhole(progress, "progress dialog");
    const auto released = std::chrono::steady_clock::now();
    viewer.HoldAt(""); // the held line goes through
    ASSERT_TRUE(WaitUntilGone(progress));
    // The bar stands at 100 % a moment before the window goes. A lower bound only: a busy machine makes
    // the wait longer, never shorter.
    const auto pause = std::chrono::steady_clock::now() - released;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(pause).count(), 300);
    ASSERT_TRUE(Answer(ExpectBox(WRITE_COMPLETED), IDOK));

    CheckDlgButton(main, last.Check, BST_UNCHECKED);
    SetDlgItemTextA(main, last.Name, "");
    SetAddress(main, last.Address, 0);
    ASSERT_TRUE(WaitUntilGone(StartTransfer(main, true)));
    EXPECT_TRUE(IsDlgButtonChecked(main, last.Check));
    EXPECT_EQ("Far End", ItemText(main, last.Name));
    EXPECT_EQ("10.32.0.32", ItemText(main, last.Address));
}

// The scroll bars' lines and pages move the view, and their end shows the content's end (the wheel and
// the start are shown at either DPI). Tab moves the focus to a control out of view, and the view follows it
// down and back up. Told of a change of DPI or display while it stands partly off the work area, the window
// is fitted there again: within the work area, scrolled as before.
TEST_F(SetupDialogOnScreen, TheViewFollowsBarsWheelAndFocusAndIsFittedAgainAfterAChange) {
    HWND main = StartAt();
    ASSERT_NE(nullptr, main);
    const LONG start = LabelTop(main);
    const auto scroll = [&](UINT message, WPARAM wParam) {
        SendMessageA(main, message, wParam, 0);
        return start - LabelTop(main);
    };
    const LONG line = scroll(WM_VSCROLL, SB_LINEDOWN);
    EXPECT_GT(line, 0);
    const LONG page = scroll(WM_VSCROLL, SB_PAGEDOWN) - line;
    EXPECT_GT(page, line);
    EXPECT_EQ(page, scroll(WM_VSCROLL, SB_LINEUP));
    const RECT view = ClientOnScreen(main);
    EXPECT_EQ(TemplateClient(main).cy - (view.bottom - view.top), scroll(WM_VSCROLL, SB_BOTTOM));

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

    SendMessageA(main, WM_VSCROLL, SB_BOTTOM, 0);
    SendMessageA(main, WM_HSCROLL, SB_RIGHT, 0);
    ASSERT_TRUE(InView(main, {last.Address}));
    const RECT before = Placed(main);
    const RECT area = WorkAreaOf(main);
    for (const bool dpiChange : {true, false}) {
        SetWindowPos(main, nullptr, area.right - 300, area.bottom - 200, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitFor([&] { return !Contains(area, Placed(main)); }));
        if (dpiChange) {
            ASSERT_EQ("sent", m_probe.Ask(main, PROBE_DPI_CHANGED, static_cast<WORD>(m_screenDpi)));
        } else {
            PostMessageA(main, WM_DISPLAYCHANGE, 32, MAKELPARAM(area.right, area.bottom));
        }
        // The view back where it was is the last step of fitting.
        EXPECT_TRUE(WaitFor([&] {
            const RECT window = Placed(main);
            return Contains(area, window) && window.right - window.left == before.right - before.left &&
                   window.bottom - window.top == before.bottom - before.top && InView(main, {last.Address});
        })) << (dpiChange ? "DPI" : "display");
    }
}

} // namespace
