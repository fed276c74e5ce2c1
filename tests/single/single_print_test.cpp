// The whole print file and the packed files of one small problem with two
// levels, one branch point at the first level and an integral root at the
// second, line for line and byte for byte (the times aside).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "datadir.hpp"
#include "single_host.hpp"

namespace {

using kav::test::SingleHost;

// The time line "(/2A12/)" of a print file with both times replaced.
std::string without_times(std::string pnt) {
    const std::string mark = "\n    ";
    for (size_t p = 0; (p = pnt.find(mark, p)) != std::string::npos; ++p) {
        if (pnt.size() >= p + 25 && pnt[p + 7] == ':' && pnt[p + 10] == ':' && pnt[p + 19] == ':')
            pnt.replace(p + 5, 20, "hh:mm:ss    hh:mm:ss");
    }
    return pnt;
}

TEST(SinglePrint, WholeFilesOfTwoLevels) {
    auto entry = kav::test::single_entry(KAVSOLVE_SINGLE_SO);
    ASSERT_NE(entry, nullptr);
    kav::test::TempDataDir dir;
    SingleHost h = kav::test::two_level_sample();
    h.call(entry);
    EXPECT_EQ(h.status, (std::vector<double>{1.5, 5.5}));
    EXPECT_EQ(h.xbest, (std::vector<double>{1, 1, -5, -5, -5, -5, 0, 1, -5, -5, -5, -5}));
    std::string want = R"(
BESM ELLAH EL RAHMAN EL RAHIM  1


BESM ELLAH EL RAHMAN EL RAHIM

NO OF SENSITIVITY LEVELS
                1


NO OF ROWS, COLUMNS
   2 X   3


CONSTRAINT TYPES

  1

INPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS

   -0.500D+00    0.200D+01    0.300D+01
    0.500D+00    0.000D+00    0.100D+01

INPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS

            0           -1
  0.50000D+00
         5001            0
  0.10000D+01

PROBLEM OPTIMAL SOLUTION COMPLETE


OBJECTIVE FUNCTION =           3.0000000 AT ITERATION     1


STRUCTURAL VARIABLES: X(I)


I =         1         2

    0.100D+01 0.500D+00

BEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL     0


OBJECTIVE FUNCTION =           1.5000000 AT ITERATION     0


STRUCTURAL VARIABLES: X(I)


I =         1         2

    0.100D+01 0.000D+00

BESM ELLAH EL RAHMAN EL RAHIM

BRANCH POINT INCREASED TO     1 PROBLEM VARIABLE  5002 IBOTH  0


PROBLEM AT ITERATION     0 CAUSED TOTAL SOLUTION TO BE INTEGER, < BIG, OR INFEASIBLE


BRANCH POINT     1 CHANGED TO PROBLEM VARIABLE  5002 IBOTH     2


PROBLEM AT ITERATION     0 CAUSED TOTAL SOLUTION TO BE INTEGER, < BIG, OR INFEASIBLE


BRANCH POINT DECREASED TO     0 PROBLEM VARIABLE     0


SENSITIVITY LEVEL     1


INPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS

   -0.500D+00   -0.300D+01   -0.300D+01
    0.100D+01    0.000D+00    0.100D+01

BEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL     1


OBJECTIVE FUNCTION =           5.5000000 AT ITERATION     1


STRUCTURAL VARIABLES: X(I)


I =         1         2

    0.100D+01 0.100D+01

TOTAL NUMBER OF ITERATIONS OF PROBLEM =      1


    hh:mm:ss    hh:mm:ss

)";
    for (int n = 1; n <= 100; ++n) {
        const std::string num = std::to_string(n);
        want += "\nBESM ELLAH EL RAHMAN EL RAHIM" + std::string(3 - num.size(), ' ') + num + "\n\n";
    }
    EXPECT_EQ(without_times(kav::test::read_file(dir.file("KAV.PNT"))), want);

    // The stored matrix: its values and its one run of zeros, row by row.
    const double values[] = {-0.5, -2.0, -3.0, 0.5, 1.0};
    const int16_t runs[] = {2, 2, 1};
    EXPECT_EQ(kav::test::read_file(dir.file("TAB1.DAT")), std::string(reinterpret_cast<const char*>(values), sizeof values));
    EXPECT_EQ(kav::test::read_file(dir.file("1TAB1.DAT")), std::string(reinterpret_cast<const char*>(runs), sizeof runs));
}

}  // namespace
