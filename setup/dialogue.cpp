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

std::optional<int> askCalibrationMethod(std::istream& in, int index, int count, const MonitorInfo& monitor) {
    const std::string ordinal = ordinalText(index + 1);
    for (;;) {
        std::printf("\n");
        std::printf("\nCalibrating monitor %d/%d (%s from left)", index + 1, count, ordinal.c_str());
        std::printf("\nMonitor resolution: %dx%d", monitor.right - monitor.left,
                    monitor.bottom - monitor.top);
        std::printf("\n\nSelect a calibration method:\n");
        std::printf("1: Calibrate by touch\n");
        std::printf("2: Calibrate by pointing\n");
        std::fflush(stdout);
        const std::optional<int> choice = readChoice(in);
        if (!choice || *choice == kMethodTouch || *choice == kMethodPointing)
            return choice;
    }
}

std::optional<int> askCalibrateAgain(std::istream& in) {
    for (;;) {
        std::printf("\n");
        std::printf("Calibrate this monitor again?\n");
        std::printf("1: Keep this calibration\n");
        std::printf("2: Calibrate again\n");
        std::fflush(stdout);
        const std::optional<int> choice = readChoice(in);
        if (!choice || *choice == kKeepCalibration || *choice == kCalibrateAgain)
            return choice;
    }
}

std::optional<int> askHandedness(std::istream& in) {
    for (;;) {
        std::printf("\n");
        std::printf("Are you:\n");
        std::printf("1: Right-handed\n");
        std::printf("2: Left-handed\n");
        std::fflush(stdout);
        const std::optional<int> choice = readChoice(in);
        if (!choice || *choice == kRightHanded || *choice == kLeftHanded)
            return choice;
    }
}
