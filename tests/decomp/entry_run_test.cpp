// A whole run through the exported entry: three subproblems with growing and
// shrinking coupling row counts, two sensitivity levels, common resources,
// 0-Z variables and unsorted increments; every hand-off file byte for byte.
#include <gtest/gtest.h>

#include <regex>

#include "datadir.hpp"
#include "entry_model.hpp"
#include "host.hpp"

using namespace kav::test;
using kav::fmt::Item;

namespace {

Problem make_problem() {
    Problem p;
    p.nsub = 3;
    p.ncres = 2;
    p.nlevel = 2;
    p.fill_passthrough(7);
    p.subs.push_back(sample_sub(1, 6, 5, 2, 3, 100, 2));
    p.subs.push_back(sample_sub(2, 7, 6, 3, 5, 200, 2));
    p.subs.push_back(sample_sub(3, 6, 4, 1, 4, 300, 2));
    // Subproblem 1's last row has entries in columns 2..NCOL-1, subproblem
    // 3's has none: PRSW follows the subproblem handed in last.
    Sub& s3 = p.subs[2];
    s3.A(6, 2) = 0.0;
    s3.A(6, 3) = 0.0;
    s3.A(3, 4) = -1.0;                  // KFLAG 1 (KCODE 300)
    p.subs[1].A(3, 6) = -1.0;           // KFLAG 1 (KCODE 200)
    p.subs[0].A(6, 3) = 2.0;
    // Increments, unsorted; level 1 and 2 of subproblem 1 contain equal codes.
    p.subs[0].inc[0] = {{3, 0, 1.5}, {0, -1, 2.5}, {5001, -2, 3.5}};
    p.subs[0].inc[1] = {{5002, -3, 4.0}, {2, -1, 5.0}, {5002, 0, 6.0}, {1, -2, 7.0}};
    p.subs[0].inc[2] = {{9, 9, 9.0}};
    p.subs[1].inc[1] = {{5, -4, 1.25}, {4, -5, 2.25}};
    p.subs[1].inc[2] = {{7, 0, 1.0}};
    p.subs[2].inc[0] = {{2, 0, -1.0}, {1, -1, -2.0}};
    p.subs[2].inc[1] = {{3, -2, 0.5}};
    for (int i = 1; i <= 5; ++i) {
        p.crval.push_back(1000.0 + i);
        p.itypcr.push_back(static_cast<int16_t>(i % 3 - 1));
    }
    return p;
}

// The increments of each level after the entry's sort and level shift, by
// hand from the exchange rule (which is not stable for equal codes).
std::array<std::vector<Inc>, 3> expected_levels(int K) {
    if (K == 1) {
        std::vector<Inc> l1 = {{0, -1, 2.5}, {3, 0, 1.5}, {5001, -2, 3.5}};
        std::vector<Inc> l2 = {{1, -2, 7.0}, {2, -1, 5.0}, {5002, 0, 6.0}, {5002, -3, 4.0}};
        return {l1, l1, l2};
    }
    if (K == 2) return {std::vector<Inc>{}, std::vector<Inc>{}, {{4, -5, 2.25}, {5, -4, 1.25}}};
    std::vector<Inc> l1 = {{1, -1, -2.0}, {2, 0, -1.0}};
    return {l1, l1, {{3, -2, 0.5}}};
}

std::vector<int16_t> row_labels(const Sub& s) {
    std::vector<int16_t> r(s.nrow, 0);
    for (int i = 2; i <= s.nrow; ++i)
        r[i - 1] = static_cast<int16_t>(s.type[i - 1] != 0 ? -(i - 1) : -(i - 1) - 5000);
    return r;
}

// The coupling matrix of K as stored compactly: RMAX rows, the common
// resources in column 1 and column NCOL of rows 2..RMAX-1.
std::vector<double> compact_matrix(const Problem& p, int K, int rmax) {
    const Sub& s = p.subs[K - 1];
    std::vector<double> c = padded(s, rmax);
    for (int i = 2; i <= rmax - 1; ++i) {
        c[(i - 1) * s.ncol] = p.crval[i - 1];
        c[(i - 1) * s.ncol + s.ncol - 1] = p.itypcr[i - 1];
    }
    return c;
}

// PAR1.DAT: header, counts, resources from `args`; the 0-Z entries from the
// run `run`; after a rerun their level-1 values come from level 2 of `args`.
std::string par1_bytes(const Problem& run, const Problem& args, int16_t ncrow, const std::string& rec3,
                       bool rerun) {
    const int L = args.nlevel + 1;
    Bytes par1;
    const int16_t nzotot = 6;
    par1 << args.nsub << args.ncres << args.nlevel << ncrow << nzotot << int16_t{0};
    par1 << rec3;
    for (int K = 0; K < args.nsub; ++K)
        for (int j = 0; j < args.ncres; ++j) par1 << args.ikr[K][j];
    for (int j = 0; j < args.ncres; ++j)
        for (int l = 0; l < L; ++l) par1 << args.irl1[j][l] << args.irl2[j][l] << args.irl3[j][l];
    par1 << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0} << int16_t{0};
    for (int l = 0; l < L; ++l) par1 << 0.0 << 0.0f;
    for (int K = 1; K <= 3; ++K) {
        const Sub& s = run.subs[K - 1];
        for (int v = 1; v <= s.nzo; ++v) {
            const auto& z = s.iza[v];
            par1 << static_cast<int16_t>(K) << static_cast<int16_t>(5000 + v) << z[0] << z[1] << z[2] << z[3];
            for (int l = 0; l < L; ++l) {
                if (rerun && l == 0)
                    par1 << args.subs[K - 1].zovd[v][1] << args.subs[K - 1].zovr[v][1];
                else
                    par1 << s.zovd[v][l] << s.zovr[v][l];
            }
        }
    }
    return par1.b;
}

