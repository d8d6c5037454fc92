// Fuzzes the configurator's answer tokenizer. Every answer is checked against a plain reading of its
// rule: a token is what lies between white space; its answer is the 32-bit integer at its beginning
// (optional sign, decimal digits, anything after them ignored), or 0 when there is none or it does not
// fit; the end of the input gives no answer at all. Only a token's first 4096 characters are looked at.
#include "setup/dialogue.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool isBlank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int expectedAnswer(const std::string& whole_token) {
    const std::string token = whole_token.substr(0, 4096);
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    if (i == token.size() || token[i] < '0' || token[i] > '9')
        return 0;
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t value = 0;
    for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > limit)
            return 0;
    }
    return static_cast<int>(negative ? -value : value);
}

std::vector<std::string> tokens(const std::string& text) {
    std::vector<std::string> result;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !isBlank(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            result.push_back(text.substr(start, i - start));
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> expected = tokens(text);
    std::istringstream in(text);
    for (size_t n = 0;; ++n) {
        const std::optional<int> answer = readChoice(in);
        if (n == expected.size()) {
            if (answer) {
                std::fprintf(stderr, "an answer (%d) after the last token\n", *answer);
                std::abort();
            }
            return 0;
        }
        if (!answer || *answer != expectedAnswer(expected[n])) {
            std::fprintf(stderr, "token %zu \"%s\": answer %s%d, expected %d\n", n, expected[n].c_str(),
                         answer ? "" : "none ", answer.value_or(0), expectedAnswer(expected[n]));
            std::abort();
        }
    }
}
