// A folder of its own, in the temporary folder, for each test that writes real files; removed
// afterwards. Its name holds the test's suite and name, so tests run side by side never share one.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace test {

class ScratchFolderTest : public testing::Test {
protected:
    void SetUp() override {
        const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("tidewell-" + std::string(info->test_suite_name()) + "-" + info->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    std::filesystem::path folder;
};

}  // namespace test
