// The file chooser of the Qt backend: Qt's own dialog, presented as the Windows one
// is (titles, the "All Files (*.*)" filter, no extension added for "*").
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <cstdlib>
#include <cstring>

#include "platform/qt/ui_qt_internal.h"

namespace {

// The file chooser refuses longer paths: callers keep them in MAX_PATH-sized buffers.
constexpr int MAX_PATH_BYTES = 260;

}  // namespace

using namespace qt_backend;

// Turns "name\0pattern\0...\0\0" into Qt filters. The name shows as given; the
// patterns after it do the matching, with "*.*" matching files without a dot too.
static QStringList file_filters(const char* filter) {
    QStringList out;
    const char* p = filter;
    while (p && *p) {
        QString name = QString::fromUtf8(p);
        p += std::strlen(p) + 1;
        QString pattern = QString::fromUtf8(p);
        if (*p) p += std::strlen(p) + 1;
        QStringList patterns;
        for (const QString& one : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            QString t = one.trimmed();
            patterns << (t == QLatin1String("*.*") ? QStringLiteral("*") : t);
        }
        if (patterns.isEmpty()) patterns << QStringLiteral("*");
        out << name + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    if (out.isEmpty()) out << QStringLiteral("All Files (*.*) (*)");
    return out;
}

char* ui_choose_file(UiWindow* owner, const char* initial, const char* filter, const char* default_ext, int open,
                     const char* title) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return nullptr;
    if (owner && owner->ended) return nullptr;
    ensure_modal_gate();
    QWidget* parent = owner && owner->dialog ? static_cast<QWidget*>(owner->dialog) : QApplication::activeWindow();
    QPointer<QFileDialog> fd = new QFileDialog(parent);
    QString caption = from_bytes(title);
    if (caption.isEmpty()) caption = open ? QStringLiteral("Open File") : QStringLiteral("Save File");
    fd->setWindowTitle(caption);
    fd->setOption(QFileDialog::DontUseNativeDialog, true);
    // Hidden details leave the name as given: "All Files (*.*)" reads as on Windows.
    fd->setOption(QFileDialog::HideNameFilterDetails, true);
    // Saving over a file asks first: a log saved over the wrong file would lose it.
    fd->setOption(QFileDialog::DontConfirmOverwrite, open != 0);
    fd->setFileMode(QFileDialog::AnyFile);
    fd->setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    fd->setNameFilters(file_filters(filter));
    // "*" stands for any extension, so none is added: a name without a dot comes back
    // as typed, and the Startup box never names a file that does not exist.
    QString suffix = from_bytes(default_ext && default_ext[0] == '.' ? default_ext + 1 : default_ext);
    if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*')) && !suffix.contains(QLatin1Char('?')))
        fd->setDefaultSuffix(suffix);
    QString start = from_bytes(initial);
    if (!start.isEmpty()) {
        QFileInfo info(start);
        if (info.isDir()) {
            fd->setDirectory(info.absoluteFilePath());
        } else {
            fd->setDirectory(info.absolutePath());
            fd->selectFile(info.fileName());
        }
    }
    ModalScope scope(fd, nullptr);
    int code = fd->exec();
    QStringList files = fd ? fd->selectedFiles() : QStringList();
    if (fd) delete fd.data();
    if (scope.ended || code != QDialog::Accepted || files.isEmpty()) return nullptr;
    QByteArray path = QDir::toNativeSeparators(files.first()).toUtf8();
    if (path.isEmpty() || path.size() > MAX_PATH_BYTES) return nullptr;
    char* out = static_cast<char*>(std::malloc(static_cast<size_t>(path.size()) + 1));
    if (!out) return nullptr;
    std::memcpy(out, path.constData(), static_cast<size_t>(path.size()) + 1);
    return out;
}

void ui_free(void* p) { std::free(p); }
