// Platform layer: data directory mapping, file unit semantics, time, sleep and
// floating-point control.
#include "platform.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "datadir.hpp"

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

using kav::BinUnit;
using kav::IO_EOF;
using kav::IO_OK;
using kav::test::read_file;
using kav::test::TempDataDir;

// Sets or unsets KAV_DATA_DIR for one scope and restores it after.
class EnvVar {
public:
    explicit EnvVar(const char* value) {
        if (const char* old = std::getenv("KAV_DATA_DIR")) {
            had_ = true;
            old_ = old;
        }
        if (value)
            setenv("KAV_DATA_DIR", value, 1);
        else
            unsetenv("KAV_DATA_DIR");
    }
    ~EnvVar() {
        if (had_)
            setenv("KAV_DATA_DIR", old_.c_str(), 1);
        else
            unsetenv("KAV_DATA_DIR");
    }

private:
    bool had_ = false;
    std::string old_;
};

std::vector<int32_t> read_ints(const std::string& path) {
    std::string bytes = read_file(path);
    std::vector<int32_t> v(bytes.size() / 4);
    std::memcpy(v.data(), bytes.data(), v.size() * 4);
    return v;
}

void write_ints(BinUnit& u, int32_t from, int32_t to) {
    for (int32_t i = from; i <= to; ++i) ASSERT_EQ(u.put(i), IO_OK);
}

// ---- data directory ---------------------------------------------------------------

TEST(DataPath, FixedFolderAndBareNamesMapIntoTheDataDirectory) {
    EnvVar env("/data/kav");
    EXPECT_EQ(kav::data_path("PAR1.DAT"), "/data/kav/PAR1.DAT");
    EXPECT_EQ(kav::data_path("C:\\KAV\\PAR1.DAT"), "/data/kav/PAR1.DAT");
    EXPECT_EQ(kav::data_path("c:\\kav\\1TAB20.DAT"), "/data/kav/1TAB20.DAT");
    // Names as the entry keeps them: blank padded to 46 characters.
    std::string padded = "C:\\KAV\\TAB0.DAT";
    padded.resize(46, ' ');
    EXPECT_EQ(kav::data_path(padded), "/data/kav/TAB0.DAT");
    EXPECT_EQ(kav::data_path("KAV.PNT   "), "/data/kav/KAV.PNT");
}

TEST(DataPath, DefaultFolderWhenTheVariableIsUnsetOrEmpty) {
    {
        EnvVar env(nullptr);
        EXPECT_EQ(kav::data_path("C:\\KAV\\PAR5.DAT"), "./KAV/PAR5.DAT");
    }
    {
        EnvVar env("");
        EXPECT_EQ(kav::data_path("PAR5.DAT"), "./KAV/PAR5.DAT");
    }
    {
        EnvVar env("/x/y/");
        EXPECT_EQ(kav::data_path("PAR5.DAT"), "/x/y/PAR5.DAT");
    }
}

TEST(DataPath, NeverCreatesTheFolder) {
    TempDataDir dir;
    std::string sub = dir.path() + "/absent";
    EnvVar env(sub.c_str());
    BinUnit u;
    EXPECT_GT(u.open(kav::data_path("C:\\KAV\\PAR1.DAT")), 0);
    EXPECT_FALSE(std::filesystem::exists(sub));
}

// ---- failed opens -------------------------------------------------------------------

void expect_unit_refuses_transfers(BinUnit& u) {
    int32_t v = 0;
    EXPECT_FALSE(u.is_open());
    EXPECT_GT(u.get(v), 0);
    EXPECT_GT(u.put(v), 0);
    EXPECT_GT(u.seek(0), 0);
}

TEST(BinUnitOpen, FailedOpenGivesStatusAndLaterTransfersFail) {
    TempDataDir dir;
    BinUnit u;
    // Data directory missing.
    EXPECT_GT(u.open(dir.file("missing/PAR1.DAT")), 0);
    expect_unit_refuses_transfers(u);
    // A "folder" that is a plain file.
    {
        BinUnit f;
        ASSERT_EQ(f.open(dir.file("plain")), IO_OK);
    }
    EXPECT_GT(u.open(dir.file("plain/PAR1.DAT")), 0);
    expect_unit_refuses_transfers(u);
    // A folder is not a file.
    EXPECT_NE(u.open(dir.path()), IO_OK);
    expect_unit_refuses_transfers(u);
    // A failed open closes what the unit had open.
    ASSERT_EQ(u.open(dir.file("A.DAT")), IO_OK);
    EXPECT_GT(u.open(dir.file("missing/B.DAT")), 0);
    expect_unit_refuses_transfers(u);
}

TEST(BinUnitOpen, ReadOnlyDirectoryRefusesNewFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDataDir dir;
    std::filesystem::create_directory(dir.file("ro"));
    std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec);
    BinUnit u;
    EXPECT_GT(u.open(dir.file("ro/PAR1.DAT")), 0);
    expect_unit_refuses_transfers(u);
    std::filesystem::permissions(dir.file("ro"), std::filesystem::perms::owner_all);
}

