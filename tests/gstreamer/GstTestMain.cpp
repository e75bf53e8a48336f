// The GStreamer tests run in one process that initialises GStreamer once:
// the plugin from this build (GST_PLUGIN_PATH), a registry of the tests' own
// (GST_REGISTRY) built in this process rather than by GStreamer's scanner
// helper, which cannot load a plugin built with sanitizers.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("GST_PLUGIN_PATH", VELARIUM_GST_PLUGIN_FOLDER, 1);
    ::setenv("GST_REGISTRY", VELARIUM_GST_TEST_REGISTRY, 0);
    ::setenv("GST_REGISTRY_FORK", "no", 1);
    gst_init(&argc, &argv);
    const int status = RUN_ALL_TESTS();
    // GStreamer lets go of what it keeps for the process, so that leak
    // checks see only what is really lost.
    gst_deinit();
    return status;
}
