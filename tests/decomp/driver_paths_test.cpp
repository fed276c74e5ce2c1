// The driver's levels, reruns, stops and error codes, driven through the
// statically linked entry (waits replaced by a hook).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "core_host.hpp"
#include "driver.hpp"
#include "fixtures.hpp"
#include "handover.hpp"

namespace kav::test {
namespace {

// Sleep hook that runs an action at every wait.
std::function<void()> g_action;
void acting_sleep(int32_t) {
    if (g_action) g_action();
}
class Hooked {
public:
    explicit Hooked(std::function<void()> f) : old_(set_sleep_function(&acting_sleep)) { g_action = std::move(f); }
    ~Hooked() {
        g_action = nullptr;
        set_sleep_function(old_);
    }

private:
    SleepFn old_;
};

std::string error_line(int prob, int code) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "PROBLEM%4d ERROR CODE%3d", prob, code);
    return buf;
}

TEST(DriverLevels, EachLevelIsTheBasePlusItsOwnIncrements) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    Problem p = sample(2.25);
    p.nlevel = 2;
    // Problems with KCODE above 500 keep the host's level lists as they
    // stand: list 1 serves reruns only, list l is level l.
    // Level 2: x1's profit + 2 (objective row, column code 1).
    // Level 3: y2's profit - 3 (column code 2 of subproblem 2).
    p.subs[0].inc[0] = {Inc{2, 0, 100.0}};  // ignored: no rerun
    p.subs[0].inc[1] = {Inc{1, 0, 2.0}};
    p.subs[1].inc[2] = {Inc{2, 0, -3.0}};
    h.run(p);
    // Base: 5.5.  Level 1 alone: 5x1 + 2x2 + y1 + 4y2 -> x1 = 1, y2 = 0.125
    // gives 5.5, x2 = 1, y2 = 0.875 gives 5.5; LP optimum by GLPK below.
    auto lp_of = [](double px1, double py2) {
        LpProblem lp;
        lp.c = {px1, 2, 1, py2};
        lp.rows = {{{1, 1, 0, 0}, 'L', 1}, {{0, 0, 1, 1}, 'L', 1}, {{2, 0.5, 1, 2}, 'L', 2.25}};
        lp.lb.assign(4, 0.0);
        lp.ub.assign(4, LP_INF);
        lp.integer.assign(4, false);
        return solve_lp(lp).obj;
    };
    EXPECT_NEAR(h.RESV[0], 5.5, 1e-9);
    EXPECT_NEAR(h.RESV[1], lp_of(5, 4), 1e-9);
    EXPECT_NEAR(h.RESV[2], lp_of(3, 1), 1e-9);  // not accumulated: x1 is back at 3
    for (int l = 4; l <= 6; ++l) EXPECT_EQ(h.RESV[l - 1], 37.0);
    const std::string pnt = read_file(dir.file("KAV100.PNT"));
    EXPECT_NE(pnt.find("SENSITIVITY LEVEL     1"), std::string::npos);
    EXPECT_NE(pnt.find("SENSITIVITY LEVEL     2"), std::string::npos);
    EXPECT_EQ(count_of(pnt, "CONTINUOUS TOTAL SOLUTION COMPLETE"), 3u);

    // A rerun with level-1 increments solves one level: the base plus them.
    Problem r = sample(2.25);
    r.nlevel = 2;
    r.subs[1].inc[0] = {Inc{1, 0, 5.0}};  // y1's profit 1 -> 6
    h.rerun(r);
    EXPECT_EQ(h.IFLAG, 1);
    LpProblem lp;
    lp.c = {3, 2, 6, 4};
    lp.rows = {{{1, 1, 0, 0}, 'L', 1}, {{0, 0, 1, 1}, 'L', 1}, {{2, 0.5, 1, 2}, 'L', 2.25}};
    lp.lb.assign(4, 0.0);
    lp.ub.assign(4, LP_INF);
    lp.integer.assign(4, false);
    EXPECT_NEAR(h.RESV[0], solve_lp(lp).obj, 1e-9);
    for (int l = 2; l <= 6; ++l) EXPECT_EQ(h.RESV[l - 1], 37.0);
    // The rerun solved once more on the same tableau files.
    EXPECT_EQ(count_of(read_file(dir.file("KAV100.PNT")), "CONTINUOUS TOTAL SOLUTION COMPLETE"), 1u);
}

TEST(DriverLevels, ALevelWithoutAMixedSolutionReports37) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    h.run(sample(2.25, -1.0));  // every profit negative: nothing beats 0
    EXPECT_EQ(h.RESV[0], 37.0);
    EXPECT_NE(read_file(dir.file("KAV100.PNT")).find("NO MIXED 0-Z SOLUTION FOUND"), std::string::npos);
}

