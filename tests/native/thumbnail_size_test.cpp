#include "thumbnail/ThumbnailSize.h"

#include <gtest/gtest.h>

using Quivane::FitThumbnail;

TEST(FitThumbnail, LongerSideIsTheRequestedOneAndTheOtherRounds) {
    auto size = FitThumbnail(500, 300, 256); // (300 * 256 + 250) / 500 = 154
    EXPECT_EQ(size.width, 256u);
    EXPECT_EQ(size.height, 154u);
    size = FitThumbnail(100, 1000, 256);
    EXPECT_EQ(size.width, 26u);
    EXPECT_EQ(size.height, 256u);
    size = FitThumbnail(1, 1000, 256);
    EXPECT_EQ(size.width, 1u);
    EXPECT_EQ(size.height, 256u);
    size = FitThumbnail(16, 16, 96); // scaled up
    EXPECT_EQ(size.width, 96u);
    EXPECT_EQ(size.height, 96u);
    size = FitThumbnail(65535, 1, 1024); // never 0 high
    EXPECT_EQ(size.height, 1u);
    size = FitThumbnail(0xFFFFFFFFu, 0xFFFFFFFEu, 1024); // no overflow in the products
    EXPECT_EQ(size.height, 1024u);
}
