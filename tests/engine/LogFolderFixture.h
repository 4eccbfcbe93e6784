#pragma once
// A fresh, empty folder per test for the flow log tests, removed afterwards (made writable
// first, since some tests take the write permission away), a whole-file reader and the folder's
// file names.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The names of the files in folder, sorted. The hidden ones (the automatic flow log's lagging
// file while its writer lives) are left out unless asked for: an operator does not see them.
inline std::vector<std::string> FileNames(const std::filesystem::path& folder,
                                          bool withHidden = false) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::string name = entry.path().filename().string();
        if (withHidden || name.front() != '.')
            names.push_back(std::move(name));
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TLogFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        folder = std::filesystem::temp_directory_path() /
                 ("orvello-" + std::string(test->test_suite_name()) + "-" +
                  std::to_string(::getpid()) + "-" + test->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
        std::filesystem::remove_all(folder);
    }
    std::filesystem::path folder;
};
