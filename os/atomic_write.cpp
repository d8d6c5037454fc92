// Writing a file so that it is either all old or all new: the text goes into a temporary file beside it,
// which then takes its place in one step (replaceFile, per platform). Every platform.
#include "os/os.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <random>

namespace platform {

namespace fs = std::filesystem;

std::string notRegularFile(fs::file_type type) {
    const char* kind = type == fs::file_type::directory   ? "a folder, "
                       : type == fs::file_type::block     ? "a block device, "
                       : type == fs::file_type::character ? "a character device, "
                       : type == fs::file_type::fifo      ? "a FIFO, "
                       : type == fs::file_type::socket    ? "a socket, "
                                                          : "";
    return std::string(kind) + "not a regular file";
}

namespace {

std::string temporaryPath(const std::string& path) {
    static uint32_t counter = 0;
    uint64_t noise = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    try {
        std::random_device device;
        noise ^= (static_cast<uint64_t>(device()) << 32) | device();
    } catch (const std::exception&) {
        // The clock and the counter alone still make a name that no earlier run left behind.
    }
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, ".tmp-%016llx-%u", static_cast<unsigned long long>(noise),
                  ++counter);
    return path + suffix;
}

std::string reasonFor(int error) {
    return error != 0 ? std::strerror(error) : "write error";
}

// A temporary file beside the file that a new version of `path` replaces, created and open for writing:
// beside `path`, or, for a symbolic link, beside the file the links lead to, which is then replaced and the
// links stay. What is there must be a regular file that may be written (it lends the new file its
// permission bits), or nothing yet. Otherwise no file, and the reason.
struct Temporary {
    std::string target;
    std::string path;
    std::FILE* file = nullptr;
    std::string failure;
};

Temporary createTemporary(const std::string& path) {
    Temporary t;
    t.target = path;
    std::error_code error;
    fs::file_status status = fs::symlink_status(t.target, error);
    for (int links = 0; fs::is_symlink(status) && links < 40; ++links) {
        const fs::path next = fs::read_symlink(t.target, error);
        if (error) {
            t.failure = error.message();
            return t;
        }
        t.target = (fs::path(t.target).parent_path() / next).string(); // an absolute `next` stands alone
        status = fs::symlink_status(t.target, error);
    }
    const bool exists = status.type() != fs::file_type::not_found;
    if (exists) {
        const std::string it = t.target == path ? "it" : "'" + t.target + "', where it leads,";
        const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        t.failure = error                          ? error.message()
                    : fs::is_symlink(status)       ? "too many levels of symbolic links"
                    : !fs::is_regular_file(status) ? it + " is " + notRegularFile(status.type())
                    : (status.permissions() & writable) == fs::perms::none ? it + " is read-only"
                                                                           : "";
        // Whether this user may write it (the bits above do not say); opening to append changes nothing.
        std::FILE* old = t.failure.empty() ? std::fopen(t.target.c_str(), "a") : nullptr;
        if (old)
            std::fclose(old);
        else if (t.failure.empty())
            t.failure = it + " may not be written: " + reasonFor(errno);
        if (!t.failure.empty())
            return t;
    }
    t.path = temporaryPath(t.target);
    errno = 0;
    t.file = std::fopen(t.path.c_str(), "w"); // text mode: CR LF line ends on Windows
    if (!t.file) {
        t.failure = reasonFor(errno);
    } else if (exists) {
        fs::permissions(t.path, status.permissions(), error);
        if (error) {
            std::fclose(t.file);
            std::remove(t.path.c_str());
            t.file = nullptr;
            t.failure = error.message();
        }
    }
    return t;
}

} // namespace

std::string writeFileAtomically(const std::string& text, const std::string& path) {
    // The old file stays in place until the new one is complete on disk, so a full disk or a read-only
    // folder never costs the user a working calibration.
    const Temporary temporary = createTemporary(path);
    std::FILE* file = temporary.file;
    if (file == nullptr) {
        return temporary.failure;
    }
    int error = 0;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
        error = errno != 0 ? errno : EIO;
    }
    errno = 0;
    if (std::fflush(file) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) {
        error = errno != 0 ? errno : EIO;
    }
    if (error != 0) {
        std::remove(temporary.path.c_str());
        return reasonFor(error);
    }
    const std::string reason = replaceFile(temporary.path, temporary.target);
    if (!reason.empty()) {
        std::remove(temporary.path.c_str());
        return reason;
    }
    return {};
}

std::string checkFileWritable(const std::string& path) {
    const Temporary temporary = createTemporary(path);
    if (temporary.file == nullptr)
        return temporary.failure;
    std::fclose(temporary.file);
    std::remove(temporary.path.c_str());
    return {};
}

} // namespace platform
