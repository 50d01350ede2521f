// Program entry on Linux: the Qt application around the portable main dialog.
#include <QApplication>

#include "console/app.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZORVTalk"));
    QGuiApplication::setDesktopFileName(QStringLiteral("zorvtalk"));
    QApplication::setWindowIcon(ui_qt_program_icon());
    ui_init();
    return app_main();
}
