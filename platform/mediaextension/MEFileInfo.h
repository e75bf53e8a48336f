#pragma once

#include <memory>

#include "platform/coremedia/MediaTime.h"

namespace velarium {

enum class MEFileInfoFragmentsStatus : int {
    couldNotContainFragments = 0,
    containsFragments = 1,
    couldContainButDoesNotContainFragments = 2,
};

// What a format reader says about a whole file.
class MEFileInfo {
public:
    const MediaTime& duration() const { return duration_; }
    void setDuration(const MediaTime& duration) { duration_ = duration; }
    MEFileInfoFragmentsStatus fragmentsStatus() const { return fragmentsStatus_; }
    void setFragmentsStatus(MEFileInfoFragmentsStatus status) { fragmentsStatus_ = status; }

private:
    MediaTime duration_ = MediaTime::invalid();
    MEFileInfoFragmentsStatus fragmentsStatus_ = MEFileInfoFragmentsStatus::couldNotContainFragments;
};

using MEFileInfoRef = std::shared_ptr<MEFileInfo>;

}  // namespace velarium
