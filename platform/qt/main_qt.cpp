// Program entry on Linux: the Qt application around the portable main dialog.
#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

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
    "[Files] StopOnReply=REGEX there ends a command file after a line whose reply\n"
    "matches the extended regular expression (as grep -E reads it).\n"
    "\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "Qt's own options (-platform NAME, -style NAME, ...) are accepted. See zorvtalk(1).\n";

// The toolkit's own options, as "-name" or "--name", and whether a value follows.
// Anything else is refused before the toolkit starts: without a display it would
// abort before it could say what was wrong.
const struct {
    const char* name;
    bool value;
} QT_OPTIONS[] = {
    {"platform", true}, {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qmljsdebugger", true}, {"qwindowgeometry", true}, {"qwindowicon", true}, {"qwindowtitle", true},
    {"session", true}, {"style", true}, {"stylesheet", true}, {"display", true}, {"geometry", true},
    {"title", true}, {"name", true}, {"visual", true}, {"ncols", true}, {"cmap", true}, {"font", true},
    {"fn", true}, {"background", true}, {"bg", true}, {"foreground", true}, {"fg", true}, {"button", true},
    {"btn", true}, {"reverse", false}, {"widgetcount", false}, {"nograb", false}, {"dograb", false},
    {"sync", false}, {"testability", false},
};

// The index of the first argument that is not the toolkit's, minus the index of a
// last one that lacks its value, or 0 when all are fine. A value is taken whatever it
// looks like.
int first_unknown_argument(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-' || arg[1] == '\0') return i;
        const char* name = arg + (arg[1] == '-' ? 2 : 1);
        size_t length = std::strcspn(name, "=");
        const auto* found = std::find_if(std::begin(QT_OPTIONS), std::end(QT_OPTIONS), [&](const auto& o) {
            return std::strlen(o.name) == length && std::strncmp(o.name, name, length) == 0;
        });
        if (found == std::end(QT_OPTIONS)) return i;
        if (found->value && name[length] != '=' && ++i == argc) return -(i - 1);
    }
    return 0;
}

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
    if (int bad = first_unknown_argument(argc, argv)) {
        std::fprintf(stderr, bad > 0 ? "zorvtalk: unknown argument '%s'\n" : "zorvtalk: %s needs a value\n",
                     argv[bad > 0 ? bad : -bad]);
        std::fputs("Try 'zorvtalk --help'.\n", stderr);
        return 2;
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
