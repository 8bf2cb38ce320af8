#include "platform/SharedMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace {

struct Block {
    THandle handle = 0;
    void* view = nullptr;
};

Block Make(std::size_t size)
{
    Block b;
    b.handle = CreateSharedMemory(size);
    b.view = MapSharedMemory(b.handle);
    return b;
}

bool Zero(const void* view, std::size_t size)
{
    const auto* bytes = static_cast<const unsigned char*>(view);
    return std::all_of(bytes, bytes + size, [](unsigned char c) { return c == 0; });
}

} // namespace

TEST(SharedMemory, AKeptObjectComesBackClearedForTheSameSizeOnly)
{
    DropKeptSharedMemory();
    const std::size_t size = 3 * 4096 + 5;
    Block b = Make(size);
    ASSERT_NE(b.view, nullptr);
    std::memset(b.view, 0xAB, size);
    ASSERT_TRUE(KeepSharedMemory(b.handle, b.view));

    Block other;
    EXPECT_FALSE(ReuseSharedMemory(size + 1, other.handle, other.view));
    Block again;
    ASSERT_TRUE(ReuseSharedMemory(size, again.handle, again.view));
    EXPECT_EQ(again.handle, b.handle);
    EXPECT_TRUE(Zero(again.view, size));
    EXPECT_FALSE(ReuseSharedMemory(size, other.handle, other.view)) << "taken once";
    EXPECT_TRUE(UnmapSharedMemory(again.handle, again.view));
    EXPECT_TRUE(CloseSharedMemory(again.handle));
}

TEST(SharedMemory, OnlyAFewObjectsAreKept)
{
    DropKeptSharedMemory();
    for (int i = 0; i < 6; ++i) {
        Block b = Make(4096);
        ASSERT_TRUE(KeepSharedMemory(b.handle, b.view));
    }
    EXPECT_EQ(DropKeptSharedMemory(), 4u);

    Block huge = Make(std::size_t(300) << 20); // larger than all that is kept
    EXPECT_FALSE(KeepSharedMemory(huge.handle, huge.view));
    EXPECT_TRUE(UnmapSharedMemory(huge.handle, huge.view));
    EXPECT_TRUE(CloseSharedMemory(huge.handle));
}