struct Expected {
    std::string rec3;
    std::string par1, par2, par3, par5, tab0, itab0, tab20, itab20, pnt;
};

Expected expected_files(const Problem& p) {
    Expected x;
    const int L = p.nlevel + 1;
    const int rmax = 5;
    // TAB0 / 1TAB0 and PAR2 / PAR3 per subproblem.
    Bytes par2, par3;
    for (int K = 1; K <= p.nsub; ++K) {
        const Sub& s = p.subs[K - 1];
        const PackedModel m = pack_model(s.a, s.nrow, s.ncol);
        x.tab0 += m.vals;
        x.itab0 += m.runs;
        for (int j = 0; j < p.ncres; ++j) par2 << s.rrk[0][j] << s.rrk[1][j] << s.rrk[2][j] << s.rrk[3][j];
        for (int j = 0; j < p.ncres; ++j)
            for (int q = 0; q < 6; ++q) par2 << s.irk[q][j];
        const int16_t kflag = (s.A(3, s.ncol) == -1.0 && s.kcode <= 500) ? 1 : 0;
        Bytes rec;
        rec << p.kr01[K - 1] << p.kr02[K - 1] << p.kr03[K - 1] << s.kcode << p.kr05[K - 1]
            << p.kr06[K - 1] << p.kr07[K - 1] << p.kr08[K - 1] << p.kr09[K - 1] << s.nrow << s.ncol
            << s.nzo << m.nnz << m.nzero << m.nixb << p.kr16[K - 1] << p.kr17[K - 1] << p.kr18[K - 1]
            << p.kr19[K - 1] << p.kr20[K - 1] << p.kr21[K - 1] << kflag;
        EXPECT_EQ(rec.b.size(), 66u);
        par2 << rec.b;
        for (int i = 0; i < 6; ++i) par2 << p.ika[K - 1][i] << p.ikb[K - 1][i];
        for (int16_t r : row_labels(s)) par2 << r;
        par2 << int16_t{0};
        for (int k = 2; k <= s.ncol; ++k) par2 << static_cast<int16_t>(k - 1 <= s.nzo ? 5000 + k - 1 : k - 1);

        for (int j = 0; j < p.ncres; ++j)
            for (int l = 0; l < L; ++l) par3 << s.rrl1[j][l] << s.rrl2[j][l];
        const auto lev = expected_levels(K);
        for (int l = 0; l < L; ++l) par3 << static_cast<int16_t>(lev[l].size());
        for (int l = 0; l < L; ++l)
            for (const Inc& c : lev[l]) par3 << c.col << c.row << c.d;
    }
    x.par2 = par2.b;
    x.par3 = par3.b;

    // TAB20 / 1TAB20: the slot history, then the compact layout on top.
    const int64_t slot[3] = {0, 8 * 6 * 5, 8 * 6 * 5 + 8 * 7 * 6};
    auto slot_write = [&](int K, const std::vector<double>& c, int rows) {
        const PackedModel m = pack_model(c, rows, p.subs[K - 1].ncol);
        put_at(x.tab20, slot[K - 1], m.vals);
        put_at(x.itab20, slot[K - 1], m.runs);
    };
    slot_write(1, p.subs[0].cpl, 3);
    slot_write(2, p.subs[1].cpl, 5);
    slot_write(1, padded(p.subs[0], 5), 5);  // RMAX grows from 3 to 5
    slot_write(3, padded(p.subs[2], 5), 5);  // padded to RMAX
    int64_t offv = 0, offi = 0;
    Bytes rec3;
    for (int K = 1; K <= 3; ++K) {
        const PackedModel m = pack_model(compact_matrix(p, K, rmax), rmax, p.subs[K - 1].ncol);
        put_at(x.tab20, offv, m.vals);
        put_at(x.itab20, offi, m.runs);
        offv += m.vals.size();
        offi += m.runs.size();
        rec3 << m.nnz << m.nzero << m.nixb;
    }

    x.rec3 = rec3.b;
    x.par1 = par1_bytes(p, p, 5, x.rec3, false);
    x.par5 = Bytes{}.operator<<(int16_t{0}).b;

    // KAV.PNT up to the time lines.
    std::string& t = x.pnt;
    t += render("(/29HBESM ELLAH EL RAHMAN EL RAHIM,I3/)", {int32_t{1}});
    t += render("(47HNO OF SUBPROBLEMS, AND NO OF SENSITIVITY LEVELS//2I17)", {p.nsub, p.nlevel});
    for (int K = 1; K <= 3; ++K) {
        const Sub& s = p.subs[K - 1];
        t += render("(/38HNO OF ROWS, COLUMNS, 0-Z OF SUBPROBLEM,I3,//I4,2H X, I4, 24X, I4)",
                    {int32_t{K}, s.nrow, s.ncol, s.nzo});
        t += render("(/16HCONSTRAINT TYPES/)", {});
        std::vector<Item> it;
        for (int i = 2; i <= s.nrow; ++i) it.emplace_back(s.type[i - 1]);
        t += render("(24I3)", it);
        const char* echo = "(/24HINPUT ECHO OF SUBPROBLEM,I3,44H MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)";
        t += render(echo, {int32_t{K}});
        for (int i = 1; i <= s.nrow; ++i) {
            it.clear();
            for (int k = 1; k <= s.ncol; ++k) it.emplace_back(s.a[(i - 1) * s.ncol + k - 1]);
            t += render("(10D13.3/(1H , 10D13.3))", it);
        }
        t += render(echo, {int32_t{K}});
        const auto lev = expected_levels(K);
        for (int l = 1; l < L; ++l)
            for (const Inc& c : lev[l]) {
                t += render("(I13, 7I13)", {c.col, c.row});
                t += render("(8D13.5/(1H , 8D13.5))", {c.d});
            }
    }
    t += render("(/13HINPUT ECHO OF,I3,17H COMMON RESOURCES/)", {int32_t{4}});
    std::vector<Item> it;
    for (int i = 2; i <= 5; ++i) it.emplace_back(p.crval[i - 1]);
    t += render("(10D13.3/(1H , 10D13.3))", it);
    t += render("(/16HCONSTRAINT TYPES/)", {});
    it.clear();
    for (int i = 2; i <= 5; ++i) it.emplace_back(p.itypcr[i - 1]);
    t += render("(24I3)", it);
    for (int K = 1; K <= 3; ++K) {
        const int n = p.subs[K - 1].ncol;
        const std::vector<double> c = compact_matrix(p, K, rmax);
        t += render("(/24HINPUT ECHO OF SUBPROBLEM,I3,17H COMMON RESOURCES/)", {int32_t{K}});
        for (int i = 1; i <= rmax; ++i) {
            it.clear();
            for (int k = 1; k <= n; ++k) it.emplace_back(c[(i - 1) * n + k - 1]);
            t += render("(10D13.3/(1H , 10D13.3))", it);
        }
    }
    return x;
}

