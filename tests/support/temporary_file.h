// A scratch file for scenario tests, removed when the test ends.
#ifndef ZORVEX_TESTS_TEMPORARY_FILE_H
#define ZORVEX_TESTS_TEMPORARY_FILE_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace zorvex::test {

class TemporaryFile {
  public:
    explicit TemporaryFile(const std::string& contents) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("zorvex-") + info->test_suite_name() + "-" + info->name();
        for (char& c : name) {
            c = std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
        }
        name += "-" + std::to_string(std::random_device{}()) + ".json";
        path_ = (std::filesystem::temp_directory_path() / name).string();
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~TemporaryFile() {
        std::remove(path_.c_str());
        std::remove((path_ + ".lock").c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

  private:
    std::string path_;
};

}  // namespace zorvex::test

#endif
