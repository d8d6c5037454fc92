// Replacing a file in one step, for the configuration writer.
#include "platform/platform.h"

#ifdef _WIN32

#include <windows.h>

namespace {

std::wstring wideName(const std::string& name) {
    // The same code page the C runtime uses for narrow file names.
    const int length = MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, nullptr, 0);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, name.c_str(), -1, wide.data(), length);
    wide.resize(static_cast<size_t>(length - 1));
    return wide;
}

std::string systemMessage(DWORD code) {
    char buffer[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                                  0, buffer, sizeof buffer, nullptr);
    while (length > 0 && (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' ||
                          buffer[length - 1] == ' ' || buffer[length - 1] == '.')) {
        --length;
    }
    if (length == 0) {
        return "system error " + std::to_string(code);
    }
    return std::string(buffer, length);
}

} // namespace

std::string platform::replaceFile(const std::string& source, const std::string& target) {
    const std::wstring from = wideName(source);
    const std::wstring to = wideName(target);
    if (from.empty() || to.empty()) {
        return "invalid file name";
    }
    // Put the new contents on the disk before they take the old file's place.
    HANDLE file =
        CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return systemMessage(GetLastError());
    }
    const BOOL flushed = FlushFileBuffers(file);
    const DWORD flush_error = GetLastError();
    CloseHandle(file);
    if (!flushed) {
        return systemMessage(flush_error);
    }
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return systemMessage(GetLastError());
    }
    return {};
}

#else

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

std::string platform::replaceFile(const std::string& source, const std::string& target) {
    // Put the new contents on the disk before they take the old file's place.
    const int file = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::strerror(errno);
    }
    if (fsync(file) != 0) {
        const int error = errno;
        close(file);
        return std::strerror(error);
    }
    close(file);
    if (std::rename(source.c_str(), target.c_str()) != 0) {
        return std::strerror(errno);
    }
    // Make the new directory entry durable too; some file systems cannot sync a directory, which
    // does not make the replacement itself fail.
    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        fsync(directory);
        close(directory);
    }
    return {};
}

#endif