// The time lines that end a call: an empty line, two 8-character times each
// after four blanks, an empty line.
const std::regex kTimeLines("\n    \\d\\d:\\d\\d:\\d\\d    \\d\\d:\\d\\d:\\d\\d\n\n$");

void expect_lines_equal(const std::string& want, const std::string& got) {
    const auto w = split_lines(want);
    const auto g = split_lines(got);
    for (size_t i = 0; i < std::min(w.size(), g.size()); ++i) ASSERT_EQ(w[i], g[i]) << "line " << i + 1;
    ASSERT_EQ(w.size(), g.size());
}

}  // namespace

TEST(EntryRun, ThreeSubproblemsByteForByte) {
    TempDataDir dir;
    Host h;
    const Problem p = make_problem();
    const Expected x = expected_files(p);
    ASSERT_EQ(h.run(p), 3);

    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), x.par1);
    EXPECT_EQ(read_file(dir.file("PAR2.DAT")), x.par2);
    EXPECT_EQ(read_file(dir.file("PAR3.DAT")), x.par3);
    // The flag word; the driver appends its results behind it.
    EXPECT_EQ(read_file(dir.file("PAR5.DAT")).substr(0, 2), x.par5);
    EXPECT_EQ(read_file(dir.file("TAB0.DAT")), x.tab0);
    EXPECT_EQ(read_file(dir.file("1TAB0.DAT")), x.itab0);
    EXPECT_EQ(read_file(dir.file("TAB20.DAT")), x.tab20);
    EXPECT_EQ(read_file(dir.file("1TAB20.DAT")), x.itab20);

    // The driver takes the print unit over to KAV100.PNT: the end lines of
    // the completing call go there.
    expect_lines_equal(x.pnt, read_file(dir.file("KAV.PNT")));
    EXPECT_TRUE(std::regex_search(read_file(dir.file("KAV100.PNT")), kTimeLines));
}

