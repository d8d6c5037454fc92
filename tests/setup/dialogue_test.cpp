#include "setup/dialogue.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

using Answers = std::vector<std::optional<int>>;

Answers readAll(const std::string& input, int prompts) {
    std::istringstream in(input);
    Answers answers;
    for (int i = 0; i < prompts; ++i)
        answers.push_back(readChoice(in));
    return answers;
}

TEST(ReadChoice, TakesTheIntegerAtTheStartOfEachToken) {
    EXPECT_EQ(readAll("2x +2 2.7 -1 007 abc x1 99999999999 -99999999999 - + 2147483647", 12),
              (Answers{2, 2, 2, -1, 7, 0, 0, 0, 0, 0, 0, 2147483647}));
    // Blank lines are skipped; what follows on a line is left for the next prompt; a last token without a
    // line break still counts; the end of input is no answer.
    EXPECT_EQ(readAll("\n\n   \t1 2\n", 3), (Answers{1, 2, std::nullopt}));
    EXPECT_EQ(readAll("  \n\n ", 1), (Answers{std::nullopt}));
    EXPECT_EQ(readAll("2", 2), (Answers{2, std::nullopt}));
    // Overlong tokens are read whole.
    EXPECT_EQ(readAll("2" + std::string(1 << 20, 'x') + " " + std::string(1 << 20, '7') + "\n1", 3),
              (Answers{2, 0, 1}));
}

TEST(OrdinalText, NamesEveryPositionInEnglish) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "1st"},   {2, "2nd"},     {3, "3rd"},     {4, "4th"},     {9, "9th"},     {10, "10th"},
        {11, "11th"}, {12, "12th"},   {13, "13th"},   {14, "14th"},   {21, "21st"},   {22, "22nd"},
        {23, "23rd"}, {100, "100th"}, {101, "101st"}, {111, "111th"}, {112, "112th"}, {1002, "1002nd"}};
    for (const auto& [position, text] : cases)
        EXPECT_EQ(ordinalText(position), text) << position;
}

// The menu's texts, repetition and end of input are checked on the whole program's transcript; here only
// a position the program tests cannot reach.
TEST(AskCalibrationMethod, NamesMonitorsBeyondTheTenth) {
    std::istringstream in("1");
    testing::internal::CaptureStdout();
    EXPECT_EQ(askCalibrationMethod(in, 10, 12, MonitorInfo{0, 0, 1920, 1080}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nCalibrating monitor 11/12 (11th from left)\nMonitor resolution: 1920x1080\n\nSelect a "
              "calibration method:\n1: Calibrate by touch\n2: Calibrate by pointing\n");
}

} // namespace
