// The programs' messages: to the console as they stand, and line by line with a time stamp to the log
// file that --log names. Every platform.
#include "os/os.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

namespace {

std::FILE* log_file = nullptr;

// "2025-01-31 14:05:09.123 " in local time.
std::string timeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    char text[40] = {};
    const std::tm* local = std::localtime(&seconds);
    if (!local || std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", local) == 0)
        return "? ";
    char stamp[48];
    std::snprintf(stamp, sizeof stamp, "%s.%03d ", text, static_cast<int>(ms));
    return stamp;
}

// Messages begin or end with their line breaks as the console wants them; the log takes each line that
// has any text, without trailing blanks.
void writeLog(std::string_view message) {
    const std::string stamp = timeStamp();
    size_t begin = 0;
    while (begin <= message.size()) {
        size_t end = message.find('\n', begin);
        if (end == std::string_view::npos)
            end = message.size();
        size_t last = end;
        while (last > begin &&
               (message[last - 1] == ' ' || message[last - 1] == '\r' || message[last - 1] == '\t'))
            --last;
        if (last > begin)
            std::fprintf(log_file, "%s%.*s\n", stamp.c_str(), static_cast<int>(last - begin),
                         message.data() + begin);
        begin = end + 1;
    }
    std::fflush(log_file);
}

// Formats the message once (on the stack when it is short, so that a message in the frame loop costs no
// allocation) and writes the same bytes to the console and the log.
void emit(std::FILE* stream, const char* format, std::va_list args) {
    std::va_list again;
    va_copy(again, args);
    char small[512];
    const int length = std::vsnprintf(small, sizeof small, format, args);
    std::string large;
    const char* text = small;
    if (length >= static_cast<int>(sizeof small)) {
        large.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(large.data(), large.size(), format, again);
        text = large.c_str();
    }
    va_end(again);
    if (length <= 0)
        return;
    std::fwrite(text, 1, static_cast<size_t>(length), stream);
    std::fflush(stream);
    if (log_file)
        writeLog(std::string_view(text, static_cast<size_t>(length)));
}

} // namespace

void print(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    emit(stdout, format, args);
    va_end(args);
}

void printError(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    emit(stderr, format, args);
    va_end(args);
}

std::string openLogFile(const std::string& path) {
    const std::filesystem::path file(path);
    std::error_code error;
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path(), error);
    std::string why;
    std::FILE* opened = appendToRegularFile(path, why);
    if (!opened)
        return error ? error.message() : why; // a folder that could not be made says why
    if (log_file)
        std::fclose(log_file);
    log_file = opened;
    return {};
}

} // namespace platform
