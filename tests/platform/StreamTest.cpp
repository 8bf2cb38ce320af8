#include "platform/Exceptions.h"
#include "platform/Stream.h"
#include "support/ExpectThrow.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

TEST(MemoryStream, ShortReadRaisesReadErrorAndWritesGrowAtThePosition)
{
    TMemoryStream stream;
    const std::uint8_t bytes[] = {1, 2, 3};
    stream.WriteBuffer(bytes, sizeof bytes);
    stream.SetPosition(1);
    stream.WriteBuffer(bytes, sizeof bytes);
    EXPECT_EQ(stream.Bytes(), (std::vector<std::uint8_t>{1, 1, 2, 3}));

    stream.SetPosition(2);
    EXPECT_EQ(stream.Remaining(), 2);
    std::uint8_t out[3];
    EXPECT_THROW_MESSAGE(stream.ReadBuffer(out, 3), EReadError, "Stream read error");
}

TEST(FileStream, OpenAndCreateFailuresNameTheFile)
{
    EXPECT_THROW_MESSAGE(TFileStream("/nonexistent/x.bmp", TFileMode::fmOpenRead), EFOpenError,
                         "Cannot open file \"/nonexistent/x.bmp\". No such file or directory");
    EXPECT_THROW_MESSAGE(TFileStream("/nonexistent/x.bmp", TFileMode::fmCreate), EFCreateError,
                         "Cannot create file \"/nonexistent/x.bmp\". No such file or directory");
}

TEST(FileStream, WriteToAFullDeviceRaisesWriteError)
{
    TFileStream full("/dev/full", TFileMode::fmCreate);
    const std::uint8_t byte = 0;
    EXPECT_THROW_MESSAGE(full.WriteBuffer(&byte, 1), EWriteError, "Stream write error");
}