TEST(EntryRun, HostArraysChangedOnlyWhereTheCallProtocolSays) {
    TempDataDir dir;
    Host h;
    const Problem p = make_problem();
    h.run(p);
    ASSERT_EQ(h.calls.size(), 3u);
    for (int K = 1; K <= 3; ++K) {
        const CallRecord& c = h.calls[K - 1];
        const Sub& s = p.subs[K - 1];
        EXPECT_EQ(c.itype, row_labels(s)) << "K " << K;
        EXPECT_EQ(c.nlevel, 2);
        EXPECT_EQ(c.iflag, 0);
        EXPECT_EQ(c.kprob, K < 3 ? K : 4);
        EXPECT_EQ(c.ncrow, K < 3 ? s.ncrow : 5);
        // Increments: levels 1..3 as sorted and shifted; the cells behind a
        // level's count keep what the host had there after the sort.
        const auto lev = expected_levels(K);
        size_t cols = 1;
        for (const auto& v : s.inc) cols = std::max(cols, v.size());
        std::vector<int16_t> icol(6 * cols, 0), irow(6 * cols, 0);
        std::vector<double> d(6 * cols, 0.0);
        std::array<std::vector<Inc>, 6> before = s.inc;
        if (K == 1) before[1] = {{1, -2, 7.0}, {2, -1, 5.0}, {5002, 0, 6.0}, {5002, -3, 4.0}};
        if (K == 2) before[1] = {{4, -5, 2.25}, {5, -4, 1.25}};
        for (int l = 0; l < 6; ++l)
            for (size_t i = 0; i < before[l].size(); ++i) {
                icol[i * 6 + l] = before[l][i].col;
                irow[i * 6 + l] = before[l][i].row;
                d[i * 6 + l] = before[l][i].d;
            }
        std::vector<int16_t> ninc(6, 0);
        for (int l = 0; l < 6; ++l) ninc[l] = static_cast<int16_t>(s.inc[l].size());
        for (int l = 0; l < 3; ++l) {
            ninc[l] = static_cast<int16_t>(lev[l].size());
            for (size_t i = 0; i < lev[l].size(); ++i) {
                icol[i * 6 + l] = lev[l][i].col;
                irow[i * 6 + l] = lev[l][i].row;
                d[i * 6 + l] = lev[l][i].d;
            }
        }
        EXPECT_EQ(c.ninc, ninc) << "K " << K;
        EXPECT_EQ(c.inccol, icol) << "K " << K;
        EXPECT_EQ(c.incrow, irow) << "K " << K;
        EXPECT_EQ(c.dinc, d) << "K " << K;
    }
    // The coupling matrix of the host is only read.
    const Sub& s3 = p.subs[2];
    for (int i = 1; i <= 400; ++i)
        for (int k = 1; k <= s3.ncol; ++k)
            EXPECT_EQ(h.ACPL[(k - 1) * 400 + (i - 1)], i <= s3.ncrow ? s3.cpl[(i - 1) * s3.ncol + k - 1] : 0.0);
}

