#include "support/TempDir.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quillstrand-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view name) const { return (path_ / name).string(); }

std::string TempDir::write(std::string_view name, std::string_view content) const {
  const std::string target = file(name);
  std::filesystem::create_directories(std::filesystem::path(target).parent_path());
  std::ofstream(target, std::ios::binary) << content;
  return target;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}
