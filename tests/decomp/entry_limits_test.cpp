// Host limits: every violation stops the call with the banner line and its
// stop number, then the end lines, and writes nothing to the hand-off files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>

#include "datadir.hpp"
#include "entry_model.hpp"
#include "host.hpp"

using namespace kav::test;

namespace {

bool ends_with_stop(const std::string& pnt, int number) {
    char n[4];
    std::snprintf(n, sizeof n, "%3d", number);
    return std::regex_search(pnt,
                             std::regex(std::string("\nBESM ELLAH EL RAHMAN EL RAHIM") + n + "\n\n" + time_lines_re()));
}

void first_call(Host& h, const Problem& p, const Sub& s) {
    h.set_common(p);
    h.set_sub(s);
    h.IFLAG = 0;
    h.KPROB = 1;
    h.call();
}

// A first call of a one-subproblem problem changed by `edit`: it must stop
// with `number` and leave every hand-off file empty.
void expect_first_call_stop(int number, const std::function<void(Problem&, Host&)>& edit) {
    SCOPED_TRACE("stop " + std::to_string(number));
    TempDataDir dir;
    {
        Host h;
        Problem p = small_problem(1, 2);
        h.set_common(p);
        h.set_sub(p.subs[0]);
        h.IFLAG = 0;
        h.KPROB = 1;
        edit(p, h);
        h.call();
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), number)) << read_file(dir.file("KAV.PNT"));
    }  // unloading the library closes (and flushes) whatever it left open
    for (const char* f : kHandOff) EXPECT_EQ(read_file(dir.file(f)), "") << f;
}

}  // namespace

TEST(EntryLimits, FirstCallStopsWriteNothing) {
    expect_first_call_stop(81, [](Problem&, Host& h) { h.NSUB = 0; });
    expect_first_call_stop(81, [](Problem&, Host& h) { h.NSUB = 61; });
    expect_first_call_stop(82, [](Problem&, Host& h) { h.NCRES = 61; });
    expect_first_call_stop(82, [](Problem&, Host& h) { h.NCRES = -1; });
    expect_first_call_stop(83, [](Problem&, Host& h) { h.NLEVEL = 6; });
    expect_first_call_stop(83, [](Problem&, Host& h) { h.NLEVEL = -2; });
    expect_first_call_stop(84, [](Problem&, Host& h) { h.NROW = 2401; });
    expect_first_call_stop(84, [](Problem&, Host& h) { h.NROW = 0; });
    expect_first_call_stop(84, [](Problem&, Host& h) { h.NCOL = 0; });
    expect_first_call_stop(85, [](Problem&, Host& h) { h.NCROW = 1; });
    expect_first_call_stop(85, [](Problem&, Host& h) { h.NCROW = 401; });
    expect_first_call_stop(86, [](Problem&, Host& h) { h.NCROW = 6; });  // NROW is 5
    // The 0-Z variables are columns 2..NZO+1: with NCOL 4 at most 3 (the
    // attribute words IZA1..IZA4 hold NCOL entries).
    expect_first_call_stop(37, [](Problem&, Host& h) { h.NZO = 4; });
}

TEST(EntryLimits, EveryColumnButTheWeightAZeroOneVariable) {
    // NZO = NCOL-2 is the largest count: labels 5001.. on every column but 1
    // and the last (the weight variable); one more stops the call at once.
    TempDataDir dir;
    Problem p = small_problem(1, 2);
    Sub& s = p.subs[0];
    s = sample_sub(1, 5, 5, 4, 3, 600, 1);
    {
        Host h;
        h.run(p);
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), 37));
    }
    s = sample_sub(1, 5, 5, 3, 3, 600, 1);
    {
        Host h;
        h.run(p);
        EXPECT_EQ(read_file(dir.file("KAV.PNT")).find("RAHIM 37"), std::string::npos);
    }
    const std::string par2 = read_file(dir.file("PAR2.DAT"));
    Bytes labels;
    labels << int16_t{0} << int16_t{5001} << int16_t{5002} << int16_t{5003} << int16_t{4};
    ASSERT_GE(par2.size(), labels.b.size());
    EXPECT_EQ(par2.substr(par2.size() - labels.b.size()), labels.b);
    // Last 0-Z entry (column 4): problem, label, attribute words, 2 levels.
    const std::string par1 = read_file(dir.file("PAR1.DAT"));
    Bytes last;
    last << int16_t{1} << int16_t{5003} << s.iza[3][0] << s.iza[3][1] << s.iza[3][2] << s.iza[3][3];
    for (int l = 0; l < 2; ++l) last << s.zovd[3][l] << s.zovr[3][l];
    ASSERT_GE(par1.size(), last.b.size());
    EXPECT_EQ(par1.substr(par1.size() - last.b.size()), last.b);
}

