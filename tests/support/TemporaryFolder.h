#pragma once

// A fresh folder under the system's temporary folder for the files a test
// writes, removed with everything in it afterwards.

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace velarium::testing {

class TemporaryFolder {
public:
    TemporaryFolder() {
        static std::atomic<int> counter{0};
        path_ = std::filesystem::temp_directory_path() /
                ("velarium-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes the file `name` in the folder and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path_ / name;
    }
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::filesystem::path path_;
};

}  // namespace velarium::testing
