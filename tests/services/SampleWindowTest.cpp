#include "services/SampleWindow.h"

#include <gtest/gtest.h>

namespace quonvera {
namespace {

TEST(SampleWindowTest, KeepsTheNewestSamplesInOrderAcrossTheWrap) {
    struct Case {
        const char* name;
        std::vector<std::vector<float>> appends;
        std::vector<float> expected;
    };
    const std::vector<Case> cases = {
        {"nothing yet", {}, {}},
        {"below capacity", {{1, 2}, {3}}, {1, 2, 3}},
        {"exactly full", {{1, 2, 3}, {4, 5}}, {1, 2, 3, 4, 5}},
        {"wrapping inside one append", {{1, 2, 3, 4}, {5, 6, 7}}, {3, 4, 5, 6, 7}},
        {"one append longer than the window", {{1}, {2, 3, 4, 5, 6, 7, 8}}, {4, 5, 6, 7, 8}},
        {"many small appends", {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}, {9}, {10}, {11}}, {7, 8, 9, 10, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SampleWindow window(5);
        for (const auto& samples : c.appends) window.append(samples);
        EXPECT_EQ(window.copy(), c.expected);
        EXPECT_EQ(window.size(), c.expected.size());
    }
}

TEST(SampleWindowTest, ClearingStartsAfresh) {
    SampleWindow window(3);
    window.append(std::vector<float>{1, 2, 3, 4});
    window.clear();
    EXPECT_TRUE(window.copy().empty());
    window.append(std::vector<float>{9});
    EXPECT_EQ(window.copy(), std::vector<float>{9});
}

}  // namespace
}  // namespace quonvera
