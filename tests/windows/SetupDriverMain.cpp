// setup_driver: prepares a Wine prefix for ZRVLinkSetup.exe and works its window for `make run`.
//   setup_driver prepare PORT   the simulated device on COM<PORT>, and the dialogs' font
//   setup_driver read           reads from the device through the running program's window
//   setup_driver quit           closes the running program, answering Yes to its question
//   setup_driver serial-line    prints whether the running program lets the user change the serial-line
//                               settings: "changeable", "locked", or "mixed" when the three controls differ
//   setup_driver message TITLE  prints the text of a message box of any program (the installer's), whose
//                               title starts with TITLE, and closes it with OK
#include "SetupDriver.h"
#include "ui/resource.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int Prepare(int port) {
    if (port <= 0 || !ListSerialPort(port) || !AttachDevice(port) || !SubstituteDialogFont()) {
        std::fprintf(stderr, "setup_driver: cannot write the registry keys for COM%d\n", port);
        return 1;
    }
    return 0;
}

int Read() {
    HWND main = WaitForDialog(0, "ZRV-Link Setup");
    if (main == nullptr || !WaitFor([&] { return ItemEnabled(main, IDC_READ_DEVICE); })) {
        std::fprintf(stderr, "setup_driver: no window with the device attached\n");
        return 1;
    }
    Click(main, IDC_READ_DEVICE);
    const MessageBoxView question = WaitForMessageBox(0, "ZRVLinkSetup");
    if (question.Window == nullptr || !Answer(question, IDOK)) {
        std::fprintf(stderr, "setup_driver: the read question did not come\n");
        return 1;
    }
    HWND progress = WaitForDialog(0, "Parameter Transfer");
    if (progress != nullptr && !WaitUntilGone(progress)) {
        std::fprintf(stderr, "setup_driver: the transfer did not end\n");
        return 1;
    }
    std::printf("setup_driver: read the device: IP address %s, baud rate %s\n",
                ItemText(main, IDC_IPADDRESS).c_str(), ItemText(main, IDC_BAUDRATE).c_str());
    return 0;
}

int SerialLine() {
    HWND main = WaitForDialog(0, "ZRV-Link Setup");
    if (main == nullptr) {
        std::fprintf(stderr, "setup_driver: no window\n");
        return 1;
    }
    int enabled = 0;
    for (int id : {IDC_BAUDRATE, IDC_PARITY, IDC_STOPBITS}) {
        enabled += ItemEnabled(main, id) ? 1 : 0;
    }
    std::printf("%s\n", enabled == 3 ? "changeable" : enabled == 0 ? "locked" : "mixed");
    return 0;
}

// A refusal that an installer shows only in a message box.
int Message(const std::string& title) {
    const MessageBoxView box = WaitForMessageBox(0, title);
    if (box.Window == nullptr || !Answer(box, IDOK)) {
        std::fprintf(stderr, "setup_driver: no message box \"%s\"\n", title.c_str());
        return 1;
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
    if (command == "read" && argc == 2) {
        return Read();
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
    std::fprintf(stderr, "usage: setup_driver prepare PORT | read | quit | serial-line | message TITLE\n");
    return 2;
}