TEST(DriverErrors, RowWithoutMagnitudeStopsTheSetUpWith73) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    Problem p = sample(2.25);
    for (int k = 1; k <= 4; ++k) p.subs[1].A(2, k) = k == 1 ? 0.0005 : 0.0;
    p.subs[1].A(2, 1) = 0.0;
    p.subs[1].A(2, 2) = 0.001;  // not above 0.001
    h.run(p);
    EXPECT_EQ(h.RESV[0], 37.0);
    const std::string pnt = read_file(dir.file("KAV100.PNT"));
    EXPECT_NE(pnt.find(error_line(2, 73)), std::string::npos);
    EXPECT_EQ(count_of(pnt, "BESM ELLAH EL RAHMAN EL RAHIM    7"), 100u);
    EXPECT_EQ(pnt.find("CONTINUOUS TOTAL"), std::string::npos);
}

// Runs the sample once, breaks a hand-off file, and solves again through
// the hand-over on the same state.
void truncate_to(const std::string& f, std::uintmax_t n) { std::filesystem::resize_file(f, n); }

struct Broken {
    std::string pnt;
    double resv1 = 0.0;
};
Broken solve_broken(const std::function<void(const TempDataDir&)>& breakit) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    h.run(sample(2.25));
    EXPECT_DOUBLE_EQ(h.RESV[0], 5.5);
    // As the completing call does: PAR5.DAT holds only the flag word.
    truncate_to(dir.file("PAR5.DAT"), 2);
    breakit(dir);
    std::vector<double> resv(6, 0.0), xres(6 * 8, 0.0);
    int16_t flag = 0;
    st->ent.IERR = 0;
    decomp::solve_handover(*st, &flag, resv.data(), xres.data());
    return {read_file(dir.file("KAV100.PNT")), resv[0]};
}

// Overwrites the bytes of `v` at byte `offset` of file `f`, in place.
template <typename T>
void poke(const std::string& f, std::streamoff offset, T v) {
    std::fstream s(f, std::ios::in | std::ios::out | std::ios::binary);
    s.seekp(offset);
    s.write(reinterpret_cast<const char*>(&v), sizeof v);
}

void make_dir_at(const std::string& f) {
    std::filesystem::remove(f);
    std::filesystem::create_directory(f);
}

TEST(DriverErrors, OpenFailuresOfTheHandOffFiles) {
    const std::pair<const char*, int> cases[] = {
        {"PAR1.DAT", 36}, {"PAR2.DAT", 37}, {"PAR3.DAT", 38}, {"TAB0.DAT", 20},
        {"TAB.DAT", 27},  {"1TAB0.DAT", 21}, {"1TAB.DAT", 28}, {"TAB20.DAT", 20},
        {"TAB2.DAT", 27}, {"1TAB20.DAT", 21}, {"1TAB2.DAT", 28}};
    for (const auto& [file, code] : cases) {
        Broken b = solve_broken([&](const TempDataDir& d) { make_dir_at(d.file(file)); });
        EXPECT_NE(b.pnt.find(" ERROR CODE" + std::string(code < 100 ? " " : "") + std::to_string(code)),
                  std::string::npos)
            << file;
        EXPECT_EQ(count_of(b.pnt, "BESM ELLAH EL RAHMAN EL RAHIM    7"), 100u) << file;
        EXPECT_EQ(b.resv1, 37.0) << file;
    }
}

TEST(DriverErrors, ShortOrInconsistentHandOffData) {
    struct Case {
        const char* file;
        std::uintmax_t size;
        int code;
    };
    // PAR1: 12 header bytes, then the counts; PAR2 and PAR3 cut inside the
    // first subproblem's records; TAB0 cut inside the first matrix.
    const Case cases[] = {{"PAR1.DAT", 16, 120}, {"PAR2.DAT", 30, 120}, {"PAR3.DAT", 1, 130}, {"TAB0.DAT", 8, 140}};
    for (const auto& c : cases) {
        Broken b = solve_broken([&](const TempDataDir& d) { truncate_to(d.file(c.file), c.size); });
        EXPECT_NE(b.pnt.find(error_line(777, c.code)), std::string::npos) << c.file;
        EXPECT_EQ(b.resv1, 37.0) << c.file;
    }
    // PAR5 holding no flag word: 150.
    Broken b = solve_broken([&](const TempDataDir& d) { truncate_to(d.file("PAR5.DAT"), 0); });
    EXPECT_NE(b.pnt.find(error_line(777, 150)), std::string::npos);
    EXPECT_EQ(b.resv1, 37.0);
    // A coupling count that does not match the data: 2 with the subproblem.
    // (NNZ of subproblem 1's coupling matrix at byte 12 of PAR1.)
    Broken c = solve_broken([](const TempDataDir& d) { poke(d.file("PAR1.DAT"), 12, int32_t{1}); });
    EXPECT_NE(c.pnt.find(error_line(1, 2)), std::string::npos);
    EXPECT_EQ(c.resv1, 37.0);
}

