// The list of a batch: checked whole, one error for each bad line, before
// anything may be sent.
#include "batch_file.h"

#include "files.h"

#include <gtest/gtest.h>

using namespace qrv;
using Strings = std::vector<std::string>;

TEST(BatchFile, OneErrorForEachBadLine)
{
    const struct {
        std::string bytes;
        std::size_t changes;
        Strings errors;
    } rows[] = {
        // clang-format off
        {"\xEF\xBB\xBF# cabinet 4\r\n1 11\r\n2,12 # left\r\n\r\n3\t13\r\n", 3, {}},
        {"1 5\n2 5\n", 1, {"第2行：新ID 5 已在第1行使用"}},
        {"1 5\n1 6\n", 1, {"第2行：原ID 1 已在第1行更改"}},
        {"1 2\n2 3\n", 2, {"第1行：新ID 2 是第2行的原ID"}},
        // As a Chinese keyboard types it, blanks about the comma, an order that works line by line.
        {"１７，２７\n18 ,28\n19 , 29\n20、30\xE3\x80\x80＃ cabinet\n2 3\n1 2\n", 6, {}},
        {"1 2\n2 3\nx\n4 5,\n", 2, {"第1行：新ID 2 是第2行的原ID", "第3行：应为“原ID 新ID”，ID为1~247的整数",
                                    "第4行：应为“原ID 新ID”，ID为1~247的整数"}},
        {std::string("\xFF\xFE" "1\0 \0" "2\0\r\0\n\0" "\x13\xFF\x0C\xFF" "4\0", 18), 2, {}}, // UTF-16 LE: 1 2, ３，4
        {std::string("\xFE\xFF" "\0" "5\0,\0" "6", 8), 1, {}},
        {std::string("\xFF\xFE" "1\0\x00\xDC", 6), 0, {"不是文本文件"}}, {"\xFF\xFE" "1", 0, {"不是文本文件"}},
        {"6 6\n7 8", 1, {"第1行：新ID与原ID相同"}},
        {"1 2\n3 x\n0 4\n", 1, {"第2行：应为“原ID 新ID”，ID为1~247的整数", "第3行：应为“原ID 新ID”，ID为1~247的整数"}},
        {std::string("1 2\n\0", 5), 0, {"不是文本文件"}},
        {"# nothing\n", 0, {"文件中没有要更改的ID"}},
        // clang-format on
    };
    for (const auto& row : rows) {
        const cli::BatchFile batch = cli::parse_batch(row.bytes);
        EXPECT_EQ(batch.changes.size(), row.changes) << row.bytes;
        EXPECT_EQ(batch.errors, row.errors) << row.bytes;
    }
}

TEST(BatchFile, FileThatCannotBeReadSaysWhy)
{
    test::TempDir dir;
    test::write_file(dir.file("big.txt"), std::string((1 << 20) + 1, '1')); // 1 MiB and a byte
    const std::pair<std::string, std::string> rows[] = {
        {dir.file("none.txt"), "文件不存在"},
        {dir.path(), "不是普通文件"},
        {dir.file("big.txt"), "文件过大（超过1 MiB）"},
    };
    for (const auto& [path, why] : rows)
        EXPECT_EQ(cli::read_batch_file(path).error, why) << path;
}
