#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "serial/ttyinfo.h"
#include "store/profile.h"
#include "store/store.h"
#include "tests/store/temp_folder.h"
#include "tests/store/test_profile_root.h"

namespace {

constexpr char kSection[] = "Tessmar_App";
constexpr char kKey[] = "DefaultBaudRate";
// A value nobody stores, to tell an absent key from any real one.
constexpr char kAbsent[] = "<absent>";

std::unique_ptr<TTYINFO> NewRecord() {
    auto tty = std::make_unique<TTYINFO>();
    SetInitialPortValues(tty.get());
    return tty;
}

std::optional<std::string> ProfileValue() {
    char buf[128];
    ProfileGetString(kSection, kKey, kAbsent, buf, sizeof buf);
    if (std::string(buf) == kAbsent) return std::nullopt;
    return std::string(buf);
}

void SetProfileValue(const std::optional<std::string>& v) {
    ProfileSetString(kSection, kKey, v ? v->c_str() : nullptr);
}

// "Port.txt" lies in the current folder: each test runs in a fresh one.
class PortFile : public ::testing::Test {
protected:
    void SetUp() override { FileInit(); }
    TempFolder tmp;
    InFolder here{tmp.path()};
};

// The profile is the user's: whatever value it held before is put back.
class BaudProfile : public ::testing::Test {
protected:
    void SetUp() override {
        UseTestProfileRoot(tmp.path());
        saved_ = ProfileValue();
    }
    void TearDown() override { SetProfileValue(saved_); }
    TempFolder tmp;
    std::optional<std::string> saved_;
};

}  // namespace

TEST_F(PortFile, RestoreReadsOneDigitOneToEight) {
    struct Case {
        const char* name;
        std::optional<std::string> content;
        int port;
    } cases[] = {
        {"missing", std::nullopt, 1},
        {"empty", std::string(), 1},
        {"3", std::string("3"), 3},
        {"8 CR LF", std::string("8\r\n"), 8},
        {"nine", std::string("9"), 1},
        {"zero", std::string("0"), 1},
        {"letter", std::string("x5"), 1},
        {"high byte", std::string("\xB1"), 1},
    };
    for (const Case& c : cases) {
        std::filesystem::remove("Port.txt");
        if (c.content) WriteFile("Port.txt", *c.content);
        auto tty = NewRecord();
        RestorePortNumber(tty.get());
        EXPECT_EQ(tty->port_number, c.port) << c.name;
        // Any file left open would stay open behind the next caller.
        EXPECT_EQ(FileWrite("x", 1), 1) << c.name;
    }
}

TEST_F(PortFile, StoreRewritesTheDigitInPlaceOrCreatesAOneByteFile) {
    auto tty = NewRecord();
    tty->port_number = 3;
    WriteFile("Port.txt", "5\r\n");
    StorePortNumber(tty.get());
    EXPECT_EQ(ReadFile("Port.txt"), "3\r\n");

    std::filesystem::remove("Port.txt");
    StorePortNumber(tty.get());
    EXPECT_EQ(ReadFile("Port.txt"), "3");

    auto back = NewRecord();
    RestorePortNumber(back.get());
    EXPECT_EQ(back->port_number, 3);

    // A number without a digit of its own is not stored at all.
    for (uint8_t bad : {0, 9, 12, 255}) {
        tty->port_number = bad;
        StorePortNumber(tty.get());
        EXPECT_EQ(ReadFile("Port.txt"), "3") << int(bad);
    }
}

TEST_F(BaudProfile, RestoreTakesTheFirstRowThatPrefixesTheValue) {
    struct Case {
        std::optional<std::string> value;
        uint32_t baud;
    } cases[] = {
        {std::string("3000"), 300},     {std::string("1100"), 110},       {std::string("57600"), 56000},
        {std::string(""), 56000},       {std::nullopt, 56000},            {std::string("9600"), 9600},
        {std::string("128000"), 128000}, {std::string("256000"), 256000}, {std::string("14400"), 14400},
        {std::string("19200baud"), 19200}, {std::string("fast"), 56000},  {std::string("2400"), 2400},
    };
    for (const Case& c : cases) {
        SetProfileValue(c.value);
        auto tty = NewRecord();
        RestoreBaudRate(tty.get());
        EXPECT_EQ(tty->baud_rate, c.baud) << (c.value ? *c.value : "absent");
    }
}

TEST_F(BaudProfile, StoreWritesOnlyRatesOfTheTable) {
    const uint32_t rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 128000, 256000};
    for (uint32_t rate : rates) {
        auto tty = NewRecord();
        tty->baud_rate = rate;
        StoreBaudRate(tty.get());
        EXPECT_EQ(ProfileValue(), std::to_string(rate));
        auto back = NewRecord();
        RestoreBaudRate(back.get());
        EXPECT_EQ(back->baud_rate, rate);
    }
    SetProfileValue(std::string("38400"));
    for (uint32_t rate : {57600u, 115200u, 9601u}) {
        auto tty = NewRecord();
        tty->baud_rate = rate;
        StoreBaudRate(tty.get());
        EXPECT_EQ(ProfileValue(), std::string("38400")) << rate;
    }
}
