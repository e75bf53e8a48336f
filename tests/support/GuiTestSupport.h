#pragma once

// What the GUI tests share: a private environment for each test process, and
// modal dialogs answered as a user answers them.

#include <sys/stat.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <ostream>
#include <utility>

// QStrings in GoogleTest's failure messages as text, not as arrays of 16-bit units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace velarium::testing {

inline QUrl url(const std::filesystem::path& file) { return QUrl::fromLocalFile(QString::fromStdString(file.string())); }

// Before the QApplication exists: the process's own XDG and temporary folders
// (removed at its end), no session bus, and the offscreen platform unless
// VELARIUM_TEST_QPA names another (xcb under Xvfb).
class GuiTestEnvironment {
public:
    GuiTestEnvironment() {
        const QString root = root_.path();
        for (const auto& [name, variable] : {std::pair{"runtime", "XDG_RUNTIME_DIR"}, {"config", "XDG_CONFIG_HOME"},
                                             {"data", "XDG_DATA_HOME"}, {"cache", "XDG_CACHE_HOME"}, {"tmp", "TMPDIR"}}) {
            QDir(root).mkpath(name);
            qputenv(variable, QFile::encodeName(root + '/' + name));
        }
        ::chmod(QFile::encodeName(root + "/runtime").constData(), 0700);
#ifdef VELARIUM_BUILD_DATA_DIR  // the application's MIME types, as the build made them
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share:" + QByteArray(VELARIUM_BUILD_DATA_DIR));
#endif
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(root + "/runtime/no-bus"));
        const QByteArray platform = qgetenv("VELARIUM_TEST_QPA");
        qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    }

private:
    QTemporaryDir root_{QDir::tempPath() + "/velarium-gui-test-XXXXXX"};
};

// Calls `answer` once with each modal dialog shown while it lives. The call
// comes from the event loop, not from inside the timer that saw the dialog,
// so that a dialog the answer opens in turn is answered too.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<void(QWidget*)> answer) {
        QObject::connect(&timer_, &QTimer::timeout, [this, answer = std::move(answer)] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible() || answered_.contains(modal)) return;
            answered_ << modal;
            QTimer::singleShot(0, modal, [answer, modal] { answer(modal); });
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
    QList<QPointer<QWidget>> answered_;
};

// Presses the message box's button with `role` (the default button when
// none has it) and returns the box's text.
inline QString acceptMessageBox(QWidget* modal, QMessageBox::ButtonRole role = QMessageBox::AcceptRole) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box) return {};
    const QString text = box->text();
    for (QAbstractButton* button : box->buttons())
        if (box->buttonRole(button) == role) {
            button->click();
            return text;
        }
    if (box->defaultButton()) box->defaultButton()->click();
    else box->close();
    return text;
}

// Types `path` into a file dialog's name field and presses Open or Save, as
// a user does. Returns whether the dialog took it and closed.
inline bool chooseInFileDialog(QFileDialog* dialog, const QString& path) {
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
    const bool save = dialog->acceptMode() == QFileDialog::AcceptSave;
    dialog->findChild<QDialogButtonBox*>()->button(save ? QDialogButtonBox::Save : QDialogButtonBox::Open)->click();
    return !dialog->isVisible();
}

}  // namespace velarium::testing
