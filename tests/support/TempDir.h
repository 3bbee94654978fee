// A fresh scratch directory per test, removed afterwards.
#ifndef PIXELRY_TESTS_TEMPDIR_H
#define PIXELRY_TESTS_TEMPDIR_H

#ifdef _WIN32
#include <process.h>
#define PIXELRY_TESTS_GETPID _getpid
#else
#include <unistd.h>
#define PIXELRY_TESTS_GETPID getpid
#endif

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace testing_support {

class TempDir {
 public:
  TempDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name =
        std::string("pixelry_") + (info ? info->test_suite_name() : "t") + "_" + (info ? info->name() : "x");
    for (char& c : name)
      if (c == '/') c = '_';
    // The process id keeps two runs of the suite at once (a developer's and CI's) apart.
    name += "_" + std::to_string(PIXELRY_TESTS_GETPID());
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The path of name (UTF-8) in the directory, in UTF-8.
  std::string file(const std::string& name) const {
    return (path_ / std::filesystem::u8path(name)).u8string();
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support

#endif
