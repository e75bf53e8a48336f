#pragma once

// What the GUI tests share: a private environment for each test process, and
// ways to drive the application as a user does (answering modal dialogs,
// waiting for the event loop to catch up).

#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstdint>
#include <cstring>
#include <memory>
#include <functional>
#include <ostream>
#include <vector>

// QStrings in GoogleTest's failure messages as text, not as arrays of 16-bit units.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace velarium::testing {

// Gives the process its own runtime, configuration, data, cache and
// temporary folders and the offscreen platform (unless VELARIUM_TEST_QPA
// names another, e.g. xcb under Xvfb), and no session bus, before the
// QApplication exists. Everything is removed when the process ends.
class GuiTestEnvironment {
public:
    GuiTestEnvironment() {
        const QString root = root_.path();
        for (const char* name : {"runtime", "config", "data", "cache", "tmp"}) QDir(root).mkpath(name);
        ::chmod(QFile::encodeName(root + "/runtime").constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + "/runtime"));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
        qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(root + "/cache"));
        qputenv("TMPDIR", QFile::encodeName(root + "/tmp"));
#ifdef VELARIUM_BUILD_DATA_DIR  // the application's MIME types, as the build made them
        qputenv("XDG_DATA_DIRS", "/usr/local/share:/usr/share:" + QByteArray(VELARIUM_BUILD_DATA_DIR));
#endif
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(root + "/runtime/no-bus"));
        const QByteArray platform = qgetenv("VELARIUM_TEST_QPA");
        qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    }
    QString root() const { return root_.path(); }

private:
    QTemporaryDir root_{QDir::tempPath() + "/velarium-gui-test-XXXXXX"};
};

// The process's temporary folder, where documents put their playback copies.
inline QString temporaryFolder() { return QDir::tempPath(); }

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
// none has it) and returns the box's text, for checks.
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

// The pixels of `image` as packed BGRA rows (alpha as stored), for hashing
// against decoded frames.
inline std::vector<std::uint8_t> packedBGRA(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(argb.width()) * argb.height() * 4);
    for (int y = 0; y < argb.height(); ++y)
        std::memcpy(out.data() + static_cast<std::size_t>(y) * argb.width() * 4, argb.constScanLine(y),
                    static_cast<std::size_t>(argb.width()) * 4);
    return out;
}

}  // namespace velarium::testing
