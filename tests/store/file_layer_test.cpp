#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "store/store.h"
#include "tests/store/temp_folder.h"

namespace {

class FileLayer : public ::testing::Test {
protected:
    void SetUp() override { FileInit(); }
    void TearDown() override { FileClose(); }
    TempFolder tmp;
};

}  // namespace

TEST_F(FileLayer, EveryOperationWithoutAnOpenFileSaysSo) {
    char buf[4];
    int32_t size = -7;
    EXPECT_EQ(FileRead(buf, 1), 1);
    EXPECT_EQ(FileWrite("x", 1), 1);
    EXPECT_EQ(FileSeekEnd(), 1);
    EXPECT_EQ(FileSeekStart(0), 1);
    EXPECT_EQ(FileMeasure(&size), 1);
    EXPECT_EQ(size, -7);
    FileClose();
    FileClose();
}

TEST_F(FileLayer, OpenModes) {
    const std::string missing = tmp.file("missing.txt");
    EXPECT_EQ(FileOpenRead(missing.c_str()), 1);
    EXPECT_EQ(FileOpenWrite(missing.c_str()), 1);
    EXPECT_FALSE(std::filesystem::exists(missing)) << "opening for writing must never create";
    EXPECT_EQ(FileWrite("x", 1), 1) << "a failed open leaves no file open";

    const std::string f = tmp.file("data.bin");
    WriteFile(f, "abcdef");
    ASSERT_EQ(FileOpenWrite(f.c_str()), 0);
    EXPECT_EQ(FileWrite("XY", 2), 0);
    FileClose();
    EXPECT_EQ(ReadFile(f), "XYcdef") << "in place from offset 0, not truncated";

    ASSERT_EQ(FileCreate(f.c_str()), 0);
    FileClose();
    EXPECT_EQ(ReadFile(f), "") << "create empties an existing file";

    EXPECT_EQ(FileCreate(tmp.file("no/such/folder/x").c_str()), 1);
}

TEST_F(FileLayer, ReadsWritesAndSeeksAreRawAndExact) {
    const std::string f = tmp.file("raw.bin");
    const std::string bytes("1\r\n\x1A\0\n\xFF", 7);
    ASSERT_EQ(FileCreate(f.c_str()), 0);
    EXPECT_EQ(FileWrite(bytes.data(), 7), 0);
    FileClose();
    EXPECT_EQ(ReadFile(f), bytes) << "no newline translation";

    char buf[16];
    ASSERT_EQ(FileOpenRead(f.c_str()), 0);
    EXPECT_EQ(FileRead(buf, 4), 0);
    EXPECT_EQ(std::string(buf, 4), bytes.substr(0, 4));
    EXPECT_EQ(FileRead(buf, 4), 2) << "only 3 bytes left";
    EXPECT_EQ(FileSeekStart(3), 0);
    EXPECT_EQ(FileRead(buf, 4), 0);
    EXPECT_EQ(std::string(buf, 4), bytes.substr(3, 4));
    EXPECT_EQ(FileSeekStart(-1), 2);
    int32_t size = 0;
    EXPECT_EQ(FileMeasure(&size), 0);
    EXPECT_EQ(size, 7);
    EXPECT_EQ(FileRead(buf, 1), 2) << "measuring leaves the position at the end";
    EXPECT_EQ(FileRead(buf, 0), 0);
    FileClose();

    ASSERT_EQ(FileOpenWrite(f.c_str()), 0);
    EXPECT_EQ(FileSeekEnd(), 0);
    EXPECT_EQ(FileWrite("end", 3), 0);
    FileClose();
    EXPECT_EQ(ReadFile(f), bytes + "end");
}

TEST_F(FileLayer, OpeningASecondFileClosesTheFirst) {
    const std::string a = tmp.file("a"), b = tmp.file("b");
    WriteFile(a, "first");
    WriteFile(b, "second");
    ASSERT_EQ(FileOpenWrite(a.c_str()), 0);
    ASSERT_EQ(FileOpenRead(b.c_str()), 0);
    char buf[6];
    EXPECT_EQ(FileRead(buf, 6), 0);
    EXPECT_EQ(std::string(buf, 6), "second");
    FileClose();
    // Windows refuses to remove a file that is still open somewhere.
    std::error_code ec;
    EXPECT_TRUE(std::filesystem::remove(a, ec)) << ec.message();
}

TEST_F(FileLayer, ExistsForFilesAndFolders) {
    WriteFile(tmp.file("f"), "");
    EXPECT_EQ(FileExists(tmp.file("f").c_str()), 0);
    EXPECT_EQ(FileExists(tmp.path().string().c_str()), 0);
    EXPECT_EQ(FileExists(tmp.file("nothing").c_str()), 1);
    EXPECT_EQ(FileExists(""), 1);
    EXPECT_EQ(FileExists(nullptr), 1);
}

TEST(TraceQueue, PopOnAnEmptyQueueGivesZeroAndChangesNothing) {
    TraceQueueReset();
    EXPECT_EQ(TraceCount(), 0);
    EXPECT_EQ(TracePop(), 0);
    EXPECT_EQ(TracePop(), 0);
    EXPECT_EQ(TraceCount(), 0);
}
