#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace velarium {

// The progress of one extraction across the whole archive, by uncompressed
// bytes: (fraction of the current file × its length + bytes of the entries
// already done) ÷ total bytes, capped at 1 (0 when the total is 0). Updates
// are passed on at most once per 1/30 s of the given monotonic clock; the
// others are dropped.
class ProgressMeter {
public:
    using Clock = std::function<double()>;  // seconds
    ProgressMeter(std::uint64_t totalBytes, std::function<void(double)> update, Clock now);

    void startFile(std::uint64_t length) { currentFileLength_ = length; }
    // `fraction` of the current file is done (0…1).
    void reportWithinFile(double fraction);
    // The current entry is done, whatever its outcome.
    void finishFile();

    // The default clock: std::chrono::steady_clock in seconds.
    static double monotonicSeconds();

private:
    std::uint64_t totalBytes_;
    std::uint64_t completedBytes_ = 0;
    std::uint64_t currentFileLength_ = 0;
    std::function<void(double)> update_;
    Clock now_;
    std::optional<double> lastUpdate_;
};

}  // namespace velarium
