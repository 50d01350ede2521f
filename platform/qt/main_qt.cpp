// Program entry on Linux: the Qt application around the portable main dialog.
#include <QApplication>

#include <cstdio>
#include <cstring>

#include "console/app.h"
#include "platform/stdio_guard.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"

namespace {

const char* const USAGE =
    "usage: zorvtalk [--help] [--version] [Qt options]\n"
    "\n"
    "A terminal for a ZORV controller on a serial port. Opens the window: pick the\n"
    "Port (COM<n>) and Baud, Connect, then type commands or run command files; the\n"
    "window menu (Alt+Space) holds the status report and the pin panel.\n"
    "\n"
    "Settings (last Port, Baud and Startup file; optional [Ports] COM<n>=DEVICE) are in\n"
    "$XDG_CONFIG_HOME/zorvtalk/zorvtalk.ini (~/.config/zorvtalk/) for an installed\n"
    "program; a build or unpacked copy keeps zorvtalk.ini beside itself when its folder\n"
    "is writable or the file is already there.\n"
    "\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted. See zorvtalk(1).\n";

}  // namespace

int main(int argc, char** argv) {
    stdio_guard();
    // Answered before Qt starts, so they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zorvtalk %s\n", ZORV_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // Qt has taken its own options out; anything left is a mistake, not to be ignored.
    if (argc > 1) {
        std::fprintf(stderr, "zorvtalk: unknown argument '%s'\nTry 'zorvtalk --help'.\n", argv[1]);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("ZORVTalk"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvtalk"));
    QApplication::setWindowIcon(ui_qt_program_icon());
    ui_init();
    return app_main();
}