// ---- sequential units -----------------------------------------------------------------

TEST(BinUnitSequential, OpenCreatesAndKeepsContentUntilTheFirstWrite) {
    TempDataDir dir;
    const std::string path = dir.file("PAR2.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path), IO_OK);
    EXPECT_TRUE(kav::test::file_exists(path));
    write_ints(u, 1, 5);
    u.close();

    ASSERT_EQ(u.open(path), IO_OK);  // opens at the start, cuts nothing
    u.close();
    EXPECT_EQ(read_ints(path), (std::vector<int32_t>{1, 2, 3, 4, 5}));

    ASSERT_EQ(u.open(path), IO_OK);
    for (int32_t want = 1; want <= 5; ++want) {
        int32_t v = 0;
        ASSERT_EQ(u.get(v), IO_OK);
        EXPECT_EQ(v, want);
    }
    int32_t v = 0;
    EXPECT_EQ(u.get(v), IO_EOF);
}

TEST(BinUnitSequential, RewriteFromTheStartDropsTheOldTail) {
    TempDataDir dir;
    const std::string path = dir.file("PAR5.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path), IO_OK);
    write_ints(u, 1, 10);
    u.close();
    ASSERT_EQ(u.open(path), IO_OK);
    write_ints(u, 7, 8);
    u.close();
    EXPECT_EQ(read_ints(path), (std::vector<int32_t>{7, 8}));

    // Also after a seek back to the start on the open unit.
    ASSERT_EQ(u.open(path), IO_OK);
    write_ints(u, 1, 6);
    ASSERT_EQ(u.seek(0), IO_OK);
    write_ints(u, 9, 9);
    u.close();
    EXPECT_EQ(read_ints(path), (std::vector<int32_t>{9}));
}

TEST(BinUnitSequential, WritingBehindARecordJustReadReplacesTheRest) {
    TempDataDir dir;
    const std::string path = dir.file("PAR5.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path), IO_OK);
    ASSERT_EQ(u.put(int16_t{1}), IO_OK);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(u.put(37.0), IO_OK);
    u.close();

    // Read the flag word, append results behind it (the driver's pattern).
    ASSERT_EQ(u.open(path), IO_OK);
    int16_t flag = 0;
    ASSERT_EQ(u.get(flag), IO_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(u.tell(), 2);
    ASSERT_EQ(u.put(2.5), IO_OK);
    ASSERT_EQ(u.put(int16_t{3}), IO_OK);
    // Read back on the same unit after a seek.
    ASSERT_EQ(u.seek(2), IO_OK);
    double d = 0;
    ASSERT_EQ(u.get(d), IO_OK);
    EXPECT_EQ(d, 2.5);
    int16_t w = 0;
    ASSERT_EQ(u.get(w), IO_OK);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(u.get(w), IO_EOF);
    u.close();
    EXPECT_EQ(read_file(path).size(), 12u);
}

TEST(BinUnitSequential, ReadAfterWriteOnTheSameUnitSeesTheEnd) {
    TempDataDir dir;
    const std::string path = dir.file("X.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path), IO_OK);
    write_ints(u, 1, 3);
    int32_t v = 0;
    EXPECT_EQ(u.get(v), IO_EOF);  // the file ends behind what was written
    write_ints(u, 4, 4);           // and writing goes on there
    u.close();
    EXPECT_EQ(read_ints(path), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST(BinUnitSequential, ShortFileGivesEndOfFileOnTheReadThatPassesItsEnd) {
    TempDataDir dir;
    const std::string path = dir.file("1TAB0.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path), IO_OK);
    const int16_t words[3] = {4, 5, 6};
    ASSERT_EQ(u.put_n(words, 3), IO_OK);
    u.close();

    ASSERT_EQ(u.open(path), IO_OK);
    int32_t v = 0;
    EXPECT_EQ(u.get(v), IO_OK);
    int32_t w = 0;
    EXPECT_EQ(u.get(w), IO_EOF);  // two bytes left of four
    int16_t got = 0;
    std::memcpy(&got, &w, 2);
    EXPECT_EQ(got, 6);  // the bytes that were there
    EXPECT_EQ(u.get(w), IO_EOF);
    // Blocks.
    ASSERT_EQ(u.seek(0), IO_OK);
    int16_t block[4] = {};
    EXPECT_EQ(u.get_n(block, 3), IO_OK);
    ASSERT_EQ(u.seek(0), IO_OK);
    EXPECT_EQ(u.get_n(block, 4), IO_EOF);
    // An empty file.
    BinUnit e;
    ASSERT_EQ(e.open(dir.file("EMPTY.DAT")), IO_OK);
    EXPECT_EQ(e.get(v), IO_EOF);
}

TEST(BinUnitSequential, ClosedUnitRefusesTransfers) {
    TempDataDir dir;
    BinUnit u;
    expect_unit_refuses_transfers(u);
    ASSERT_EQ(u.open(dir.file("A.DAT")), IO_OK);
    u.close();
    expect_unit_refuses_transfers(u);
}

// ---- positioned units --------------------------------------------------------------------

TEST(BinUnitPositioned, WritesAndReadsAtByteOffsetsRoundTripWithoutCutting) {
    TempDataDir dir;
    const std::string path = dir.file("TAB20.DAT");
    BinUnit u;
    ASSERT_EQ(u.open(path, BinUnit::Mode::positioned), IO_OK);
    // Out of order, with a gap, and a 6-byte record at an odd offset.
    ASSERT_EQ(u.seek(400), IO_OK);
    ASSERT_EQ(u.put(4.0), IO_OK);
    ASSERT_EQ(u.put(5.0), IO_OK);
    ASSERT_EQ(u.seek(0), IO_OK);
    ASSERT_EQ(u.put(1.0), IO_OK);
    const int16_t rec[3] = {2, 3, 32767};
    ASSERT_EQ(u.seek(13), IO_OK);
    ASSERT_EQ(u.put_n(rec, 3), IO_OK);
    double d = 0;
    ASSERT_EQ(u.get(d), IO_OK);  // read straight after a write continues there
    EXPECT_EQ(d, 0.0);
    u.close();
    EXPECT_EQ(read_file(path).size(), 416u);

    ASSERT_EQ(u.open(path, BinUnit::Mode::positioned), IO_OK);
    ASSERT_EQ(u.seek(408), IO_OK);
    ASSERT_EQ(u.get(d), IO_OK);
    EXPECT_EQ(d, 5.0);
    EXPECT_EQ(u.get(d), IO_EOF);
    ASSERT_EQ(u.seek(13), IO_OK);
    int16_t back[3] = {};
    ASSERT_EQ(u.get_n(back, 3), IO_OK);
    EXPECT_EQ(back[0], 2);
    EXPECT_EQ(back[1], 3);
    EXPECT_EQ(back[2], 32767);
    ASSERT_EQ(u.put(int16_t{-1}), IO_OK);  // write after read overwrites in place
    ASSERT_EQ(u.seek(0), IO_OK);
    ASSERT_EQ(u.get(d), IO_OK);
    EXPECT_EQ(d, 1.0);
    ASSERT_EQ(u.seek(400), IO_OK);
    ASSERT_EQ(u.get(d), IO_OK);
    EXPECT_EQ(d, 4.0);
    ASSERT_EQ(u.seek(19), IO_OK);
    int16_t w = 0;
    ASSERT_EQ(u.get(w), IO_OK);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(u.seek(-1), EINVAL);
    u.close();
    EXPECT_EQ(read_file(path).size(), 416u);
}

// ---- time, sleep, floating-point control -------------------------------------------------

TEST(TimeOfDay, EightCharactersHhMmSs) {
    const std::string t = kav::time_of_day();
    ASSERT_EQ(t.size(), 8u);
    EXPECT_EQ(t[2], ':');
    EXPECT_EQ(t[5], ':');
    for (int k : {0, 1, 3, 4, 6, 7}) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(t[k])));
    EXPECT_LT(std::stoi(t.substr(0, 2)), 24);
    EXPECT_LT(std::stoi(t.substr(3, 2)), 60);
    EXPECT_LT(std::stoi(t.substr(6, 2)), 61);
}

int32_t g_slept = 0;
int g_sleeps = 0;
void record_sleep(int32_t ms) {
    g_slept += ms;
    ++g_sleeps;
}

TEST(Sleep, RealSleepWaitsAndTheSeamReplacesIt) {
    const auto t0 = std::chrono::steady_clock::now();
    kav::sleep_ms(20);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(20));

    kav::SleepFn old = kav::set_sleep_function(&record_sleep);
    EXPECT_NE(old, nullptr);
    kav::sleep_ms(500);
    kav::sleep_ms(0);
    kav::sleep_ms(-3);
    EXPECT_EQ(g_slept, 500);
    EXPECT_EQ(g_sleeps, 1);
    EXPECT_EQ(kav::set_sleep_function(nullptr), &record_sleep);
    kav::sleep_ms(1);
    EXPECT_EQ(g_sleeps, 1);
}

#if defined(__x86_64__)
TEST(FloatControl, FullPrecisionAndFlushDenormals) {
    const uint16_t saved = kav::fpu_control_word();
    kav::set_fpu_control_word(static_cast<uint16_t>(saved & ~0x300u));
    EXPECT_EQ(kav::fpu_control_word() & 0x300u, 0u);
    kav::fpu_full_precision();
    EXPECT_EQ(kav::fpu_control_word(), static_cast<uint16_t>(saved | 0x300u));
    kav::set_fpu_control_word(saved);

    const unsigned csr = _mm_getcsr();
    _mm_setcsr(csr & ~0x8040u);
    kav::sse_flush_denormals();
    EXPECT_EQ(_mm_getcsr() & 0x8040u, 0x8040u);
    volatile double tiny = 1e-310;  // a denormal: read as zero now
    volatile double scaled = tiny * 1.0;
    EXPECT_EQ(scaled, 0.0);
    _mm_setcsr(csr);
}
#endif

}  // namespace
