#pragma once
// A folder of the test's own under the temporary folder, removed afterwards: ctest runs tests in
// parallel, and files of fixed names (the debug dump, the configuration file) must not collide.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace vintrel::test {

class ScratchDir {
public:
    ScratchDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::path(::testing::TempDir()) /
                ("vintrel-" + std::to_string(::getpid()) + "-" + (info ? info->name() : "test"));
        std::filesystem::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path() const { return path_.string(); }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

} // namespace vintrel::test