TEST(EntryLimits, CouplingRowsBeyondAnEarlierProblemStop) {
    TempDataDir dir;
    Problem p = small_problem(3, 2);
    p.subs[1] = sample_sub(2, 10, 4, 1, 7, 100, 1);  // 7 rows: more than NROW(1) = 5
    {
        Host h;
        h.run(p);
        const std::string pnt = read_file(dir.file("KAV.PNT"));
        EXPECT_NE(pnt.find("\nBESM ELLAH EL RAHMAN EL RAHIM 86\n"), std::string::npos);
        EXPECT_EQ(h.RESV[0], 37.0);  // the run does not solve
    }
    // Only subproblem 1's records: 16 + 12 + 66 + 24 + 2*5 + 2*4 bytes.
    EXPECT_EQ(read_file(dir.file("PAR2.DAT")).size(), 136u);
    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), "");
}

TEST(EntryLimits, ProblemNumberOutOfSequence) {
    TempDataDir dir;
    const Problem p = small_problem(3, 2);
    {
        Host h;
        first_call(h, p, p.subs[0]);
        h.set_sub(p.subs[2]);
        h.KPROB = 3;  // 2 is due
        h.call();
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), 88));
        h.KPROB = 0;
        h.call();
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), 88));
        h.KPROB = 5;  // above NSUB + 1
        h.call();
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), 88));
    }
    EXPECT_EQ(read_file(dir.file("PAR2.DAT")).size(), 136u);
}

TEST(EntryLimits, TooManyZeroOneVariablesInAll) {
    // NZOTOT goes to a 16-bit word of PAR1.DAT: 38 subproblems of 859 0-Z
    // variables and one of 125 make 32767, the most it holds; one more
    // variable stops the call.  861 columns: 859 0-Z variables and the weight.
    TempDataDir dir;
    Problem p;
    p.nsub = 41;
    p.ncres = 0;
    p.nlevel = 0;
    p.fill_passthrough(1);
    auto sub = [](int16_t nzo) {
        Sub s = Sub::sized(2, 861, nzo, 2, 0);
        s.kcode = 600;
        for (int k = 1; k <= 861; ++k) s.A(1, k) = s.A(2, k) = 1.0;
        return s;
    };
    {
        Host h;
        h.set_common(p);
        for (int K = 1; K <= 40; ++K) {
            h.set_sub(sub(K <= 38 ? 859 : K == 39 ? 125 : 1));
            h.KPROB = static_cast<int16_t>(K);
            h.call();
            if (K == 39) {
                EXPECT_EQ(read_file(dir.file("KAV.PNT")).find("RAHIM 87"), std::string::npos);
            }
        }
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV.PNT")), 87));
    }
    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), "");
}

TEST(EntryLimits, RerunNeedsACompleteRunInTheLoadedLibrary) {
    TempDataDir dir;
    const Problem p = small_problem(1, 2);
    {
        Host done;
        done.run(p);
    }
    const std::string par3 = read_file(dir.file("PAR3.DAT"));
    ASSERT_NE(par3, "");
    {
        // A fresh library knows nothing of the run above (each Host loads
        // its own copy).  No print file is open: the stop line is dropped.
        Host h;
        h.set_common(p);
        h.set_sub(p.subs[0]);
        h.IFLAG = 1;
        h.KPROB = 1;
        h.call();
    }
    EXPECT_EQ(read_file(dir.file("PAR3.DAT")), par3);

    // In sequence after a complete run: rerun call 2 of 1 is out of range.
    {
        Host h;
        Problem q = small_problem(2, 2);
        h.run(q);
        const std::string par3b = read_file(dir.file("PAR3.DAT"));
        h.set_sub(q.subs[1]);
        h.IFLAG = 1;
        h.KPROB = 2;  // rerun call 1 is due
        h.call();
        EXPECT_TRUE(ends_with_stop(read_file(dir.file("KAV100.PNT")), 88));
        EXPECT_EQ(read_file(dir.file("PAR3.DAT")), par3b);
    }
}
