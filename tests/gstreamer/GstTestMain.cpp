// The GStreamer tests run in one process that initialises GStreamer once:
// the plugin from this build (GST_PLUGIN_PATH), a registry of the tests' own
// (GST_REGISTRY) built in this process rather than by GStreamer's scanner
// helper, which cannot load a plugin built with sanitizers.
#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "gstreamer/GstHandles.h"

using velarium::gst::ObjectRef;

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>

// GLib and GStreamer keep some start-up allocations on purpose, so what the
// libraries allocate as they load (from the preinit array on) and GStreamer's
// start-up are not leak-checked; everything after, our plugin's included, is.
static void holdLeakChecksWhileLibrariesLoad() { __lsan_disable(); }
__attribute__((section(".preinit_array"), used)) void (*const kHoldLeakChecks)() = holdLeakChecksWhileLibrariesLoad;

// Every plugin but ours is loaded within the start-up too: loading one later
// (a damaged file can have decodebin try almost any) runs the constructors
// of its libraries, some of which keep an allocation without holding it.
static void initialiseGStreamer(int* argc, char*** argv) {
    __lsan_enable();
    const __lsan::ScopedDisabler startUp;
    gst_init(argc, argv);
    GList* plugins = gst_registry_get_plugin_list(gst_registry_get());
    for (GList* item = plugins; item; item = item->next)
        if (g_strcmp0(gst_plugin_get_name(GST_PLUGIN(item->data)), "velarium") != 0)
            ObjectRef<GstPlugin> loaded(gst_plugin_load(GST_PLUGIN(item->data)));
    gst_plugin_list_free(plugins);
}
#else
static void initialiseGStreamer(int* argc, char*** argv) { gst_init(argc, argv); }
#endif

// Every test is skipped when GStreamer lacks an element of its own the tests
// use; ours are never skipped: the registry must hold them from this build.
class RequireElements : public ::testing::Environment {
    void SetUp() override {
        for (const char* name :
             {"filesrc", "queue", "decodebin", "uridecodebin", "videoconvert", "capsfilter", "appsrc", "appsink"})
            if (!ObjectRef<GstElementFactory>(gst_element_factory_find(name)))
                GTEST_SKIP() << "GStreamer element " << name << " is not installed";
        const ObjectRef<GstPlugin> plugin(gst_registry_find_plugin(gst_registry_get(), "velarium"));
        const gchar* file = plugin ? gst_plugin_get_filename(plugin.get()) : nullptr;
        std::error_code failed;
        ASSERT_TRUE(file && std::filesystem::equivalent(file, VELARIUM_GST_PLUGIN_FILE, failed))
            << "the plugin did not load from this build";
    }
};

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("GST_PLUGIN_PATH", VELARIUM_GST_PLUGIN_FOLDER, 1);
    ::setenv("GST_REGISTRY", VELARIUM_GST_TEST_REGISTRY, 1);
    ::setenv("GST_REGISTRY_FORK", "no", 1);
    initialiseGStreamer(&argc, &argv);
    ::testing::AddGlobalTestEnvironment(new RequireElements);
    const int status = RUN_ALL_TESTS();
    // So that leak checks see only what is really lost.
    gst_deinit();
    return status;
}
