#pragma once

#include <filesystem>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

namespace mandel::testing {

// A new empty folder named after the running test, removed at the end.
class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& tag)
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("mandel-" + tag + "-" + std::to_string(::getpid()) + "-" + (info ? info->name() : "x"));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() { std::filesystem::remove_all(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const noexcept { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace mandel::testing
