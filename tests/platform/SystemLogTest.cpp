#include "platform/foundation/SystemLog.h"

#include <gtest/gtest.h>

#include <vector>

namespace velarium {
namespace {

TEST(SystemLog, CaptureSeesFormattedLinesAndRestoresPreviousSink) {
    std::vector<std::string> outer, inner;
    {
        ScopedLogCapture outerCapture([&](const std::string& line) { outer.push_back(line); });
        {
            ScopedLogCapture innerCapture([&](const std::string& line) { inner.push_back(line); });
            systemLog("frame %lu op %d", 7ul, 5);
        }
        systemLog("after");
    }
    EXPECT_EQ(inner, std::vector<std::string>{"frame 7 op 5"});
    EXPECT_EQ(outer, std::vector<std::string>{"after"});
}

}  // namespace
}  // namespace velarium
