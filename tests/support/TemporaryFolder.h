#pragma once

// A fresh folder under the system's temporary folder for the files a test
// writes, removed with everything in it afterwards.

#include <unistd.h>

#include <algorithm>
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

    // Writes the file `name` (its folders made as needed) in the folder and returns its path.
    std::filesystem::path write(const std::string& name, const std::string& bytes) const {
        std::filesystem::create_directories((path_ / name).parent_path());
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path_ / name;
    }
    std::filesystem::path write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return write(name, std::string(bytes.begin(), bytes.end()));
    }

private:
    std::filesystem::path path_;
};

// What `folder` holds, by path relative to it and sorted: its entries, or with
// `recursive` every file anywhere below it. Nothing when there is no folder.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder, bool recursive = false) {
    std::vector<std::string> names;
    std::error_code none;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, none); it != decltype(it)(); ++it) {
        if (!recursive) it.disable_recursion_pending();
        else if (!it->is_regular_file()) continue;
        names.push_back(it->path().lexically_relative(folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace velarium::testing
