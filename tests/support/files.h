// Files and folders for tests.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with its contents at destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(TempDir&&) noexcept;
    TempDir& operator=(TempDir&&) noexcept;
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name as a string.
    std::string file(const std::string& name) const;

  private:
    std::filesystem::path path_;
};

TempDir tempDir();

// Whole-file access in binary mode. writeFile replaces the file; readFile throws std::runtime_error when
// the file cannot be read.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
std::string readFile(const std::filesystem::path& path);

// The folder the built programs are in (<build>/bin).
std::filesystem::path binDir();
// binDir() / name as a string, for argv[0].
std::string binPath(const std::string& name);

} // namespace testsupport
