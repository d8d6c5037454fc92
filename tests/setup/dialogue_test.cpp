#include "setup/dialogue.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::optional<int>> readAll(const std::string& input, int prompts) {
    std::istringstream in(input);
    std::vector<std::optional<int>> answers;
    for (int i = 0; i < prompts; ++i)
        answers.push_back(readChoice(in));
    return answers;
}

TEST(ReadChoice, TakesTheIntegerAtTheStartOfEachToken) {
    const auto answers = readAll("2x +2 2.7 -1 007 abc x1 99999999999 -99999999999 - + 2147483647", 12);
    const std::vector<std::optional<int>> expected = {2, 2, 2, -1, 7, 0, 0, 0, 0, 0, 0, 2147483647};
    EXPECT_EQ(answers, expected);
}

TEST(ReadChoice, SkipsBlankLinesAndLeavesTheRestForTheNextPrompt) {
    std::istringstream in("\n\n   \t1 2\n");
    EXPECT_EQ(readChoice(in), 1);
    EXPECT_EQ(readChoice(in), 2);
    EXPECT_EQ(readChoice(in), std::nullopt);
}

TEST(ReadChoice, EndOfInputIsNotAnAnswer) {
    EXPECT_EQ(readAll("", 1)[0], std::nullopt);
    EXPECT_EQ(readAll("  \n\n ", 1)[0], std::nullopt);
    // A last token without a line break still counts.
    EXPECT_EQ(readAll("2", 2), (std::vector<std::optional<int>>{2, std::nullopt}));
}

TEST(ReadChoice, OverlongTokensAreReadWhole) {
    const std::string long_digits(1 << 20, '7');
    EXPECT_EQ(readAll("2" + std::string(1 << 20, 'x') + " " + long_digits + "\n1", 3),
              (std::vector<std::optional<int>>{2, 0, 1}));
}

TEST(OrdinalText, NamesEveryPositionInEnglish) {
    const std::vector<std::pair<int, std::string>> cases = {
        {1, "1st"},   {2, "2nd"},     {3, "3rd"},     {4, "4th"},     {9, "9th"},     {10, "10th"},
        {11, "11th"}, {12, "12th"},   {13, "13th"},   {14, "14th"},   {21, "21st"},   {22, "22nd"},
        {23, "23rd"}, {100, "100th"}, {101, "101st"}, {111, "111th"}, {112, "112th"}, {1002, "1002nd"}};
    for (const auto& [position, text] : cases)
        EXPECT_EQ(ordinalText(position), text) << position;
}

std::string menuText(int index, int count, const char* ordinal, const char* resolution) {
    return "\n\nCalibrating monitor " + std::to_string(index + 1) + "/" + std::to_string(count) + " (" +
           ordinal + " from left)\nMonitor resolution: " + resolution +
           "\n\nSelect a calibration method:\n1: Calibrate by touch\n2: Calibrate by pointing\n";
}

TEST(AskCalibrationMethod, RepeatsTheWholeMenuUntilTheAnswerIsOneOrTwo) {
    std::istringstream in("abc 0 3 -1 x1 2x 1");
    const MonitorInfo monitor{-2560, -200, 0, 1240};
    testing::internal::CaptureStdout();
    const std::optional<int> choice = askCalibrationMethod(in, 3, 4, monitor);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(choice, 2);
    std::string expected;
    for (int i = 0; i < 6; ++i)
        expected += menuText(3, 4, "4th", "2560x1440");
    EXPECT_EQ(out, expected);
    EXPECT_EQ(readChoice(in), 1); // the next prompt's answer is still there
}

TEST(AskCalibrationMethod, NamesMonitorsBeyondTheTenth) {
    std::istringstream in("1");
    testing::internal::CaptureStdout();
    EXPECT_EQ(askCalibrationMethod(in, 10, 12, MonitorInfo{0, 0, 1920, 1080}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), menuText(10, 12, "11th", "1920x1080"));
}

TEST(AskCalibrationMethod, StopsAtTheEndOfInput) {
    std::istringstream in("7 abc");
    testing::internal::CaptureStdout();
    EXPECT_EQ(askCalibrationMethod(in, 0, 1, MonitorInfo{0, 0, 1920, 1080}), std::nullopt);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), menuText(0, 1, "1st", "1920x1080") +
                                                          menuText(0, 1, "1st", "1920x1080") +
                                                          menuText(0, 1, "1st", "1920x1080"));
}

TEST(AskHandedness, RepeatsTheQuestionUntilTheAnswerIsOneOrTwo) {
    const std::string question = "\nAre you:\n1: Right-handed\n2: Left-handed\n";
    {
        std::istringstream in("0 +2");
        testing::internal::CaptureStdout();
        EXPECT_EQ(askHandedness(in), 2);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), question + question);
    }
    {
        std::istringstream in("\n1\n");
        testing::internal::CaptureStdout();
        EXPECT_EQ(askHandedness(in), 1);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), question);
    }
    {
        std::istringstream in("9");
        testing::internal::CaptureStdout();
        EXPECT_EQ(askHandedness(in), std::nullopt);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), question + question);
    }
}

} // namespace
