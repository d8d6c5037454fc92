#include "setup/dialogue.h"

#include <cctype>
#include <cstdio>
#include <sstream>

std::optional<int> readChoice(std::istream& in) {
    // Only the token's beginning can hold the number; the rest of an overlong token is read and dropped,
    // so that no answer can make the program hold unbounded text.
    constexpr size_t kKeptLength = 4096;
    std::string token;
    std::istream::sentry skip_white_space(in);
    if (!skip_white_space)
        return std::nullopt;
    for (int c = in.rdbuf()->sgetc(); c != std::char_traits<char>::eof() && !std::isspace(c);
         c = in.rdbuf()->snextc()) {
        if (token.size() < kKeptLength)
            token.push_back(static_cast<char>(c));
    }
    if (token.empty())
        return std::nullopt;
    std::istringstream number(token);
    int value = 0;
    if (!(number >> value))
        return 0;
    return value;
}

std::string ordinalText(int position) {
    const int last_two = position % 100;
    const int last = position % 10;
    const char* suffix = "th";
    if (last_two < 11 || last_two > 13) {
        if (last == 1)
            suffix = "st";
        else if (last == 2)
            suffix = "nd";
        else if (last == 3)
            suffix = "rd";
    }
    return std::to_string(position) + suffix;
}

namespace {

// Shows `question` until the answer is a number from 1 to `highest`, and returns it; nothing when the
// input ended.
std::optional<int> askUpTo(std::istream& in, const std::string& question, int highest = 2) {
    for (;;) {
        std::printf("%s", question.c_str());
        std::fflush(stdout);
        const std::optional<int> choice = readChoice(in);
        if (!choice || (*choice >= 1 && *choice <= highest))
            return choice;
    }
}

} // namespace

std::optional<int> askCalibrationMethod(std::istream& in, int index, int count, const MonitorInfo& monitor) {
    char header[160];
    std::snprintf(header, sizeof header,
                  "\n\nCalibrating monitor %d/%d (%s from left)\nMonitor resolution: %dx%d", index + 1, count,
                  ordinalText(index + 1).c_str(), monitor.right - monitor.left, monitor.bottom - monitor.top);
    return askUpTo(in, std::string(header) + "\n\nSelect a calibration method:\n1: Calibrate by touch\n"
                                             "2: Calibrate by pointing\n");
}

std::optional<int> askCalibrateAgain(std::istream& in) {
    return askUpTo(in, "\nCalibrate this monitor again?\n1: Keep this calibration\n2: Calibrate again\n");
}

std::optional<int> askHandedness(std::istream& in) {
    return askUpTo(in, "\nAre you:\n1: Right-handed\n2: Left-handed\n");
}

std::optional<int> askMonitor(std::istream& in, const std::vector<MonitorInfo>& monitors) {
    std::string question = "\nWhich monitor will you touch?\n";
    for (size_t i = 0; i < monitors.size(); ++i) {
        const MonitorInfo& m = monitors[i];
        question += std::to_string(i + 1) + ": " + std::to_string(m.right - m.left) + "x" +
                    std::to_string(m.bottom - m.top) + " at " + std::to_string(m.left) + "," +
                    std::to_string(m.top) + "\n";
    }
    return askUpTo(in, question, static_cast<int>(monitors.size()));
}

std::optional<int> askTouchAgain(std::istream& in) {
    return askUpTo(in, "\nTouch the three corners again?\n1: Keep\n2: Touch again\n");
}
