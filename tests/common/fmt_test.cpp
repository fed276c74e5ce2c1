// Print-file formatter and print unit: the system's own lines byte for byte,
// field editing at its edges, format control (groups, reversion, stops) and
// the file behaviour of the print unit.
#include "fmt.hpp"
#include "lines.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "child.hpp"
#include "datadir.hpp"

namespace {

using kav::fmt::Format;
using kav::fmt::Item;
using kav::fmt::PrintUnit;
namespace lines = kav::fmt::lines;

std::string render(std::string_view fmt, const std::vector<Item>& items) {
    return Format(fmt).render(std::span<const Item>(items));
}

std::string blanks(size_t n) { return std::string(n, ' '); }

// ------------------------------------------------------------ shared lines

TEST(FmtLines, SharedLinesOfTheSystem) {
    EXPECT_EQ(lines::banner3().render({int32_t{1}}), "\nBESM ELLAH EL RAHMAN EL RAHIM  1\n\n");
    EXPECT_EQ(lines::banner5().render({int16_t{37}}), "\nBESM ELLAH EL RAHMAN EL RAHIM   37\n\n");
    // Without a number: the 29-character text alone, after an empty line.
    EXPECT_EQ(lines::banner3().render({}), "\nBESM ELLAH EL RAHMAN EL RAHIM\n");
    EXPECT_EQ(lines::error_line().render({int32_t{3}, int32_t{36}}), "\nPROBLEM   3 ERROR CODE 36\n\n");
    EXPECT_EQ(lines::time_lines().render({"08:15:30", "09:02:07"}), "\n    08:15:30    09:02:07\n\n");
    EXPECT_EQ(lines::status_line().render({int32_t{2}}), blanks(12) + "2\n");
    EXPECT_EQ(lines::input_header().render({int32_t{3}, int32_t{2}}),
              "NO OF SUBPROBLEMS, AND NO OF SENSITIVITY LEVELS\n\n" + blanks(16) + "3" + blanks(16) +
                  "2\n");
}

TEST(FmtLines, IterationLineHasNoTrailingEmptyLine) {
    std::string s = render("(/7HPROBLEM,I4,13H ITERATION NO,I6)", {int32_t{2}, int32_t{15}});
    EXPECT_EQ(s, "\nPROBLEM   2 ITERATION NO    15\n");
    EXPECT_EQ(s.size(), 1u + 30u + 1u);
}

TEST(FmtLines, StatusLineRevertsToStartEightPerLine) {
    std::vector<Item> items;
    for (int32_t k = 1; k <= 10; ++k) items.emplace_back(k);
    std::string line1;
    for (int k = 1; k <= 8; ++k) line1 += blanks(12) + std::to_string(k);
    EXPECT_EQ(render("(I13, 7I13)", items), line1 + "\n" + blanks(12) + "9" + blanks(11) + "10\n");
    // Exactly eight items end at the final ")": one line only.
    items.erase(items.begin() + 8, items.end());
    EXPECT_EQ(render("(I13, 7I13)", items), line1 + "\n");
    // No items: an empty line.
    EXPECT_EQ(render("(I13, 7I13)", {}), "\n");
}

// ------------------------------------------------------------ field editing

TEST(FmtFields, Integers) {
    EXPECT_EQ(kav::fmt::edit_I(100000, 4), "****");
    EXPECT_EQ(kav::fmt::edit_I(-5, 3), " -5");
    EXPECT_EQ(kav::fmt::edit_I(-100, 3), "***");  // the sign needs a column
    EXPECT_EQ(kav::fmt::edit_I(999, 3), "999");
    EXPECT_EQ(kav::fmt::edit_I(0, 2), " 0");
    EXPECT_EQ(kav::fmt::edit_I(std::numeric_limits<int64_t>::min(), 20), "-9223372036854775808");
    EXPECT_EQ(kav::fmt::edit_I(std::numeric_limits<int64_t>::min(), 19), std::string(19, '*'));
    EXPECT_EQ(render("(I4,I3,I2)", {int16_t{-32768}, int32_t{-5}, int64_t{7}}), "**** -5 7\n");
}

TEST(FmtFields, FixedPoint) {
    using kav::fmt::edit_F;
    EXPECT_EQ(edit_F(123456789012.5, 20, 7), "123456789012.5000000");  // exactly 20
    EXPECT_EQ(edit_F(1234567890123.0, 20, 7), std::string(20, '*'));
    EXPECT_EQ(edit_F(1e300, 20, 7), std::string(20, '*'));
    EXPECT_EQ(edit_F(-12345678901.25, 20, 7), "-12345678901.2500000");
    EXPECT_EQ(edit_F(-123456789012.5, 20, 7), std::string(20, '*'));
    EXPECT_EQ(edit_F(-42.125, 20, 7), "         -42.1250000");
    // Below 1: "0." while it fits, the zero goes first when the width is short.
    EXPECT_EQ(edit_F(0.5, 20, 7), "           0.5000000");
    EXPECT_EQ(edit_F(-0.25, 20, 7), "          -0.2500000");
    EXPECT_EQ(edit_F(1.0 / 3.0, 20, 7), "           0.3333333");
    EXPECT_EQ(edit_F(-0.25, 9, 7), "-.2500000");
    EXPECT_EQ(edit_F(0.25, 8, 7), ".2500000");
    EXPECT_EQ(edit_F(-0.25, 8, 7), "********");
    EXPECT_EQ(edit_F(0.0, 20, 7), "           0.0000000");
    // Rounding carries into the integer part.
    EXPECT_EQ(edit_F(9.99999999, 20, 7), "          10.0000000");
    EXPECT_EQ(edit_F(3.0, 5, 0), "   3.");
}

TEST(FmtFields, ExponentForm) {
    using kav::fmt::edit_D;
    EXPECT_EQ(edit_D(1234.5, 13, 3), "    0.123D+04");
    EXPECT_EQ(edit_D(-0.5, 13, 3), "   -0.500D+00");
    EXPECT_EQ(edit_D(0.0, 13, 3), "    0.000D+00");
    EXPECT_EQ(edit_D(1.0, 13, 5), "  0.10000D+01");
    EXPECT_EQ(edit_D(0.012345, 10, 3), " 0.123D-01");
    EXPECT_EQ(edit_D(9.9996, 10, 3), " 0.100D+02");  // rounding carries into the exponent
    EXPECT_EQ(edit_D(-1234.5, 10, 3), "-0.123D+04");
    EXPECT_EQ(edit_D(-1234.5, 9, 3), "*********");
    // Exponents beyond 99 (both signs): the letter gives way to a third digit.
    EXPECT_EQ(edit_D(1e98, 10, 3), " 0.100D+99");
    EXPECT_EQ(edit_D(1e99, 10, 3), " 0.100+100");
    EXPECT_EQ(edit_D(1.5e150, 10, 3), " 0.150+151");
    EXPECT_EQ(edit_D(-2.5e-120, 13, 3), "   -0.250-119");
    EXPECT_EQ(edit_D(1e-100, 10, 3), " 0.100D-99");
    EXPECT_EQ(edit_D(1e-101, 10, 3), " 0.100-100");
    EXPECT_EQ(edit_D(-1.7976931348623157e308, 10, 3), "-0.180+309");
    EXPECT_EQ(edit_D(4.9406564584124654e-324, 10, 3), " 0.494-323");
}

// The echo fields D13.3 and D13.5 have a fast path; it must print what the
// general edit prints, for every kind of value it may meet.
TEST(FmtFields, EchoFieldFastPathMatchesGeneralEdit) {
    std::mt19937_64 g(20261210);
    std::vector<double> vs = {0.0, -0.0, 9995.0, -9995.0, 99950.0, 999950.0, 0.99951171875, 9.99951171875,
                              0.0009765625, 1e22, 9.999e22, 0x1p62, 0x1p63, 0x1p64, -0x1.fffffffffffffp62,
                              std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::denorm_min(), 1e-310, -2.5e-320, 1e99, 1e-101,
                              INFINITY, -INFINITY, std::nan("")};
    for (int k = 0; k < 200000; ++k) {
        const uint64_t r = g();
        switch (k % 5) {
        case 0:  // any bit pattern: huge, tiny, denormal, NaN
            vs.push_back(std::bit_cast<double>(r));
            break;
        case 1:  // short binary fractions over many magnitudes
            vs.push_back(std::ldexp(static_cast<double>(static_cast<int64_t>(r % 200001) - 100000),
                                    static_cast<int>(r >> 40) % 90 - 60));
            break;
        case 2:  // just below and at powers of ten, rounding up to the next
        {
            const double p10 = std::pow(10.0, static_cast<int>(r % 40) - 20);
            const double x = p10 * (1.0 - std::ldexp(1.0, -static_cast<int>(r >> 32) % 30 - 1));
            vs.push_back((r >> 63) ? -x : x);
            break;
        }
        case 3:  // integers, up to and past 2^63
            vs.push_back(static_cast<double>(r >> (r % 64)));
            break;
        default:  // decimals with few digits (not binary fractions)
            vs.push_back(static_cast<double>(static_cast<int64_t>(r % 20001) - 10000) /
                         std::pow(10.0, static_cast<int>(r >> 50) % 12));
        }
    }
    for (const double v : vs)
        for (const int d : {3, 5})
            ASSERT_EQ(kav::fmt::edit_D(v, 13, d), kav::fmt::detail::edit_D_general(v, 13, d))
                << std::hexfloat << v << " D13." << d;
}

TEST(FmtFields, TiesNegativeZeroAndSpecials) {
    using kav::fmt::edit_D;
    using kav::fmt::edit_F;
    // Exact binary ties go to the even digit, in F and D alike.
    EXPECT_EQ(edit_F(0.125, 5, 2), " 0.12");
    EXPECT_EQ(edit_F(0.375, 5, 2), " 0.38");
    EXPECT_EQ(edit_D(0.125, 9, 2), " 0.12D+00");
    EXPECT_EQ(edit_D(0.375, 9, 2), " 0.38D+00");
    // A value printed as zero has no minus sign.
    EXPECT_EQ(edit_F(-1e-9, 20, 7), "           0.0000000");
    EXPECT_EQ(edit_F(-0.0, 6, 3), " 0.000");
    EXPECT_EQ(edit_D(-0.0, 13, 3), "    0.000D+00");
    EXPECT_EQ(edit_F(std::nan(""), 10, 3), "       NaN");
    EXPECT_EQ(edit_D(-INFINITY, 13, 3), "    -Infinity");
    EXPECT_EQ(edit_F(INFINITY, 5, 1), "  Inf");
    EXPECT_EQ(edit_F(INFINITY, 2, 1), "**");
}

TEST(FmtFields, TextAndMismatchedItems) {
    EXPECT_EQ(kav::fmt::edit_A("XY", 3), " XY");
    EXPECT_EQ(kav::fmt::edit_A("ABCDEFGHIJKLMNOP", 12), "ABCDEFGHIJKL");
    EXPECT_EQ(kav::fmt::edit_A("", 2), "  ");
    // Text under I, a real under I or A: asterisks; an integer under D: its value.
    EXPECT_EQ(render("(I3,I3,A2,D10.3)", {"AB", 1.5, 2.0, int32_t{5}}), "******** 0.500D+01\n");
}

// ------------------------------------------------------------ format control

TEST(FmtControl, TenPerLineWithBlankLeadOnFurtherLines) {
    const Format f("(10D13.3/(1H , 10D13.3))");
    std::vector<Item> items;
    for (int k = 1; k <= 21; ++k) items.emplace_back(static_cast<double>(k));
    auto d = [](int k) { return kav::fmt::edit_D(k, 13, 3); };
    std::string nine;
    for (int k = 1; k <= 9; ++k) nine += d(k);
    EXPECT_EQ(nine.substr(0, 26), "    0.100D+01    0.200D+01");
    EXPECT_EQ(f.render(std::span<const Item>(items.data(), 9)), nine + "\n");
    EXPECT_EQ(f.render(std::span<const Item>(items.data(), 11)), nine + d(10) + "\n " + d(11) + "\n");
    std::string line2 = " ";
    for (int k = 11; k <= 20; ++k) line2 += d(k);
    EXPECT_EQ(f.render(std::span<const Item>(items.data(), 21)),
              nine + d(10) + "\n" + line2 + "\n " + d(21) + "\n");
    // Exactly ten: "/" and the literal are met before the next field, so a
    // second line holding the one blank follows.
    EXPECT_EQ(f.render(std::span<const Item>(items.data(), 10)), nine + d(10) + "\n \n");
}

TEST(FmtControl, EightPerLineFiveDigits) {
    std::vector<Item> items(17, Item(1.0));
    std::string eight;
    for (int k = 0; k < 8; ++k) eight += "  0.10000D+01";
    EXPECT_EQ(render("(8D13.5/(1H , 8D13.5))", items),
              eight + "\n " + eight + "\n   0.10000D+01\n");
}

TEST(FmtControl, RepeatedGroupRevertsWithItsCount) {
    std::vector<Item> items;
    for (int32_t k = 1; k <= 7; ++k) {
        items.emplace_back(k);
        items.emplace_back(static_cast<double>(k));
    }
    std::string line;
    for (int k = 1; k <= 6; ++k) line += " " + std::to_string(k) + " 0." + std::to_string(k) + "00D+01";
    EXPECT_EQ(line.size(), 72u);
    EXPECT_EQ(render("(6(I2,D10.3))", std::vector<Item>(items.begin(), items.begin() + 12)), line + "\n");
    // Thirteen items: the group starts again on a new line; stop at D10.3.
    EXPECT_EQ(render("(6(I2,D10.3))", std::vector<Item>(items.begin(), items.begin() + 13)),
              line + "\n 7\n");
    // Literals after the last item are written up to the next data descriptor.
    EXPECT_EQ(render("(2(I2,1H;))", {int32_t{1}, int32_t{2}, int32_t{3}, int32_t{4}, int32_t{5}}),
              " 1; 2;\n 3; 4;\n 5;\n");
}

TEST(FmtControl, ReversionSkipsWhatPrecedesTheLastGroup) {
    std::vector<Item> reals(9, Item(0.5));
    std::string seven;
    for (int k = 0; k < 7; ++k) seven += " 0.500D+00";
    EXPECT_EQ(render("(/3X,(7D10.3))", reals), "\n   " + seven + "\n 0.500D+00 0.500D+00\n");

    std::vector<Item> ints;
    for (int32_t k = 1; k <= 8; ++k) ints.emplace_back(k);
    std::string ints7;
    for (int k = 1; k <= 7; ++k) ints7 += blanks(9) + std::to_string(k);
    EXPECT_EQ(render("(/3HI =,(7I10))", ints), "\nI =" + ints7 + "\n" + blanks(9) + "8\n");

    // Nested groups: the reversion goes to the outermost group ending last.
    std::vector<Item> six;
    for (int32_t k = 1; k <= 6; ++k) six.emplace_back(k);
    EXPECT_EQ(render("(I1,(I2,(I3)),I4)", six), "1 2  3   4\n 5  6\n");
}

TEST(FmtControl, RepeatedDescriptorWithoutGroupRevertsToStart) {
    std::vector<Item> items;
    std::string line1, line2;
    for (int32_t k = 1; k <= 30; ++k) {
        items.emplace_back(k);
        std::string f = kav::fmt::edit_I(k, 3);
        (k <= 24 ? line1 : line2) += f;
    }
    EXPECT_EQ(line1.substr(0, 9), "  1  2  3");
    EXPECT_EQ(render("(24I3)", items), line1 + "\n" + line2 + "\n");
}

TEST(FmtControl, SlashesBlanksAndEmptyLists) {
    EXPECT_EQ(render("(/16HCONSTRAINT TYPES/)", {}), "\nCONSTRAINT TYPES\n\n");
    // Surplus items under a format without data descriptors: written once.
    EXPECT_EQ(render("(/16HCONSTRAINT TYPES/)", {int32_t{1}}), "\nCONSTRAINT TYPES\n\n");
    EXPECT_EQ(render("(114X,I6)", {int32_t{5}}), blanks(119) + "5\n");
    EXPECT_EQ(render("(//I2//)", {int32_t{5}}), "\n\n 5\n\n\n");
    // Blanks outside literals are ignored, commas are optional before "/"
    // and ")", a literal keeps its blanks and commas.
    EXPECT_EQ(render(" ( I 3 ,/, 2X ,4H*, *, I2 , ) ", {int32_t{5}, int32_t{6}}), "  5\n  *, * 6\n");
    // A format in a blank-padded buffer.
    std::string padded = "(3HN =,I4)";
    padded.resize(113, ' ');
    EXPECT_EQ(render(padded, {int32_t{12}}), "N =  12\n");
    // An empty list writes up to the first data descriptor.
    EXPECT_EQ(render("(/2A12/)", {}), "\n\n");
    EXPECT_EQ(render("(5HA B C,I3,5HD E F)", {}), "A B C\n");
}

TEST(FmtControl, MalformedFormatsNeverCrash) {
    EXPECT_EQ(render("(I3", {int32_t{1}, int32_t{2}}), "  1\n  2\n");
    EXPECT_EQ(render("(5HAB", {}), "AB\n");
    EXPECT_EQ(render("", {int32_t{1}}), "\n");
    EXPECT_EQ(render("(I3,Q5,I3)", {int32_t{1}, int32_t{2}}), "  1\n  2\n");
    EXPECT_EQ(render("(I3,(1HX))", {int32_t{1}, int32_t{2}}), "  1X\n");
    // Huge repeat counts are bounded.
    EXPECT_FALSE(render("(999999(999999(I1)))", {int32_t{1}}).empty());
}

// ------------------------------------------------------------ print unit

TEST(FmtPrintUnit, ReopenDropsOldContentAtFirstRecord) {
    kav::test::TempDataDir dir;
    const std::string path = dir.file("KAV.PNT");
    {
        std::ofstream old(path);
        for (int k = 0; k < 50; ++k) old << "AN OLD LINE THAT IS RATHER LONG " << k << "\n";
    }
    const std::string before = kav::test::read_file(path);
    PrintUnit pu;
    ASSERT_EQ(pu.open(path), 0);
    EXPECT_TRUE(pu.is_open());
    EXPECT_EQ(pu.path(), path);
    EXPECT_EQ(kav::test::read_file(path), before);  // the open alone keeps it
    pu.write(lines::banner3(), {int32_t{1}});
    // Visible at once, without closing.
    EXPECT_EQ(kav::test::read_file(path), "\nBESM ELLAH EL RAHMAN EL RAHIM  1\n\n");
    pu.write(lines::error_line(), {int32_t{3}, int32_t{36}});
    pu.write_text("DONE\n");
    EXPECT_EQ(kav::test::read_file(path),
              "\nBESM ELLAH EL RAHMAN EL RAHIM  1\n\n\nPROBLEM   3 ERROR CODE 36\n\nDONE\n");
    // A second open of the same file writes it again from its start.
    ASSERT_EQ(pu.open(path), 0);
    pu.write(lines::status_line(), {int32_t{2}});
    EXPECT_EQ(kav::test::read_file(path), blanks(12) + "2\n");
}

TEST(FmtPrintUnit, SecondOpenClosesTheFirst) {
    kav::test::TempDataDir dir;
    PrintUnit pu;
    ASSERT_EQ(pu.open(dir.file("KAV.PNT")), 0);
    pu.write(lines::banner3(), {int32_t{1}});
    ASSERT_EQ(pu.open(dir.file("KAV100.PNT")), 0);
    pu.write(lines::banner5(), {int32_t{1}});
    pu.write(lines::time_lines(), {"10:00:00", "10:00:01"});
    EXPECT_EQ(kav::test::read_file(dir.file("KAV.PNT")), "\nBESM ELLAH EL RAHMAN EL RAHIM  1\n\n");
    EXPECT_EQ(kav::test::read_file(dir.file("KAV100.PNT")),
              "\nBESM ELLAH EL RAHMAN EL RAHIM    1\n\n\n    10:00:00    10:00:01\n\n");
    pu.close();
    EXPECT_FALSE(pu.is_open());
    pu.write_text("LOST\n");
    EXPECT_EQ(kav::test::read_file(dir.file("KAV100.PNT")).find("LOST"), std::string::npos);
}

TEST(FmtPrintUnit, FailedOpenDropsWritesQuietly) {
    kav::test::TempDataDir dir;
    PrintUnit pu;
    ASSERT_EQ(pu.open(dir.file("KAV.PNT")), 0);
    pu.write_text("FIRST\n");
    const std::string bad = dir.file("missing/KAV100.PNT");
    EXPECT_NE(pu.open(bad), 0);
    EXPECT_FALSE(pu.is_open());
    pu.write(lines::banner3(), {int32_t{1}});
    pu.write_text("SECOND\n");
    EXPECT_FALSE(kav::test::file_exists(bad));
    // The first file was closed by the failed open and got nothing more.
    EXPECT_EQ(kav::test::read_file(dir.file("KAV.PNT")), "FIRST\n");

    PrintUnit never_opened;
    never_opened.write(lines::error_line(), {int32_t{1}, int32_t{2}});
    EXPECT_FALSE(never_opened.is_open());
}

// Gathered record groups against one write per group, with and without a
// file-size limit below the file: the same bytes and the same status.  The
// rows run past the writer's bound, so some limits fall in its later writes.
TEST(FmtGroupWriter, SameFileAndStatusAsOneWritePerGroup) {
    std::mt19937_64 rng(22);
    std::uniform_real_distribution<double> mag(-8.0, 8.0);
    std::vector<std::vector<double>> rows(720);
    for (auto& r : rows) {
        r.resize(1 + rng() % 130);
        for (double& v : r) v = rng() % 4 == 0 ? 0.0 : std::pow(10.0, mag(rng)) * (rng() % 2 ? 1 : -1);
    }
    const Format& f = lines::matrix_row();
    auto write_all = [&](const std::string& path, bool gathered) {
        PrintUnit pu;
        if (pu.open(path) != 0) return 99;
        pu.write(lines::banner3(), {int32_t{1}});
        if (gathered) {
            kav::fmt::GroupWriter g(pu);
            for (const auto& r : rows) g.reals(f, r);
        } else {
            std::vector<Item> items;
            for (const auto& r : rows) {
                items.assign(r.begin(), r.end());
                pu.write(f, items);
            }
        }
        pu.write(lines::status_line(), {int32_t{2}});
        return pu.status();
    };
    kav::test::TempDataDir dir;
    const std::string one = dir.file("ONE.PNT"), many = dir.file("MANY.PNT");
    ASSERT_EQ(write_all(one, false), 0);
    const int64_t full = static_cast<int64_t>(kav::test::read_file(one).size());
    ASSERT_GT(full, int64_t{4} << 16);
    std::vector<int64_t> limits = {-1, 0, 1, full - 1, full};
    for (int k = 0; k < 12; ++k) limits.push_back(static_cast<int64_t>(rng() % static_cast<uint64_t>(full)));
    for (const int64_t lim : limits) {
        kav::test::ChildSetup setup;
        setup.file_size_limit = lim;
        setup.ignore_file_size_signal = true;
        const kav::test::ChildEnd a = kav::test::run_child([&] { return write_all(one, false); }, 60, setup);
        const kav::test::ChildEnd b = kav::test::run_child([&] { return write_all(many, true); }, 60, setup);
        ASSERT_TRUE(a.in_time && b.in_time) << lim;
        EXPECT_EQ(a.status, b.status) << lim;
        EXPECT_EQ(lim < 0 || lim >= full ? 0 : EFBIG, b.status) << lim;
        EXPECT_TRUE(kav::test::read_file(one) == kav::test::read_file(many)) << lim;
    }
}

}  // namespace
