// A fresh temporary folder per test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& relative) const { return path_ / relative; }

 private:
  std::filesystem::path path_;
};

// Writes `contents` to `file`, creating its folders.
void writeFile(const std::filesystem::path& file, const std::string& contents);
std::string readFile(const std::filesystem::path& file);

}  // namespace testing_support
