#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "resources/resource_ids.h"
#include "store/paths.h"
#include "store/profile.h"
#include "store/store.h"
#include "tests/store/temp_folder.h"
#include "tests/support/host_headless.h"

namespace {

class DriveRoot : public ::testing::Test {
protected:
    void SetUp() override {
        headless::Reset();
        FileInit();
        StoreSetDriveRoot(tmp.path().string().c_str());
        trace = tmp.file("VcProjects/tessmar/RdFlash.txt");
        ini = tmp.file("windows/win.ini");
    }
    void TearDown() override { StoreSetDriveRoot(nullptr); }

    void Trace(const std::string& text) { TraceLogAppend(text.c_str(), static_cast<int32_t>(text.size())); }

    TempFolder tmp;
    std::string trace;
    std::string ini;
};

}  // namespace

TEST_F(DriveRoot, FilesLieWhereTheyWouldOnDriveC) {
    EXPECT_EQ(std::string(TraceFilePath()), trace);
    EXPECT_EQ(std::string(ProfileFilePath()), ini);
    EXPECT_STREQ(PortFilePath(), "Port.txt");

    StoreSetDriveRoot(nullptr);
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        EXPECT_EQ(std::string(TraceFilePath()), std::string(home) + "/.tessmar/drive_c/VcProjects/tessmar/RdFlash.txt");
    }
}

TEST_F(DriveRoot, WithoutTheTraceFileNothingIsEverWritten) {
    headless::SetPane(EDIT_DEST, "1234567");
    SaveDestination();
    Trace("ST_START\n");
    RestoreDestination();
    EXPECT_EQ(headless::Pane(EDIT_DEST), "1234567");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path())) << "not even a folder is made";
}

TEST_F(DriveRoot, AnEmptyTraceFileFillsFromOffsetZero) {
    WriteFile(trace, "");
    Trace("ST_START\n");
    Trace("ST_RECV\n");
    Trace("Start");
    EXPECT_EQ(ReadFile(trace), "ST_START\nST_RECV\nStart");

    // Without a saved Destination the next start shows the trace's first seven.
    RestoreDestination();
    EXPECT_EQ(headless::Pane(EDIT_DEST), "ST_STAR");
    EXPECT_EQ(FileWrite("x", 1), 1) << "closed again";
}

TEST_F(DriveRoot, DestinationSavedOnlyWithSevenOrMoreCharacters) {
    struct Case {
        const char* box;
        const char* file_after;
    } cases[] = {
        {"123456", "ABCDEFGtrace\n"},
        {"", "ABCDEFGtrace\n"},
        {"1234567", "1234567trace\n"},
        {"123456789", "1234567trace\n"},
        {"12345678901234", "1234567trace\n"},
    };
    for (const Case& c : cases) {
        WriteFile(trace, "ABCDEFGtrace\n");
        headless::SetPane(EDIT_DEST, c.box);
        SaveDestination();
        EXPECT_EQ(ReadFile(trace), c.file_after) << c.box;
    }
}

TEST_F(DriveRoot, DestinationRestoredOnlyFromSevenBytes) {
    struct Case {
        const char* file;
        const char* box_after;
    } cases[] = {{"XYZ1234rest", "XYZ1234"}, {"XYZ1234", "XYZ1234"}, {"XYZ123", "kept"}, {"", "kept"}};
    for (const Case& c : cases) {
        WriteFile(trace, c.file);
        headless::SetPane(EDIT_DEST, "kept");
        RestoreDestination();
        EXPECT_EQ(headless::Pane(EDIT_DEST), c.box_after) << c.file;
    }
}

TEST_F(DriveRoot, ProfileIsAnIniFileWhoseOtherContentStaysIntact) {
    const std::string before =
        "; written by hand\r\n"
        "[windows]\r\n"
        "load=\r\n"
        "\r\n"
        "[tessmar_app]\r\n"
        "Other = kept\r\n"
        "defaultbaudrate = \"9600\"\r\n"
        "\r\n"
        "[Later]\r\n"
        "DefaultBaudRate=1\r\n";
    WriteFile(ini, before);

    char buf[98];
    EXPECT_EQ(ProfileGetString("Tessmar_App", "DefaultBaudRate", "57600", buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "9600") << "names compare without case; blanks and quotes are not part of the value";

    ASSERT_TRUE(ProfileSetString("Tessmar_App", "DefaultBaudRate", "38400"));
    std::string after = before;
    after.replace(after.find("defaultbaudrate = \"9600\""), 24, "DefaultBaudRate=38400");
    EXPECT_EQ(ReadFile(ini), after);

    ASSERT_TRUE(ProfileSetString("Tessmar_App", "Added", "1"));
    after.insert(after.find("\r\n\r\n[Later]") + 2, "Added=1\r\n");
    EXPECT_EQ(ReadFile(ini), after);

    ASSERT_TRUE(ProfileSetString("Tessmar_App", "DefaultBaudRate", nullptr));
    after.erase(after.find("DefaultBaudRate=38400\r\n"), 23);
    EXPECT_EQ(ReadFile(ini), after);
    EXPECT_EQ(ProfileGetString("Tessmar_App", "DefaultBaudRate", "57600", buf, sizeof buf), 5);
    EXPECT_STREQ(buf, "57600") << "the same key in another section is not read";

    ASSERT_TRUE(ProfileSetString("New", "k", "v"));
    EXPECT_EQ(ReadFile(ini), after + "[New]\r\nk=v\r\n");
}

TEST_F(DriveRoot, ProfileMadeWhenMissingAndReadBackTruncated) {
    char buf[4];
    EXPECT_EQ(ProfileGetString("Tessmar_App", "DefaultBaudRate", "57600", buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "576");
    EXPECT_FALSE(std::filesystem::exists(ini)) << "reading creates nothing";

    ASSERT_TRUE(ProfileSetString("Tessmar_App", "DefaultBaudRate", ""));
    EXPECT_EQ(ReadFile(ini), "[Tessmar_App]\r\nDefaultBaudRate=\r\n");
    EXPECT_EQ(ProfileGetString("Tessmar_App", "DefaultBaudRate", "57600", buf, sizeof buf), 0);

    // A file with LF line ends and no final line end keeps its style.
    WriteFile(ini, "[a]\nx=1\n[Tessmar_App]\nDefaultBaudRate=110");
    ASSERT_TRUE(ProfileSetString("Tessmar_App", "Second", "2"));
    EXPECT_EQ(ReadFile(ini), "[a]\nx=1\n[Tessmar_App]\nDefaultBaudRate=110\nSecond=2\n");
}
