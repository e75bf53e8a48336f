#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

namespace velarium::app {

// Carries announcements made on any thread (a player item's status, a
// player's state) to an object on the main thread, where `call` runs.
// Announcements that come while one is still on its way are folded into it:
// the call reads the state it reacts to, so once is enough. The owner
// detaches the relay before it goes away or stops listening; nothing runs
// after that, even what was already on its way.
class MainThreadRelay : public std::enable_shared_from_this<MainThreadRelay> {
public:
    static std::shared_ptr<MainThreadRelay> create(QObject* target, std::function<void()> call) {
        return std::shared_ptr<MainThreadRelay>(new MainThreadRelay(target, std::move(call)));
    }

    // Any thread.
    void post() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (!target_ || pending_) return;
        pending_ = true;
        QMetaObject::invokeMethod(target_, [self = shared_from_this()] { self->deliver(); }, Qt::QueuedConnection);
    }

    // The target's thread.
    void detach() {
        std::lock_guard<std::mutex> guard(mutex_);
        target_ = nullptr;
        call_ = nullptr;
    }

private:
    MainThreadRelay(QObject* target, std::function<void()> call) : target_(target), call_(std::move(call)) {}

    void deliver() {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            pending_ = false;
            call = call_;
        }
        if (call) call();
    }

    std::mutex mutex_;
    QObject* target_;
    std::function<void()> call_;
    bool pending_ = false;
};

}  // namespace velarium::app
