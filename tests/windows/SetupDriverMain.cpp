// setup_driver: prepares a Wine prefix for ZRVLinkSetup.exe and works its window for `make run`.
//   setup_driver prepare PORT   the simulated device on COM<PORT>, and the dialogs' font
//   setup_driver read FILE      reads from the device through the running program's window, and returns once
//                               the window has painted FILE's configuration, which the device was given
//   setup_driver quit           closes the running program, answering Yes to its question
//   setup_driver serial-line    prints whether the running program lets the user change the serial-line
//                               settings: "changeable", "locked", or "mixed" when the three controls differ
//   setup_driver message TITLE  prints the text of a message box of any program (the installer's), whose
//                               title starts with TITLE, and closes it with OK
#include "SetupDriver.h"
#include "persistence/ParamFile.h"
#include "ui/resource.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Says why on stderr, and ends with exit code 1.
int Fail(const std::string& why) {
    std::fprintf(stderr, "setup_driver: %s\n", why.c_str());
    return 1;
}

int Prepare(int port) {
    if (port <= 0 || !ListSerialPort(port) || !AttachDevice(port) || !SubstituteDialogFont()) {
        return Fail("cannot write the registry keys for COM" + std::to_string(port));
    }
    return 0;
}

// Done once the window shows what was read and has painted it: a screenshot taken then shows it all.
int Read(const char* expectedFile) {
    CParamFile expected;
    if (!expected.Load(expectedFile)) {
        return Fail(std::string("cannot load ") + expectedFile);
    }
    HWND main = WaitForDialog(0, "ZRV-Link Setup");
    if (main == nullptr || !WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); })) {
        return Fail("no window with the device attached");
    }
    Click(main, IDC_READ_DEVICE);
    const MessageBoxView question = WaitForMessageBox(0, "ZRVLinkSetup");
    if (question.Window == nullptr || !Answer(question, IDOK)) {
        return Fail("the read question did not come");
    }
    std::string differences;
    if (!WaitFor([&] { return (differences = FormDifferences(main, *expected.GetParam())).empty(); })) {
        return Fail("the window does not show what the device holds:\n" + differences);
    }
    CSetupProbe probe;
    if (!probe.Attach(main) || probe.Ask(main, PROBE_PAINT_NOW) != "painted") {
        return Fail("the window did not paint what was read");
    }
    std::printf("setup_driver: read the device: IP address %s, baud rate %s\n",
                ItemText(main, IDC_IPADDRESS).c_str(), ItemText(main, IDC_BAUDRATE).c_str());
    return 0;
}

int SerialLine() {
    HWND main = WaitForDialog(0, "ZRV-Link Setup");
    if (main == nullptr) {
        return Fail("no window");
    }
    const int enabled =
        ItemEnabled(main, IDC_BAUDRATE) + ItemEnabled(main, IDC_PARITY) + ItemEnabled(main, IDC_STOPBITS);
    std::printf("%s\n", enabled == 3 ? "changeable" : enabled == 0 ? "locked" : "mixed");
    return 0;
}

// A refusal that an installer shows only in a message box.
int Message(const std::string& title) {
    const MessageBoxView box = WaitForMessageBox(0, title);
    if (box.Window == nullptr || !Answer(box, IDOK)) {
        return Fail("no message box \"" + title + "\"");
    }
    std::printf("%s\n", box.Text.c_str());
    return 0;
}

int Quit() {
    HWND main = WaitForDialog(0, "ZRV-Link Setup");
    if (main == nullptr) {
        return 1;
    }
    PostMessageA(main, WM_CLOSE, 0, 0);
    const MessageBoxView question = WaitForMessageBox(0, "ZRVLinkSetup");
    return question.Window != nullptr && Answer(question, IDYES) && WaitUntilGone(main) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "prepare" && argc == 3) {
        return Prepare(std::atoi(argv[2]));
    }
    if (command == "read" && argc == 3) {
        return Read(argv[2]);
    }
    if (command == "quit" && argc == 2) {
        return Quit();
    }
    if (command == "serial-line" && argc == 2) {
        return SerialLine();
    }
    if (command == "message" && argc == 3) {
        return Message(argv[2]);
    }
    std::fprintf(stderr,
                 "usage: setup_driver prepare PORT | read FILE | quit | serial-line | message TITLE\n");
    return 2;
}
