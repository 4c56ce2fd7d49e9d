#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// A new folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the folder, as text.
  std::string file(std::string_view name) const;
  // Writes `content` to `name` inside the folder and gives its path.
  std::string write(std::string_view name, std::string_view content) const;

 private:
  std::filesystem::path path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