namespace {

// The rerun's arguments: new level-1 increments (unsorted), new level-2 0-Z
// values, new pass-through resource data; levels 2 and 3 as in the run.
Problem make_rerun_args() {
    Problem p = make_problem();
    p.fill_passthrough(8);
    p.subs[0].inc[0] = {{7, 0, 1.0}, {2, -1, 2.0}, {2, -2, 3.0}};
    p.subs[1].inc[0] = {{3, 0, 0.5}};
    p.subs[2].inc[0] = {};
    for (int K = 1; K <= 3; ++K) {
        Sub& s = p.subs[K - 1];
        for (int k = 2; k <= s.nzo + 1; ++k) {
            s.zovd[k - 1][1] = -1000.0 * K - k;
            s.zovr[k - 1][1] = static_cast<float>(-0.5 * K - k);
        }
        for (size_t j = 0; j < s.rrl1.size(); ++j) {
            s.rrl1[j][0] = static_cast<float>(77 + K + j);
            s.rrl2[j][2] = static_cast<float>(-77 - K - j);
        }
    }
    return p;
}

// PAR3 of a rerun: level 1 sorted by the exchange rule, the other levels as
// the host passes them (no shift).
std::string rerun_par3(const Problem& p) {
    const std::vector<Inc> level1[3] = {
        {{2, -1, 2.0}, {2, -2, 3.0}, {7, 0, 1.0}}, {{3, 0, 0.5}}, {}};
    Bytes b;
    const int L = p.nlevel + 1;
    for (int K = 1; K <= 3; ++K) {
        const Sub& s = p.subs[K - 1];
        for (int j = 0; j < p.ncres; ++j)
            for (int l = 0; l < L; ++l) b << s.rrl1[j][l] << s.rrl2[j][l];
        b << static_cast<int16_t>(level1[K - 1].size());
        for (int l = 1; l < L; ++l) b << static_cast<int16_t>(s.inc[l].size());
        for (const Inc& c : level1[K - 1]) b << c.col << c.row << c.d;
        for (int l = 1; l < L; ++l)
            for (const Inc& c : s.inc[l]) b << c.col << c.row << c.d;
    }
    return b.b;
}

}  // namespace

TEST(EntryRun, RerunRewritesOnlyTheSensitivityData) {
    TempDataDir dir;
    Host h;
    const Problem p = make_problem();
    const Expected x = expected_files(p);
    h.run(p);
    const char* kept[] = {"PAR2.DAT", "TAB0.DAT", "1TAB0.DAT", "TAB20.DAT", "1TAB20.DAT"};
    std::vector<std::string> before;
    for (const char* f : kept) before.push_back(read_file(dir.file(f)));

    const std::string pnt = read_file(dir.file("KAV.PNT"));

    const Problem r = make_rerun_args();
    ASSERT_EQ(h.rerun(r), 3);
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(read_file(dir.file(kept[i])), before[i]) << kept[i];
    EXPECT_EQ(read_file(dir.file("PAR3.DAT")), rerun_par3(r));
    // NCROW of the completing rerun call is the host's (4), not RMAX; the
    // compact counts are the run's; level-1 0-Z values from level 2.
    EXPECT_EQ(read_file(dir.file("PAR1.DAT")), par1_bytes(p, r, 4, x.rec3, true));
    EXPECT_EQ(read_file(dir.file("PAR5.DAT")).substr(0, 2), std::string("\1\0", 2));
    // A rerun call changes no argument but the level-1 increments.
    EXPECT_EQ(h.calls[3].kprob, 1);
    EXPECT_EQ(h.calls[5].kprob, 3);
    EXPECT_EQ(h.calls[5].ncrow, 4);
    EXPECT_EQ(h.calls[3].inccol[0], 2);
    EXPECT_EQ(h.calls[3].incrow[0], -1);
    EXPECT_EQ(h.calls[3].inccol[6 * 2], 7);
    // The rerun's lines go to the driver's print file, KAV.PNT stays as it was.
    EXPECT_EQ(read_file(dir.file("KAV.PNT")), pnt);
}

TEST(EntryRun, RerunWithTooManyIncrementsChangesNoFile) {
    TempDataDir dir;
    Host h;
    const Problem p = make_problem();
    h.run(p);
    const char* files[] = {"PAR1.DAT", "PAR2.DAT", "PAR3.DAT", "PAR5.DAT", "TAB0.DAT",
                           "1TAB0.DAT", "TAB20.DAT", "1TAB20.DAT"};
    std::vector<std::string> before;
    for (const char* f : files) before.push_back(read_file(dir.file(f)));

    Problem r = make_rerun_args();
    r.subs[0].inc[0].assign(2001, Inc{1, 0, 1.0});
    h.set_common(r);
    h.set_sub(r.subs[0]);
    h.IFLAG = 1;
    h.KPROB = 1;
    h.call();
    for (size_t i = 0; i < before.size(); ++i) EXPECT_EQ(read_file(dir.file(files[i])), before[i]) << files[i];
    const std::string pnt = read_file(dir.file("KAV100.PNT"));
    EXPECT_TRUE(std::regex_search(pnt, std::regex("\nBESM ELLAH EL RAHMAN EL RAHIM 41\n\n\n    \\d\\d:\\d\\d:\\d\\d    \\d\\d:\\d\\d:\\d\\d\n\n$")))
        << pnt.substr(pnt.size() > 300 ? pnt.size() - 300 : 0);
}
