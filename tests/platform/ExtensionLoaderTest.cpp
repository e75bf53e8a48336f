// Opening extension modules: a module that cannot serve is refused with its
// own error, never a crash.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/mediaextension/ExtensionRegistry.h"
#include "support/TemporaryFolder.h"

namespace velarium {
namespace {

namespace fs = std::filesystem;

const fs::path kBuiltExtensions = VELARIUM_TEST_EXTENSION_FOLDER;

class ExtensionLoaderTest : public ::testing::Test {
protected:
    fs::path write(const std::string& name, const std::string& text) { return folder_.write(name, text); }

    testing::TemporaryFolder folder_;
};

TEST_F(ExtensionLoaderTest, ModulesThatCannotServeAreRefusedWithoutCrashing) {
    fs::copy_file(VELARIUM_TEST_NO_ENTRY_MODULE, folder_ / "NoEntry.so");
    fs::copy_file(kBuiltExtensions / "Farrago.so", folder_ / "Farrago.so");
    write("NotELF.so", "this is text, not a module");
    struct Case {
        const char* module;
        const char* kind;
        long code;
    } cases[] = {
        {"Missing.so", "video-decoder", kExtensionModuleNotLoadable},
        {"NotELF.so", "video-decoder", kExtensionModuleNotLoadable},
        {"NoEntry.so", "video-decoder", kExtensionEntryPointMissing},
        {"Farrago.so", "video-decoder", kExtensionWrongKind},
    };
    for (const auto& c : cases) {
        const auto manifest = write(std::string(c.module) + ".json",
                                    std::string(R"({"name": "X", "kind": ")") + c.kind + R"(", "module": ")" +
                                        c.module + R"(", "codecTypes": ["ILBM"]})");
        ExtensionRegistry registry;
        Error error;
        EXPECT_FALSE(registry.loadExtension(manifest, &error)) << c.module;
        EXPECT_EQ(error.domain, kExtensionLoaderErrorDomain);
        EXPECT_EQ(error.code, c.code) << c.module << ": " << error.localizedDescription;
        EXPECT_NE(error.localizedDescription.find(c.module), std::string::npos) << error.localizedDescription;
        EXPECT_EQ(registry.videoDecoderForCodecType(makeFourCharCode("ILBM")), nullptr);
    }
}

}  // namespace
}  // namespace velarium
