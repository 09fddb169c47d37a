#include "key_sequence.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

const std::string csi = "\x1b[";

struct key_case {
    std::string bytes;     // what the terminal sends, a byte at a time
    std::size_t whole_at;  // how many of them make the key whole; 0: none do
};

const key_case key_cases[] = {
    {"q", 1},
    {"\r", 1},
    {"\x1b", 0},  // the Escape key only once a pause follows
    {"\x1b[A", 3},
    {"\x1bOP", 3},
    {"\x1b[15~", 5},
    {"\x1b[1;5A", 6},
    {"\x1b[[A", 4},  // the Linux console's F1
    {"\xc3\xb1", 2},
    {"\xc3", 0},
    {"\xe2\x82\xac", 3},
    {"\xe2\x82", 0},
    {"\xe0\xa4\x85", 3},  // the lowest lead of three bytes
    {"\xf0\x9f\x98\x80", 4},
    {"\xf0\x9f\x98", 0},
    {"\x1bx", 2},  // Alt+x
    {"\x1b\x1b[A", 4},
    {"\x1b\xc3\xb1", 3},
    {"\x1b\x1b", 0},
    {"\xff", 1},  // never in UTF-8
    {"\x80", 1},  // continuation bytes with no lead
    {"\xbf", 1},
    {"\xf8", 1},  // leads of 5 and 6 bytes, long out of UTF-8
    {"\xfc", 1},
    {"\x1b[1\x03", 4},  // cut short by a control
    {"\x1b[\xc3\xb1", 3},
    {csi + std::string(40, '1') + "~", 43},
    {csi + std::string(80, '1'), fare::longest_key},  // no key goes on this long
};

TEST(KeySequence, WholeAtItsLastByteAndNotBefore) {
    for (const auto& key : key_cases) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(key.bytes.data());
        const std::size_t last = key.whole_at != 0 ? key.whole_at : key.bytes.size();
        for (std::size_t count = 1; count <= last; ++count) {
            EXPECT_EQ(fare::is_whole_key(bytes, count), count == key.whole_at)
                << testing::PrintToString(key.bytes) << ", first " << count << " bytes";
        }
    }
}

}  // namespace
