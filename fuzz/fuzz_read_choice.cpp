// Fuzzes the configurator's answer tokenizer against a plain reading of its rule: a token is what lies
// between white space; its answer is the 32-bit integer at its beginning (optional sign, decimal digits,
// anything after them ignored), or 0 when there is none or it does not fit; the end of the input gives no
// answer at all. Only a token's first 4096 characters are looked at.
#include "setup/dialogue.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

int expectedAnswer(const std::string& token) {
    const std::string head = token.substr(0, 4096);
    size_t i = head[0] == '+' || head[0] == '-' ? 1 : 0;
    const bool negative = head[0] == '-';
    if (i == head.size() || head[i] < '0' || head[i] > '9')
        return 0;
    int64_t value = 0;
    for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i)
        if ((value = value * 10 + (head[i] - '0')) > (negative ? 2147483648LL : 2147483647LL))
            return 0;
    return static_cast<int>(negative ? -value : value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::istringstream tokens(text), in(text); // the C locale's white space, as the rule says
    std::string token;
    for (size_t n = 0;; ++n) {
        const bool more = static_cast<bool>(tokens >> token);
        const std::optional<int> answer = readChoice(in);
        if (!more && !answer)
            return 0;
        if (!more || !answer || *answer != expectedAnswer(token)) {
            std::fprintf(stderr, "token %zu \"%s\": answer %s%d, expected %d\n", n,
                         more ? token.c_str() : "(none)", answer ? "" : "none ", answer.value_or(0),
                         more ? expectedAnswer(token) : 0);
            std::abort();
        }
    }
}