TEST(DriverErrors, CountsBeyondCapacityAreRejected) {
    // NSUB 61 in the PAR1 header.
    Broken a = solve_broken([](const TempDataDir& d) { poke(d.file("PAR1.DAT"), 0, int16_t{61}); });
    EXPECT_NE(a.pnt.find(error_line(777, 120)), std::string::npos);
    // An increment count of 2001 in PAR3 (level 1 of subproblem 1).
    Broken b = solve_broken([](const TempDataDir& d) { poke(d.file("PAR3.DAT"), 0, int16_t{2001}); });
    EXPECT_NE(b.pnt.find(error_line(777, 130)), std::string::npos);
    // A row count beyond the tableau in PAR2's problem record (item 10 at byte 32).
    Broken c = solve_broken([](const TempDataDir& d) { poke(d.file("PAR2.DAT"), 32, int16_t{2401}); });
    EXPECT_NE(c.pnt.find(error_line(777, 120)), std::string::npos);
}

TEST(DriverErrors, IncrementOutsideTheTableauIsAReadError) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    Problem p = sample(2.25);
    p.nlevel = 1;
    p.subs[0].inc[1] = {Inc{9, 0, 1.0}};  // column 10 of a 4-column problem
    h.run(p);
    EXPECT_NEAR(h.RESV[0], 5.5, 1e-12);  // the base level is solved
    EXPECT_EQ(h.RESV[1], 37.0);
    EXPECT_NE(read_file(dir.file("KAV100.PNT")).find(error_line(777, 130)), std::string::npos);
}

TEST(Handover, ReadBackFailuresReportNoSolution) {
    const std::string bad = "BAD";
    struct Case {
        int code;
        std::function<void(const std::string&)> act;
    };
    const Case cases[] = {
        {10, [](const std::string& f) { truncate_to(f, 10); }},
        {20, [](const std::string& f) { truncate_to(f, 60); }},
        {39, [](const std::string& f) { make_dir_at(f); }},
    };
    for (const auto& c : cases) {
        TempDataDir dir;
        FreshState st;
        CoreHost h(*st);
        const std::string par5 = dir.file("PAR5.DAT");
        // After the driver's final write (PAR5 then holds 84 bytes) the wait
        // before the read-back breaks the file.
        Hooked hook([&] {
            std::error_code ec;
            if (std::filesystem::is_regular_file(par5, ec) && std::filesystem::file_size(par5, ec) >= 52) c.act(par5);
        });
        h.run(sample(2.25));
        for (int l = 0; l < 6; ++l) EXPECT_EQ(h.RESV[l], 37.0) << c.code;
        const std::string pnt = read_file(dir.file("KAV100.PNT"));
        const int prob = c.code == 39 ? 3 : 777;
        EXPECT_NE(pnt.find(error_line(prob, c.code)), std::string::npos) << c.code;
    }
}

TEST(Handover, WrongResultCountIsCode10) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    h.run(sample(2.25));
    std::vector<double> resv(6, 0.0), xres(6 * 8, 0.0);
    int16_t flag = 0;
    st->ent.NCOL[0] = 5;  // the host now expects 5 results
    decomp::solve_handover(*st, &flag, resv.data(), xres.data());
    EXPECT_EQ(st->ent.IERR, 10);
    for (double r : resv) EXPECT_EQ(r, 37.0);
}

TEST(Handover, IncompleteRunIsNotSolved) {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h(*st);
    Problem p = sample(2.25);
    p.subs[0].inc[0].assign(2001, Inc{1, 0, 1.0});  // a stop (banner 39) in call 1
    p.subs[0].kcode = 500;
    p.nlevel = 1;
    h.run(p);
    for (int l = 0; l < 6; ++l) EXPECT_EQ(h.RESV[l], 37.0);
    EXPECT_FALSE(file_exists(dir.file("KAV100.PNT")));
    const std::string pnt = read_file(dir.file("KAV.PNT"));
    EXPECT_GE(count_of(pnt, "BESM ELLAH EL RAHMAN EL RAHIM 39"), 2u);
}

}  // namespace
}  // namespace kav::test
