// The progress fields' exact texts, at the start, midway and past the sizes a signed 32-bit
// number can show.
#include <gtest/gtest.h>

#include "shell/filetransfer/file_send_model.h"
#include "shell/filetransfer/transfer_progress.h"

namespace ov::shell {
namespace {

TEST(TransferProgress, FieldsInTheirFormats) {
    TransferProgress start = FormatProgress({});
    EXPECT_EQ(start.name, "文件名:");
    EXPECT_EQ(start.file, "已经完成 0 byte中的 0  (0%)");
    EXPECT_EQ(start.total, "已经完成 0.00 MB中的 0.00  (0%)");
    EXPECT_EQ(start.elapsed, "时间 00:00:00");
    EXPECT_EQ(start.speed, "传输速度 0.00 K/s");
    EXPECT_EQ(start.remaining, "剩余时间 00:00:00");

    TransferProgress mid =
        FormatProgress({"a.bin", 8192, 4096, 3 * 1048576, 1048576, 90'061});  // 25:01:01
    EXPECT_EQ(mid.name, "文件名:a.bin");
    EXPECT_EQ(mid.file, "已经完成 8192 byte中的 4096  (50%)");
    EXPECT_EQ(mid.filePercent, 50);
    EXPECT_EQ(mid.total, "已经完成 3.00 MB中的 1.00  (33%)");
    EXPECT_EQ(mid.totalPercent, 33);
    EXPECT_EQ(mid.elapsed, "时间 01:01:01");  // hours modulo 24
    // 1048576 / 90061 = 11 bytes a second (whole), 2 MiB left.
    EXPECT_EQ(mid.speed, "传输速度 0.01 K/s");
    EXPECT_EQ(mid.remaining, "剩余时间 " + ClockText(2 * 1048576 / 11));

    TransferProgress big =
        FormatProgress({"b", 0xFFFFFFFFu, 0xF0000000u, 0xFFFFFFFFu, 0xF0000000u, 1});
    EXPECT_EQ(big.file, "已经完成 4294967295 byte中的 4026531840  (93%)");
    EXPECT_EQ(big.total, "已经完成 4096.00 MB中的 3840.00  (93%)");
    EXPECT_EQ(big.speed, "传输速度 3932160.00 K/s");
}

TEST(TransferProgress, OfferText) {
    EXPECT_EQ(OfferText("alice", "第一个.txt", 3, 1572864),
              "alice 将发送给你 第一个.txt 等 3 个文件,共计 1.50 MB");
}

}  // namespace
}  // namespace ov::shell
