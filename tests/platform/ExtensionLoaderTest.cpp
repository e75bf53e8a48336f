// Opening extension modules: a module that cannot serve is refused with its
// own error, never a crash.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mediaextension/ExtensionRegistry.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;

TEST(ExtensionLoaderTest, ModulesThatCannotServeAreRefusedWithoutCrashing) {
    testing::TemporaryFolder folder;
    fs::copy_file(VELARIUM_TEST_NO_ENTRY_MODULE, folder / "NoEntry.so");
    fs::copy_file(fs::path(VELARIUM_TEST_EXTENSION_FOLDER) / "Farrago.so", folder / "Farrago.so");
    folder.write("NotELF.so", "this is text, not a module");
    const std::pair<const char*, long> cases[] = {
        {"Missing.so", kExtensionModuleNotLoadable}, {"NotELF.so", kExtensionModuleNotLoadable},
        {"NoEntry.so", kExtensionEntryPointMissing}, {"Farrago.so", kExtensionWrongKind},  // a format reader
    };
    for (const auto& [module, code] : cases) {
        const auto manifest = folder.write(std::string(module) + ".json", R"({"name": "X", "kind": "video-decoder", "module": ")" +
                                                                            std::string(module) + R"(", "codecTypes": ["ILBM"]})");
        ExtensionRegistry registry;
        Error error;
        EXPECT_FALSE(registry.loadExtension(manifest, &error)) << module;
        EXPECT_EQ(error.domain, kExtensionLoaderErrorDomain);
        EXPECT_EQ(error.code, code) << module << ": " << error.localizedDescription;
        EXPECT_NE(error.localizedDescription.find(module), std::string::npos) << error.localizedDescription;
        EXPECT_EQ(registry.videoDecoderForCodecType(makeFourCharCode("ILBM")), nullptr);
    }
}

}  // namespace
}  // namespace velarium
