// Finding and opening extension modules: manifests, the module and its entry
// point, and the look-ups the playback framework makes afterwards.
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

TEST_F(ExtensionLoaderTest, ManifestsAreCheckedBeforeAnyModuleIsOpened) {
    struct Case {
        const char* name;
        const char* text;
    } cases[] = {
        {"not JSON", "{ \"name\": "},
        {"an array", "[1, 2]"},
        {"no name", R"({"kind": "video-decoder", "module": "D.so", "codecTypes": ["ILBM"]})"},
        {"unknown kind", R"({"name": "X", "kind": "muxer", "module": "D.so", "codecTypes": ["ILBM"]})"},
        {"module in another folder", R"({"name": "X", "kind": "video-decoder", "module": "../D.so", "codecTypes": ["ILBM"]})"},
        {"module not a string", R"({"name": "X", "kind": "video-decoder", "module": 7, "codecTypes": ["ILBM"]})"},
        {"codec of three letters", R"({"name": "X", "kind": "video-decoder", "module": "D.so", "codecTypes": ["ILB"]})"},
        {"codec types not a list", R"({"name": "X", "kind": "video-decoder", "module": "D.so", "codecTypes": "ILBM"})"},
        {"decoder without codecs", R"({"name": "X", "kind": "video-decoder", "module": "D.so"})"},
        {"reader serving nothing", R"({"name": "X", "kind": "format-reader", "module": "F.so", "fileExtensions": []})"},
        {"empty extension", R"({"name": "X", "kind": "format-reader", "module": "F.so", "fileExtensions": ["."]})"},
    };
    for (const auto& c : cases) {
        ExtensionManifest manifest;
        Error error;
        EXPECT_FALSE(readExtensionManifest(write("m.json", c.text), &manifest, &error)) << c.name;
        EXPECT_EQ(error.domain, kExtensionLoaderErrorDomain) << c.name;
        EXPECT_EQ(error.code, kExtensionManifestInvalid) << c.name;
    }
}

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

TEST_F(ExtensionLoaderTest, RealModulesAreFoundByExtensionTypeAndCodec) {
    ExtensionRegistry registry;
    Error error;
    ASSERT_TRUE(registry.loadExtensionsInFolder(kBuiltExtensions, ExtensionKind::formatReader, &error))
        << error.localizedDescription;
    ASSERT_TRUE(registry.loadExtensionsInFolder(kBuiltExtensions, ExtensionKind::videoDecoder, &error))
        << error.localizedDescription;
    ASSERT_TRUE(registry.loadExtensionsInFolder(kBuiltExtensions, ExtensionKind::videoDecoder, &error));
    EXPECT_EQ(registry.loadedExtensions().size(), 2u) << "loaded twice";

    for (const auto& [extension, served] : {std::pair{"ANIM", true}, std::pair{".anm", true}, std::pair{"iff", false}, std::pair{"", false}})
        EXPECT_EQ(registry.formatReaderForFileExtension(extension) != nullptr, served) << extension;
    EXPECT_NE(registry.formatReaderForTypeIdentifier("com.amiga.anim"), nullptr);
    EXPECT_EQ(registry.formatReaderForTypeIdentifier("public.movie"), nullptr);
    EXPECT_NE(registry.videoDecoderForCodecType(makeFourCharCode("ILBM")), nullptr);
    EXPECT_EQ(registry.videoDecoderForCodecType(makeFourCharCode("avc1")), nullptr);
}

TEST_F(ExtensionLoaderTest, FolderWithOneBrokenManifestStillLoadsTheOthers) {
    fs::copy_file(kBuiltExtensions / "Dapple.so", folder_ / "Dapple.so");
    fs::copy_file(kBuiltExtensions / "Dapple.json", folder_ / "Dapple.json");
    write("Broken.json", "{");
    ExtensionRegistry registry;
    Error error;
    EXPECT_FALSE(registry.loadExtensionsInFolder(folder_.path(), ExtensionKind::videoDecoder, &error));
    EXPECT_EQ(error.code, kExtensionManifestInvalid);
    EXPECT_NE(registry.videoDecoderForCodecType(makeFourCharCode("ILBM")), nullptr);

    fs::remove(folder_ / "Broken.json");
    EXPECT_FALSE(registry.loadExtensionsInFolder(folder_.path(), ExtensionKind::formatReader, &error));
    EXPECT_EQ(error.code, kExtensionsNotFound);
}

}  // namespace
}  // namespace velarium
