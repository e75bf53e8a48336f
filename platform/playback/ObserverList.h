#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace velarium {

// Observers of one kind of change, added and removed by token from any
// thread. notify() calls them outside the list's lock, so an observer may
// add or remove observers, or ask its object anything; one removed while a
// notification is under way on another thread may still be called once.
template <typename... Args>
class ObserverList {
public:
    using Observer = std::function<void(Args...)>;

    std::uint64_t add(Observer observer) {
        std::lock_guard<std::mutex> guard(mutex_);
        const std::uint64_t token = nextToken_++;
        observers_.emplace(token, std::move(observer));
        return token;
    }

    void remove(std::uint64_t token) {
        std::lock_guard<std::mutex> guard(mutex_);
        observers_.erase(token);
    }

    void notify(Args... args) const {
        std::vector<Observer> observers;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            for (const auto& entry : observers_) observers.push_back(entry.second);
        }
        for (const Observer& observer : observers) observer(args...);
    }

private:
    mutable std::mutex mutex_;
    std::map<std::uint64_t, Observer> observers_;
    std::uint64_t nextToken_ = 1;
};

}  // namespace velarium
