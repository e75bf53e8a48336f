#pragma once

// What the document and document controller tests share: the application
// objects created as main() creates them, an alert recorder that answers and
// counts every alert, and small files to open.

#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/AppDelegate.h"
#include "app/BW_DocumentController.h"
#include "app/Document.h"
#include "app/DocumentWindow.h"
#include "app/PlayerView.h"
#include "app/SettingsKeys.h"
#include "support/GuiTestSupport.h"
#include "support/SyntheticAnimations.h"
#include "support/TemporaryFolder.h"

namespace velarium::testing {

inline constexpr int kWaitMs = 10000;
// How long an alert that should not come is given to come after all.
inline constexpr int kQuietMs = 300;

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = kWaitMs) {
    return QTest::qWaitFor(condition, timeoutMs);
}

// Answers every alert (QMessageBox) as soon as it is shown and keeps its
// text and informative text, so a test can count them. Other modal dialogs
// are left alone.
class AlertRecorder {
public:
    AlertRecorder() {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
        timer_.start();
    }
    int count() const { return static_cast<int>(texts_.size()); }
    const QStringList& texts() const { return texts_; }
    QString last() const { return texts_.isEmpty() ? QString() : texts_.last(); }
    // Waits until `expected` alerts have come, then a little longer to show
    // that no more follow. True when exactly `expected` came.
    bool settlesAt(int expected) {
        waitFor([&] { return count() >= expected; });
        QTest::qWait(kQuietMs);
        return count() == expected;
    }

private:
    void answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        texts_ << box->text() + '\n' + box->informativeText();
        acceptMessageBox(box);
    }
    QTimer timer_;
    QStringList texts_;
};

// The application as main() builds it: the delegate installs the shared
// document controller. Settings start empty; every document is closed
// (and deleted) after each test.
class ApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings().clear();
        // The Media Extension tip would come before the Open dialog; its own
        // tests switch it back on.
        QSettings().setValue(settings::kMediaExtensionTipSuppressed, true);
        delegate_ = std::make_unique<app::AppDelegate>();
        delegate_->awakeFromNib();
    }
    void TearDown() override {
        for (app::Document* document : QList<app::Document*>(controller()->documents())) document->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delegate_.reset();
    }

    static app::BW_DocumentController* controller() { return app::BW_DocumentController::sharedDocumentController(); }
    static QUrl url(const std::filesystem::path& path) { return QUrl::fromLocalFile(QString::fromStdString(path.string())); }

    // Opens as the user does and shows the window; null when nothing opened.
    app::Document* open(const std::filesystem::path& path) {
        controller()->openURL(url(path));
        return controller()->documentForURL(url(path));
    }
    // The open document's window has shown its first frame.
    static bool waitForFirstFrame(app::Document* document) {
        return waitFor([document] { return document->window() && !document->window()->playerView()->currentImage().isNull(); });
    }
    static QAction* action(app::Document* document, const char* name) { return document->window()->action(name); }

    // Folders named by a UUID in the temporary folder: playback copies.
    static QStringList playbackCopyFolders() {
        static const QRegularExpression uuid(
            "^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$",
            QRegularExpression::CaseInsensitiveOption);
        QStringList folders;
        for (const QString& name : QDir(temporaryFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            if (uuid.match(name).hasMatch()) folders << QDir(temporaryFolder()).filePath(name);
        return folders;
    }

    std::unique_ptr<app::AppDelegate> delegate_;
    TemporaryFolder files_;
};

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}
inline void writeFile(const std::filesystem::path& path, const ByteVector& bytes) {
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}

// A small animation that plays in a fraction of a second.
inline ByteVector smallAnimation(std::size_t frames = 5) {
    SyntheticAnimation shape;
    shape.ticks.assign(frames, 2);
    return syntheticAnimation(shape);
}

}  // namespace velarium::testing
