#pragma once

// One Velarium per user session. The first launch owns a well-known name on
// the session bus and takes files from later launches, so that recent
// documents (and whatever else the application keeps) live in one process.
// A later launch hands its files to that instance and exits. Without a
// session bus every launch runs on its own.
//
// The D-Bus details stay in this class; the rest of the application sees a
// role and two signals. At start-up, once the QApplication exists:
//
//     SingleInstance instance;
//     if (instance.claim() == SingleInstance::Role::secondary) {
//         if (instance.handOff(files)) return 0;
//         instance.claim();  // the primary went away: take over, or run on our own
//     }
//     connect openFilesRequested / activationRequested, open `files`, exec()

#include <QDBusConnection>
#include <QObject>
#include <QStringList>

namespace velarium::app {

inline constexpr const char* kInstanceServiceName = "com.brackwater.Velarium";
inline constexpr const char* kInstanceObjectPath = "/com/brackwater/Velarium";
inline constexpr const char* kInstanceInterface = "com.brackwater.Velarium.Application";

// Long enough for a primary on a loaded machine, whose answer has been seen
// to take more than five seconds; short enough that a hung primary does not
// keep the user waiting long before this launch runs on its own.
inline constexpr int kHandOffTimeoutMs = 15000;

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role { primary, secondary, standalone };

    explicit SingleInstance(QObject* parent = nullptr);
    // A primary gives up its name, so that the next launch can become primary.
    ~SingleInstance() override;

    // Tries to own the well-known name on `bus`. Owning it makes this the
    // primary: it then serves OpenFiles and Activate and emits the signals
    // below. The name held by another connection makes this a secondary. No
    // bus, or a bus that refuses us, makes it standalone. The bus decides
    // ownership in one step, so of several launches racing exactly one is
    // primary. May be called again, e.g. after a failed hand-off, to take
    // over from a primary that has gone.
    Role claim(const QDBusConnection& bus = QDBusConnection::sessionBus());
    Role role() const { return role_; }

    // As secondary: asks the primary to open `paths` (relative ones are
    // resolved against this process's working directory first), or to come
    // forward when `paths` is empty. Waits at most `timeoutMs`, keeping this
    // thread's event loop turning meanwhile. True when the primary took
    // them; false otherwise (not a secondary, primary gone or not
    // answering), and the caller then claims again or runs standalone.
    bool handOff(const QStringList& paths, int timeoutMs = kHandOffTimeoutMs);

    // `paths` made absolute and clean, relative ones against `workingDirectory`.
    static QStringList absolutePaths(const QStringList& paths, const QString& workingDirectory);

signals:
    // In the primary, on the thread this object lives in (the main thread),
    // after the caller has had its answer: a slot may take its time, even
    // show a modal dialog, without the secondary giving up on it.
    void openFilesRequested(const QStringList& paths);
    void activationRequested();

private:
    friend class InstanceAdaptor;
    void receiveOpenFiles(const QStringList& paths);
    void receiveActivate();
    void release();

    QDBusConnection bus_{QString()};
    Role role_ = Role::standalone;
};

}  // namespace velarium::app
