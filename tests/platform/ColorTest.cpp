#include "platform/Color.h"

#include <gtest/gtest.h>

TEST(Color, PlainColoursPassAndSystemColoursResolve)
{
    EXPECT_EQ(ColorToRGB(RGB(1, 2, 3)), 0x030201u);
    EXPECT_EQ(ColorToRGB(clWindow), clWhite);
    EXPECT_EQ(ColorToRGB(clWindowText), clBlack);
    EXPECT_EQ(GetRValue(clRed), 255);
    EXPECT_EQ(GetBValue(clRed), 0);
}
