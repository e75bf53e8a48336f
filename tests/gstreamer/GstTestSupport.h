#pragma once

// What every GStreamer test needs: skipping cleanly where GStreamer's own
// elements are missing, the corpus, and the standard decoding pipelines.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Pipeline.h"
#include "support/Corpus.h"

namespace velarium::gsttest {

// Skips the test when one of GStreamer's elements it uses is not installed.
// Ours are never skipped: they come from this build.
#define VELARIUM_REQUIRE_GST_ELEMENTS(...)                                                   \
    do {                                                                                     \
        if (const auto missing = ::velarium::gsttest::missingElement({__VA_ARGS__}))         \
            GTEST_SKIP() << "GStreamer element " << *missing << " is not installed";         \
        ASSERT_FALSE(::velarium::gsttest::missingElement({"velariumdemux", "velariumdec"})) \
            << "the plugin from this build did not load";                                   \
    } while (0)

#define VELARIUM_REQUIRE_DECODEBIN() \
    VELARIUM_REQUIRE_GST_ELEMENTS("filesrc", "queue", "decodebin", "videoconvert", "capsfilter", "appsink")

// How upstream hands the file to the demuxer.
enum class Scheduling { pull, push };

inline const char* name(Scheduling scheduling) { return scheduling == Scheduling::pull ? "pull" : "push"; }

// filesrc ! decodebin ! videoconvert ! BGRA ! appsink. A queue after the
// source offers no random access, so the demuxer has the stream pushed.
inline std::string decodingPipeline(const std::filesystem::path& file, Scheduling scheduling) {
    gchar* quoted = g_strescape(file.c_str(), nullptr);
    std::string description = std::string("filesrc location=\"") + quoted + "\" ! " +
                              (scheduling == Scheduling::push ? "queue ! " : "") +
                              "decodebin ! videoconvert ! video/x-raw,format=BGRA ! appsink name=sink";
    g_free(quoted);
    return description;
}

inline GstPadMode padMode(Scheduling scheduling) {
    return scheduling == Scheduling::pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH;
}

inline std::string describe(const std::optional<BusError>& error) {
    if (!error) return "no error";
    const std::string domain = error->extensionDomain.empty() ? "" : " (" + error->extensionDomain + ")";
    return error->sourceFactory + ": " + error->message + domain;
}

}  // namespace velarium::gsttest
