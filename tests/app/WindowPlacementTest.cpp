// Where a window lands when it would stick out of the screen's free area.
#include "app/WindowPlacement.h"

#include <gtest/gtest.h>

namespace vintrel {

TEST(WindowPlacementTest, ClampToAreaKeepsTheFrameOnTheArea) {
    const QRect screen(0, 0, 1280, 1024);
    const QRect second(1280, 0, 1024, 768); // a second screen right of the first
    struct Case {
        const char* what;
        QRect frame, area;
        QPoint expected;
    } cases[] = {
        {"inside", {100, 200, 300, 400}, screen, {100, 200}},
        {"touching the corner", {980, 624, 300, 400}, screen, {980, 624}},
        {"out on the right", {1100, 200, 300, 400}, screen, {980, 200}},
        {"out at the bottom", {0, 907, 640, 422}, screen, {0, 602}},
        {"out on both", {1200, 900, 300, 400}, screen, {980, 624}},
        {"out on the left and top", {-50, -20, 300, 400}, screen, {0, 0}},
        {"wider and taller than the area", {500, 500, 1400, 1100}, screen, {0, 0}},
        {"second screen, inside", {1300, 10, 300, 400}, second, {1300, 10}},
        {"second screen, out on the right", {2200, 500, 300, 400}, second, {2004, 368}},
        {"second screen, left of it", {1000, 100, 300, 400}, second, {1280, 100}},
        {"second screen, wider than it", {1500, 0, 1100, 200}, second, {1280, 0}},
    };
    for (const Case& c : cases) EXPECT_EQ(ClampToArea(c.frame, c.area), c.expected) << c.what;
}

} // namespace vintrel
