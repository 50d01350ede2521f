// Start-up, window against a bare Qt dialog, each run in a process of its own.
#include "bench/ui_start.h"

#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "console/app.h"
#include "platform/qt/ui_qt.h"
#include "platform/ui.h"
#include "settings/settings.h"

namespace {

int g_report_fd = -1;

// The first top-level dialog shown ends the run: the byte tells the parent.
class FirstShow : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = event->type() == QEvent::Show ? qobject_cast<QDialog*>(watched) : nullptr;
        if (dialog && dialog->isWindow()) {
            char byte = 1;
            ssize_t n = write(g_report_fd, &byte, 1);
            _exit(n == 1 ? 0 : 1);
        }
        return QObject::eventFilter(watched, event);
    }
};

// What the main window holds, in kind: two combo boxes, two edits, labels, five
// buttons and a list with a header.
int run_bare_dialog() {
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("ZORVTalk"));
    for (int i = 0; i < 2; ++i) new QComboBox(&dialog);
    for (int i = 0; i < 2; ++i) new QLineEdit(&dialog);
    for (const char* text : {"Port:", "Baud:", "Startup:"}) new QLabel(QString::fromUtf8(text), &dialog);
    for (const char* text : {"...", "Connect", "Send File", "Pause", "Stop"}) new QPushButton(QString::fromUtf8(text), &dialog);
    new QTreeWidget(&dialog);
    dialog.resize(700, 366);
    return dialog.exec();
}

}  // namespace

int ui_start_child(const char* mode, int fd, const char* settings_file) {
    g_report_fd = fd;
    int argc = 1;
    char name[] = "ui_bench";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    FirstShow watch;
    app.installEventFilter(&watch);
    if (std::string(mode) == "bare") return run_bare_dialog();
    // As the program's entry does it.
    QApplication::setApplicationName(QStringLiteral("ZORVTalk"));
    QApplication::setWindowIcon(ui_qt_program_icon());
    settings_use_path(settings_file);
    ui_init();
    return app_main();
}

int ui_start_compare(const char* self, const char* settings_file, int rounds, double* window_ms, double* bare_ms) {
    std::vector<double> times[2];
    const char* modes[2] = {"window", "bare"};
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            int m = (r & 1) ? 1 - k : k;  // each goes first in every other round
            int fds[2];
            if (pipe(fds) != 0) return 0;
            auto start = std::chrono::steady_clock::now();
            pid_t pid = fork();
            if (pid == 0) {
                close(fds[0]);
                std::string fd = std::to_string(fds[1]);
                execl(self, self, "--start-child", modes[m], fd.c_str(), settings_file, static_cast<char*>(nullptr));
                _exit(127);
            }
            close(fds[1]);
            char byte = 0;
            ssize_t n = pid > 0 ? read(fds[0], &byte, 1) : -1;
            double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            close(fds[0]);
            int status = 0;
            if (pid > 0) waitpid(pid, &status, 0);
            if (n != 1) return 0;
            times[m].push_back(ms);
        }
    }
    for (auto& t : times) std::sort(t.begin(), t.end());
    *window_ms = times[0][times[0].size() / 2];
    *bare_ms = times[1][times[1].size() / 2];
    return 1;
}
