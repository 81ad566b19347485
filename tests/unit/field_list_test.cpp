#include <gtest/gtest.h>

#include <cstring>

#include "plugin/field_list.h"

namespace {

TEST(CopyFieldName, CutsToSizeMinusTwoAndNeverWritesPastTheBuffer) {
    struct Case {
        std::string name;
        int size;
        const char* expected;  // nullptr: nothing written
    } cases[] = {
        {"ABCDEFGHIJ", 8, "ABCDEF"}, {"ABCDEFGHIJ", 12, "ABCDEFGHIJ"}, {"ABCDEFGHIJ", 11, "ABCDEFGHI"},
        {"ABC", 2, ""},              {"ABC", 1, nullptr},              {"ABC", 0, nullptr},
        {"ABC", -5, nullptr},        {std::string("A\0B", 3), 10, "A"}, {"", 10, ""},
    };
    for (const Case& c : cases) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        velkaron::CopyFieldName(c.name, buffer, c.size);
        const std::size_t room = c.size > 0 ? static_cast<std::size_t>(c.size) : 0;
        if (c.expected) {
            EXPECT_STREQ(buffer, c.expected) << c.size;
        } else {
            EXPECT_EQ(buffer[0], '#') << c.size;
        }
        for (std::size_t i = room; i < sizeof buffer; ++i) {
            ASSERT_EQ(buffer[i], '#') << c.size;
        }
    }
    velkaron::CopyFieldName("ABC", nullptr, 10);  // must not crash
}

}  // namespace
