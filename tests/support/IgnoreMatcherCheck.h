#pragma once
// The ignore test against FindAnsi over lists and texts of few characters, so that entries share
// beginnings and endings and lie inside one another. Shared by the run under the default code
// page and the one under a multi-byte code page, where the second byte of a character may be "\".
#include <gtest/gtest.h>
#include <cstdint>
#include <string>
#include <vector>

#include "core/Text.h"
#include "scan/mdlMain.h"

namespace testing_support {

inline void ExpectIgnoreMatcherFindsWhatFindAnsiFinds() {
    uint32_t seed = 7;
    auto random = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16 & 0x7FFF) % n;
    };
    auto word = [&](uint32_t most) {
        std::string w;
        for (uint32_t n = random(most + 1); n > 0; --n) w += "AB\\\x83"[random(4)];
        return w;
    };
    for (int list = 0; list < 300; ++list) {
        std::vector<std::string> entries;
        std::vector<std::wstring> shown;
        for (uint32_t n = random(6) + 1; n > 0; --n) {
            std::string w = word(4);
            if (w.empty()) w = "B";
            // An entry as the list box holds it: a lead byte with nothing after it is no
            // character, and the list box holds what the code page reads in its place.
            shown.push_back(FromAnsi(w));
            entries.push_back(ToAnsi(shown.back()));
        }
        AnsiMatcher matcher;
        matcher.Build(shown);
        for (int t = 0; t < 30; ++t) {
            const std::string text = word(12);
            bool found = false;
            for (const std::string& e : entries) found = found || FindAnsi(text, e) != std::string::npos;
            ASSERT_EQ(found, matcher.FoundIn(text)) << text << " list " << list;
        }
    }
}

}  // namespace testing_support
