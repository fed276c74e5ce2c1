// Subproblem simplex SIMPLX of the decomposition library.
//
// A bounded primal simplex on the dense work tableau with a dual step for
// negative or out-of-bound basic values, a phase 1 over the artificial
// slacks of equality rows and a phase 2 priced against the master prices.
// 0-Z variables range from 0 to U = CSCL(K,v+1) * x_w / CSCL(K,NCK), x_w
// the weight variable; a 0-Z variable at its upper bound is carried in
// complemented form (label 6000+v, value U - x).
//
// Tableau conventions: basic value of row i = T(i,1) - sum_j T(i,j) x_j;
// row 1 holds the reduced costs (negative = improving) and T(1,1) the
// objective.  Row 0 is a zero work row: wherever the weight variable is not
// basic (w = 0) its row reads as zeros.
#include "simplx.hpp"

#include <cmath>
#include <vector>

#include "fmt.hpp"
#include "errcodes.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "simplx_impl.hpp"

namespace kav::solver {

namespace sx {


Run::Run(State& d, int32_t kk) : ds(d), s(d.sv), pb(d.pb), k(kk) {
    kc = kernel::Consts{s.BIG, s.TOLZER, s.TOLELM};
    tb.t = &s.t(1, 1);
    tb.ld = s.ldt();
    tb.m = s.M;
    tb.n = s.N;
    tb.irow = &s.IROW[1];
    tb.icol = &s.ICOL[1];
    sc.rscale = &s.RSCALE[1];
    sc.cscale = &s.CSCALE[1];
    sc.cnorm = &s.CNORM[1];
    sc.rnorm = &s.RNORM[1];
}

void Run::colrng() {
    tb.m = s.M;
    tb.n = s.N;
    kernel::colrng(kc, tb, sc);
}

void Run::pivot(int32_t r, int32_t c) {
    tb.m = s.M;
    tb.n = s.N;
    s.IR = static_cast<int16_t>(r);
    s.IC = static_cast<int16_t>(c);
    kernel::pivot(tb, r, c);
}

void Run::find_weight() {
    const int16_t lw = wlabel();
    w = 0;
    wc = 0;
    for (int32_t i = 2; i <= s.M; ++i)
        if (s.IROW[i] == lw) {
            w = i;
            break;
        }
    for (int32_t j = 2; j <= s.N; ++j)
        if (s.ICOL[j] == lw) {
            wc = j;
            break;
        }
}

void dump_tableau(Run& x) {
    SolverState& s = x.s;
    fmt::PrintUnit& p = x.ds.pnt;
    std::vector<fmt::Item> it;
    it.reserve(static_cast<size_t>(s.N > s.M ? s.N : s.M) + 1);
    for (int32_t j = 1; j <= s.N; ++j) it.emplace_back(s.ICOL[j]);
    p.write(fmt::lines::status_line(), it);
    for (int32_t i = 1; i <= s.M; ++i) {
        it.clear();
        for (int32_t j = 1; j <= s.N; ++j) it.emplace_back(x.t(i, j));
        p.write(fmt::lines::values8(), it);
        p.write(fmt::lines::row_label(), {s.IROW[i]});
    }
}

void diag_dump(Run& x) {
    SolverState& s = x.s;
    fmt::PrintUnit& p = x.ds.pnt;
    if (x.ds.pf.dump_names_columns)
        p.write(fmt::lines::status_line(), {s.IPHASE, s.IDUAL, static_cast<int16_t>(x.k), s.SMODEW, s.M, s.N, x.nck()});
    else
        p.write(fmt::lines::status_line(), {s.IPHASE, s.IDUAL, static_cast<int16_t>(x.k), s.SMODEW, s.M, s.N});
    p.write(fmt::lines::values8(), {static_cast<double>(s.FUNB), static_cast<double>(s.FBND), static_cast<double>(s.FINF),
                        static_cast<double>(s.FRTY)});
    const int32_t c = (s.IC >= 0 && s.IC <= MAXCOL) ? s.IC : 0;
    const int32_t r = (s.IR >= 0 && s.IR <= MAXROW) ? s.IR : 0;
    p.write(fmt::lines::status_line(), {s.IC, s.IR, s.ICOL[c], s.IROW[r]});
    p.write(fmt::lines::values8(), {s.RAT1, s.RAT2, s.PIV1, s.PIV2, s.DRAT, s.DPIV});
    std::vector<fmt::Item> it;
    p.write(x.ds.pf.banner(), {mark::DUMP_CSCL});
    for (int32_t j = 1; j <= x.nck(); ++j) it.emplace_back(s.CSCL[x.k][j]);
    p.write(fmt::lines::values8(), it);
    p.write(x.ds.pf.banner(), {mark::DUMP_RSCL});
    it.clear();
    for (int32_t i = 1; i <= s.M; ++i) it.emplace_back(s.RSCL[x.k][i]);
    p.write(fmt::lines::values8(), it);
    p.write(x.ds.pf.banner(), {mark::DUMP_TABLEAU});
    p.write(fmt::lines::iteration_no(), {static_cast<int16_t>(x.k), s.NITER});
    dump_tableau(x);
}

void fail6(Run& x, int32_t lbl) {
    diag_dump(x);
    x.s.IERR = err::NOT_IN_ICOLSV;
    if (lbl != 0) x.s.LBLBAD = static_cast<int16_t>(lbl);
}

namespace {

enum class Next { feas, primal, dual, end1, optimal, fail, done };

class Simplex {
public:
    Simplex(State& ds, int16_t mode) : x(ds, ds.sv.KCUR), s(ds.sv), pb(ds.pb), mode_(mode) {}

    void run();

private:
    Run x;
    SolverState& s;
    const Problem& pb;
    int16_t mode_;
    int32_t idle_ = 0;  // steps since the last counted iteration

    double& t(int32_t i, int32_t j) { return s.t(i, j); }
    double tol(int32_t i, int32_t j) const { return x.tol(i, j); }
    int32_t k() const { return x.k; }
    double wscl() const { return s.WSCL; }

    // U-factor of a row or column label: CSCL(K,v+1) for a 0-Z label.
    double ufac(int32_t l) const { return l >= lbl::ZO ? x.cscl(lbl::zindex(l) + 1) : 1.0; }
    bool above_bound(int32_t i) {
        const int32_t l = s.IROW[i];
        const double f = x.cscl(lbl::zindex(l) + 1);
        return t(i, 1) / f > tol(i, 1) + t(x.w, 1) / wscl();
    }
    bool is_bp_of_k(int32_t lbl) const;
    int32_t bp_of_k(int32_t lbl) const;
    int32_t find_entry(int32_t p, int32_t lbl) const;

    bool setup();            // set-up of a fresh solve
    bool link_points();      // linked 0-Z variables of fixed points become points at 0
    void row_classes();      // rows made redundant by the points
    bool fixed_columns();    // columns of fixed variables folded or dropped
    void empty_rows();       // rows left without entries
    bool phase2_objective(); // objective priced against the master prices
    Next feasibility();
    Next primal();
    Next dual();
    Next end_phase1();
    bool count_iteration();  // counts an exchange; false at the limit
    void remove_column(int32_t c);
    void remove_row(int32_t r);
    void remove_artificial(int32_t c) {
        if (s.ICOL[c] < -lbl::EQ) remove_column(c);
    }
    bool complement_label_row(int32_t i);
    bool complement_label_col(int32_t c);
    bool relabel(int16_t& lbl);
    void complement_row(int32_t i);      // case 1
    bool complement_entering(int32_t c); // case 2; false when |g| <= TOLPIV
    void complement_leaving(int32_t r);  // case 3 (before the exchange)
    void block(int32_t i, int32_t j, double& dist, double& rate, double f) {
        dist = f * t(x.w, 1) / wscl() - t(i, 1);
        rate = f * t(x.w, j) / wscl() - t(i, j);
        if (j == x.wc) rate -= f / wscl();
    }
    // Block kind of row i for column j: 0 none, 1 kind 1, 2 kind 2.
    int kind_of(int32_t i, int32_t j, double& dist, double& rate);
    bool ratio_row_ok(int32_t i) {
        if (t(i, 1) < -tol(i, 1)) return false;
        return !(s.IROW[i] > lbl::ZO && above_bound(i));
    }

    // A row that may block an entering column in this primal step.  Which
    // rows qualify, their 0-Z factor f and their block distance do not
    // depend on the column, so a step computes them once and not once per
    // column it prices; the arithmetic of each term is the same as
    // kind_of's, so every choice is the same.
    struct BlockRow {
        int32_t i;    // the row
        bool zo;      // its basic variable is a 0-Z variable
        double f;     // that variable's bound factor (1.0 otherwise)
        double dist;  // the block distance f * x_w / W - T(i,1)
    };
    std::vector<BlockRow> brows_;
    void block_rows();
    // kind_of for a row of block_rows(); `cj` is column j of the tableau.
    int kind_at(const BlockRow& b, int32_t j, const double* cj, double& rate) const {
        rate = b.f * cj[x.w] / wscl() - cj[b.i];
        if (j == x.wc) rate -= b.f / wscl();
        const double a = cj[b.i], tl = tol(b.i, j);
        if (a > tl && !(b.zo && rate > tl && std::fabs(b.dist / rate) < std::fabs(s.t(b.i, 1) / a))) return 1;
        if (b.zo && rate > tl) return 2;
        return 0;
    }
    void fail();
};

bool Simplex::is_bp_of_k(int32_t lbl) const { return bp_of_k(lbl) != 0; }

int32_t Simplex::bp_of_k(int32_t lbl) const {
    for (int32_t n = 2; n <= s.NBRPT && n <= BPMAX; ++n)
        if (s.IBPPRB[n] == k() && s.IBPVAR[n] == lbl) return n;
    return 0;
}

int32_t Simplex::find_entry(int32_t p, int32_t lbl) const {
    const int32_t last = pb.last_zentry();
    for (int32_t d = 2; d <= last; ++d)
        if (pb.ZPRB[d] == p && pb.ZLAB[d] == lbl) return d;
    return 0;
}

// ---------------------------------------------------------------------------
// Failures and counting

// No pivot possible: code 5 outside branch and bound (with the stop line and
// no result for the level), code 7 inside it (the node is infeasible).
void Simplex::fail() {
    if (s.NBRPT < 2) {
        x.ds.pnt.write(x.ds.pf.banner(), {mark::NO_PIVOT});
        s.IERR = err::SIMPLEX_FAIL;
        if (s.LEVEL >= 1 && s.LEVEL <= NLEV) s.RESV[s.LEVEL] = err::STNONE;
    } else {
        s.IERR = err::NODE_INFEASIBLE;
    }
}

bool Simplex::count_iteration() {
    s.NITER += 1;
    const Profile& pf = x.ds.pf;
    if (pf.stop == IterStop::at_limit ? s.NITER >= pf.maxit : s.NITER > pf.maxit) {
        x.ds.pnt.write(x.ds.pf.banner(), {mark::LIMIT});
        s.IERR = err::NODE_INFEASIBLE;
        return false;
    }
    if (pf.per_problem_totals) s.ITERK[k()] += 1;
    s.NPIV = static_cast<int16_t>(s.NPIV + 1);
    idle_ = 0;
    x.colrng();
    if (s.DMPSW != 0) {
        x.ds.pnt.write(fmt::lines::iteration_no(), {static_cast<int16_t>(k()), s.NITER});
        const int32_t c = s.IC, r = s.IR;
        x.ds.pnt.write(fmt::lines::status_line(), {s.IC, s.IR, s.ICOL[c], s.IROW[r]});
        x.ds.pnt.write(fmt::lines::values8(), {s.RAT1, s.RAT2});
        dump_tableau(x);
    }
    return true;
}

// Copy the last column (with its label and norm) into column c; N - 1.
void Simplex::remove_column(int32_t c) {
    const int32_t n = s.N;
    if (c != n) {
        for (int32_t i = 1; i <= s.M; ++i) t(i, c) = t(i, n);
        s.ICOL[c] = s.ICOL[n];
        s.CNORM[c] = s.CNORM[n];
    }
    s.N = static_cast<int16_t>(n - 1);
}

// Copy the last row (with its label and norm) into row r; M - 1.
void Simplex::remove_row(int32_t r) {
    const int32_t m = s.M;
    if (r != m) {
        for (int32_t j = 1; j <= s.N; ++j) t(r, j) = t(m, j);
        s.IROW[r] = s.IROW[m];
        s.RNORM[r] = s.RNORM[m];
    }
    s.M = static_cast<int16_t>(m - 1);
}

// ---------------------------------------------------------------------------
// Complementing: x becomes U - x, U = f * x_w / weight scale.

// The label changes by 1000, in the tableau list and in ICOLSV together.
bool Simplex::relabel(int16_t& lbl) {
    const int16_t old = lbl;
    const int16_t nu = static_cast<int16_t>(old < lbl::ZC ? old + lbl::FLIP : old - lbl::FLIP);
    int32_t hit = 0;
    for (int32_t j = 2; j <= x.nck() - 1; ++j)
        if (s.ICOLSV[j] == old) {
            hit = j;
            break;
        }
    if (hit == 0) {
        fail6(x, old);
        return false;
    }
    s.ICOLSV[hit] = nu;
    lbl = nu;
    return true;
}

bool Simplex::complement_label_row(int32_t i) { return relabel(s.IROW[i]); }
bool Simplex::complement_label_col(int32_t c) { return relabel(s.ICOL[c]); }

// When the weight variable is nonbasic, its "row" is the work row 0 with
// -1 in the weight's column (x_w = 0 - (-1) x_w), so that U = f x_w / W
// keeps following x_w.  The same formulas then serve both cases; leaving the
// weight column out would lose the bound once the weight variable enters.
struct WeightRow {
    SolverState& s;
    int32_t wc;
    WeightRow(SolverState& st, int32_t w, int32_t c) : s(st), wc(w == 0 ? c : 0) {
        if (wc != 0) s.t(0, wc) = -1.0;
    }
    ~WeightRow() {
        if (wc != 0) s.t(0, wc) = 0.0;
    }
};

// Case 1: a basic variable of row i.
void Simplex::complement_row(int32_t i) {
    const double f = ufac(s.IROW[i]);
    WeightRow wr(s, x.w, x.wc);
    for (int32_t j = 1; j <= s.N; ++j) t(i, j) = f * t(x.w, j) / wscl() - t(i, j);
}

// Case 2: the entering variable of column c (a bound flip).  Returns false,
// changing nothing, when g is too small to divide by.
bool Simplex::complement_entering(int32_t c) {
    const int32_t w = x.w;
    const double f = ufac(s.ICOL[c]);
    WeightRow wr(s, x.w, x.wc);
    const double g = f * t(w, c) / wscl() + 1.0;
    if (std::fabs(g) <= s.TOLPIV) return false;
    const double den = wscl() * g;
    for (int32_t i = 1; i <= s.M; ++i) {
        if (i == w) continue;
        const double tic = t(i, c);
        if (tic != 0.0) {
            for (int32_t j = 1; j <= s.N; ++j) t(i, j) = t(i, j) - f * tic * t(w, j) / den;
        }
        t(i, c) = -t(i, c);
    }
    if (w != 0) {
        for (int32_t j = 1; j <= s.N; ++j) t(w, j) = t(w, j) / g;
        t(w, c) = -t(w, c);
    }
    return true;
}

// Case 3: the leaving variable of row r, before the exchange.
void Simplex::complement_leaving(int32_t r) {
    if (x.w != 0) {
        complement_row(r);
        return;
    }
    const double f = ufac(s.IROW[r]);
    if (x.wc != 0) t(r, x.wc) = t(r, x.wc) + f / wscl();
    for (int32_t j = 1; j <= s.N; ++j) t(r, j) = -t(r, j);
}

// ---------------------------------------------------------------------------
// Set-up of a fresh solve

// Pair link and resource link between entries d and e of the 0-Z list.
bool pair_link(const Problem& pb, int32_t d, int32_t e) {
    return (pb.IZA1[d] == pb.IZA1[e] && pb.IZA3[d] == pb.IZA3[e]) ||
           (pb.IZA2[d] == pb.IZA2[e] && pb.IZA4[d] == pb.IZA4[e]) ||
           (pb.IZA1[d] == pb.IZA2[e] && pb.IZA3[d] == pb.IZA4[e] && pb.IZA2[d] == pb.IZA1[e] &&
            pb.IZA4[d] == pb.IZA3[e]);
}

bool resource_link(const Problem& pb, int32_t d, int32_t e) {
    const int16_t a1 = pb.IZA1[d], a2 = pb.IZA2[d], b1 = pb.IZA1[e], b2 = pb.IZA2[e];
    if (a1 != 0 && (a1 == b1 || a1 == b2)) return true;
    if (a2 != 0 && (a2 == b2 || a2 == b1)) return true;
    return a1 == 0 && a2 == 0 && b1 == 0 && b2 == 0;
}

// Appends, for the fixed-at-1 points, the linked 0-Z variables of K as
// points fixed at 0.  The caller restores NBRPT when the solve returns, and
// nothing is appended past BPMAX.
bool Simplex::link_points() {
    const int32_t nb0 = s.NBRPT;
    const int32_t last = pb.last_zentry();
    auto append_links = [&](int32_t d, bool pair) {
        for (int32_t e = 2; e <= last; ++e) {
            if (e == d || pb.ZPRB[e] != k()) continue;
            if (!(pair ? pair_link(pb, d, e) : resource_link(pb, d, e))) continue;
            if (is_bp_of_k(pb.ZLAB[e])) continue;
            if (s.NBRPT >= BPMAX) return;
            s.NBRPT = static_cast<int16_t>(s.NBRPT + 1);
            s.IBPPRB[s.NBRPT] = static_cast<int16_t>(k());
            s.IBPVAR[s.NBRPT] = pb.ZLAB[e];
            s.IBOTH[s.NBRPT] = 0;
        }
    };
    if (pb.first_kind(k())) {
        for (int32_t i = 2; i <= nb0; ++i) {
            if (s.IBPPRB[i] != k()) continue;
            if (s.IBPVAR[i] - lbl::ZO > pb.NZK[k()]) continue;
            if (s.IBOTH[i] != 1 && s.IBOTH[i] != 2) continue;
            const int32_t d = find_entry(k(), s.IBPVAR[i]);
            if (d == 0) {
                fail6(x, s.IBPVAR[i]);
                return false;
            }
            append_links(d, true);
        }
    }
    for (int32_t i = 2; i <= nb0; ++i) {
        const int32_t p = s.IBPPRB[i];
        if (p == k() || p < 1 || p > NPROB) continue;
        if (s.IBPVAR[i] - lbl::ZO > pb.NZK[p]) continue;
        if (s.IBOTH[i] != 1 && s.IBOTH[i] != 2) continue;
        const int32_t d = find_entry(p, s.IBPVAR[i]);
        if (d == 0) {
            fail6(x, s.IBPVAR[i]);
            return false;
        }
        append_links(d, false);
    }
    return true;
}

// Rows of the six row classes that the branch points make redundant are
// removed.  The class range is clamped to the constraint rows 2..M.
void Simplex::row_classes() {
    const int32_t kk = k();
    auto in = [&](int32_t i, int q) { return i >= pb.IKA[kk][q] && i <= pb.IKB[kk][q]; };
    int32_t lo = pb.IKA[kk][1], hi = pb.IKB[kk][6];
    if (lo < 2) lo = 2;
    if (hi > s.M) hi = s.M;
    if (lo > hi) return;
    const int32_t nzlast = pb.NZK[kk] + 1 < s.N ? pb.NZK[kk] + 1 : s.N;
    const int32_t ncol = pb.NCK[kk];
    for (int32_t i = lo; i <= hi; ++i) {
        int32_t nz = 0, fix0 = 0, fix1p = 0, fix1n = 0;
        bool now = false, keep = false;
        for (int32_t j = 2; j <= nzlast; ++j) {
            if (t(i, j) == 0.0) continue;
            ++nz;
            const int32_t n = bp_of_k(s.ICOL[j]);
            if (n == 0) continue;
            const int16_t ib = s.IBOTH[n];
            if ((ib == 0 || ib == 3) && in(i, 3)) ++fix0;
            if (ib == 1 || ib == 2) {
                if (in(i, 1) || in(i, 5)) now = true;
                if (in(i, 2)) {
                    if (t(i, j) > 0.0)
                        ++fix1p;
                    else
                        ++fix1n;
                }
                if (i >= pb.IKA[kk][3] && i <= pb.IKB[kk][4]) {
                    const double adj = s.KADJ[kk];
                    if (adj != 0.0) {
                        t(i, j) = t(i, j) - adj / (s.RSCL[kk][i] * s.CSCL[kk][j]);
                        if (ncol >= 1 && ncol <= s.N)
                            t(i, ncol) = t(i, ncol) + adj / (wscl() * s.RSCL[kk][i]);
                    }
                    keep = true;
                }
            }
        }
        bool mark = now;
        if (!mark && !keep && nz > 0) {
            if (fix0 == nz) mark = true;
            if (fix1p + fix1n == nz && fix1p == fix1n) mark = true;
        }
        s.RMARK[i] = mark ? 1 : 0;
    }
    for (int32_t i = hi; i >= lo; --i) {
        if (s.RMARK[i] == 0) continue;
        remove_row(i);
    }
}

// 0-Z columns fixed by a branch point: at the bound (side 1 or 2) the column
// is folded into the weight variable's column, at 0 (side 0 or 3) dropped.
bool Simplex::fixed_columns() {
    // The weight variable's column: problem column NCK of the loaded
    // tableau, followed when a removal moves it.
    int32_t wcol = x.nck() <= s.N ? x.nck() : 0;
    int32_t j = 2;
    while (j <= s.N) {
        if (s.ICOL[j] < lbl::ZO) {
            ++j;
            continue;
        }
        const int32_t n = bp_of_k(s.ICOL[j]);
        if (n == 0) {
            ++j;
            continue;
        }
        const int16_t ib = s.IBOTH[n];
        if (ib == 1 || ib == 2) {
            if (wcol == 0) {  // no column NCK to fold into
                fail6(x, x.wlabel());
                return false;
            }
            const double fac = x.cscl(lbl::zindex(s.ICOL[j]) + 1) / wscl();
            for (int32_t i = 1; i <= s.M; ++i) t(i, wcol) = t(i, wcol) + fac * t(i, j);
        }
        if (wcol == s.N) wcol = j;
        remove_column(j);
    }
    return true;
}

void Simplex::empty_rows() {
    for (int32_t i = s.M; i >= 2; --i) {
        bool empty = true;
        for (int32_t j = 1; j <= s.N; ++j)
            if (t(i, j) != 0.0) {
                empty = false;
                break;
            }
        if (!empty) continue;
        remove_row(i);
    }
}

bool Simplex::setup() {
    s.NITER = 0;
    s.N = x.nck();
    if (s.NBRPT >= 2) {
        if (!link_points()) return false;
        if (pb.first_kind(k())) row_classes();
        if (!fixed_columns()) return false;
        empty_rows();
    }
    // Phase-1 objective: minus the sum of the artificial rows.
    for (int32_t j = 1; j <= s.N; ++j) t(1, j) = 0.0;
    for (int32_t i = 2; i <= s.M; ++i) {
        if (s.IROW[i] > -lbl::EQ) continue;
        for (int32_t j = 1; j <= s.N; ++j) t(1, j) = t(1, j) - t(i, j);
    }
    s.RSCL[k()][1] = 1.0;
    x.colrng();
    s.IPHASE = 1;
    return true;
}

// ---------------------------------------------------------------------------
// Phase-2 objective priced against the master prices

bool Simplex::phase2_objective() {
    const int32_t kk = k(), nck = x.nck();
    for (int32_t j = 1; j <= s.N; ++j) t(1, j) = 0.0;
    s.IPHASE = 0;
    x.find_weight();
    if (x.w == 0) {
        fail6(x, x.wlabel());
        return false;
    }
    const int32_t w = x.w;
    // Factor S of the existing proposals.
    float sf = 0.0f;
    for (int32_t p = 1; p <= s.NPROP[kk] && p <= NSLOT; ++p)
        sf += static_cast<float>(s.PROPX[kk][p][nck - 2] * s.LAMBDA[kk][p]);
    s.SFAC = sf;
    const double r1 = s.RSCL[kk][1];
    for (int32_t j = 2; j <= nck - 1; ++j) {
        double pj = 0.0;
        if (s.NPROP[kk] != 0) {
            double sum = 0.0;
            for (int32_t i = 2; i <= x.ncrow() - 1; ++i) sum += s.acpl(i, j) * s.PIM[i];
            pj = s.OBJSCL * sum;
            if (pb.PRSW == 1) pj = pj * static_cast<double>(sf);
        }
        s.COST[j] = (-s.acpl(1, j) + pj) / (r1 * s.CSCL[kk][j]);
    }
    s.COST[nck] = -s.acpl(1, nck) / (r1 * s.CSCL[kk][nck]);
    // Complemented variables and variables held at their bound.
    double coff = 0.0;
    for (int32_t j = 2; j <= nck - 1; ++j) {
        const int32_t l = s.ICOLSV[j];
        auto negate = [&]() {
            const double old = s.COST[j];
            s.COST[j] = -old;
            coff += old * s.CSCL[kk][j] / wscl();
        };
        if (l > lbl::ZC) negate();
        if (s.NBRPT >= 2) {
            for (int32_t n = 2; n <= s.NBRPT && n <= BPMAX; ++n) {
                if (s.IBPPRB[n] != kk) continue;
                const int32_t bv = s.IBPVAR[n];
                if (l != bv && l != bv + lbl::FLIP && l != bv - lbl::FLIP) continue;
                const int16_t ib = s.IBOTH[n];
                if ((l == bv && (ib == 1 || ib == 2)) || (l != bv && (ib == 0 || ib == 3))) negate();
                break;
            }
        }
    }
    for (int32_t j = 2; j <= nck; ++j)
        for (int32_t c = 2; c <= s.N; ++c)
            if (s.ICOL[c] == s.ICOLSV[j]) {
                t(1, c) = s.COST[j];
                break;
            }
    for (int32_t j = 1; j <= s.N; ++j) t(1, j) = t(1, j) - coff * t(w, j);
    for (int32_t j = 2; j <= nck; ++j)
        for (int32_t h = 2; h <= s.M; ++h)
            if (s.IROW[h] == s.ICOLSV[j]) {
                const double cj = s.COST[j];
                for (int32_t q = 1; q <= s.N; ++q) t(1, q) = t(1, q) - cj * t(h, q);
                break;
            }
    x.colrng();
    return true;
}

// ---------------------------------------------------------------------------
// The iterations

// Start of an iteration: work row, weight variable, feasibility test.
Next Simplex::feasibility() {
    for (int32_t j = 0; j <= s.N; ++j) t(0, j) = 0.0;
    x.find_weight();
    bool hit = false;
    for (int32_t i = 2; i <= s.M && !hit; ++i) {
        if (i == x.w) continue;
        const int32_t l = s.IROW[i];
        const double v = t(i, 1);
        if (s.IDUAL == 0) {
            hit = std::fabs(v) > tol(i, 1) && (v < 0.0 || (l >= lbl::ZO && above_bound(i)));
        } else {
            hit = v < -tol(i, 1) || (l > lbl::ZO && above_bound(i));
        }
    }
    if (s.IDUAL == 0) {
        s.FBND = 0.0f;
        if (hit) {
            s.IDUAL = 1;
            return Next::dual;
        }
        return Next::primal;
    }
    s.FBND = hit ? 1.0f : 0.0f;
    return Next::primal;
}

int Simplex::kind_of(int32_t i, int32_t j, double& dist, double& rate) {
    const int32_t l = s.IROW[i];
    const bool zo = l > lbl::ZO;
    const double f = zo ? x.cscl(lbl::zindex(l) + 1) : 1.0;
    block(i, j, dist, rate, f);
    const double a = t(i, j), tl = tol(i, j);
    if (a > tl && !(zo && rate > tl && std::fabs(dist / rate) < std::fabs(t(i, 1) / a))) return 1;
    if (zo && rate > tl) return 2;
    return 0;
}

void Simplex::block_rows() {
    brows_.clear();
    for (int32_t i = 2; i <= s.M; ++i) {
        if (i == x.w || !ratio_row_ok(i)) continue;
        const int32_t l = s.IROW[i];
        const bool zo = l > lbl::ZO;
        const double f = zo ? x.cscl(lbl::zindex(l) + 1) : 1.0;
        brows_.push_back(BlockRow{i, zo, f, f * t(x.w, 1) / wscl() - t(i, 1)});
    }
}

Next Simplex::primal() {
    s.FUNB = 0.0f;
    int32_t c = 0;
    double best = 0.0;
    bool c_free = false;  // the chosen column has no block: only its own bound limits it
    block_rows();
    for (int32_t j = 2; j <= s.N; ++j) {
        if (!(t(1, j) < -tol(1, j))) continue;
        const double* cj = &s.t(0, j);
        bool anyblock = false, elig = false;
        for (const BlockRow& b : brows_) {
            double rate;
            const int kd = kind_at(b, j, cj, rate);
            if (kd == 0) continue;
            anyblock = true;
            if (kd == 1 ? (cj[b.i] > s.TOLPIV || s.t(b.i, 1) < s.TOLPIV) : (rate > s.TOLPIV || b.dist < s.TOLPIV)) {
                elig = true;
                break;
            }
        }
        bool freecol = false;
        if (!anyblock) {
            // No row limits the column, but a 0-Z variable is still bounded
            // by U: it is flipped to its bound (a bound flip with no row) rather
            // than counted unbounded, which would fail a bounded problem.
            if (s.ICOL[j] > lbl::ZO) {
                elig = true;
                freecol = true;
            } else {
                s.FUNB = 1.0f;
            }
        }
        if (!elig) continue;
        const double q = t(1, j) / s.CNORM[j];
        if (c == 0 || q < best) {
            c = j;
            best = q;
            c_free = freecol;
        }
    }
    if (c == 0) {
        if (s.FUNB != 0.0f) {
            if (s.FBND == 0.0f || s.FRTY != 0.0f) return Next::fail;
            s.FRTY = 1.0f;
            return Next::dual;
        }
        // A basic value still out of its bounds after a dual exchange is
        // left to the dual step in either phase; only a clean basis ends a
        // phase.  (The phase-1 objective counts the artificial rows alone:
        // its optimum says nothing about a negative slack or a 0-Z value
        // above its bound, so ending phase 1 there would call a feasible
        // problem infeasible.)
        if (s.FBND != 0.0f) return Next::dual;
        return s.IPHASE == 1 ? Next::end1 : Next::optimal;
    }
    s.FRTY = 0.0f;
    s.FINF = 0.0f;
    s.IDUAL = 0;
    s.IC = static_cast<int16_t>(c);

    // Ratio test: kind 1 (a basic value falls to 0) and kind 2 (a basic
    // 0-Z value reaches its bound).
    int32_t n1 = 0, n2 = 0;
    double min1 = s.BIG, min2 = s.BIG;
    if (!c_free) {
        const double* cc = &s.t(0, c);
        for (const BlockRow& b : brows_) {
            const int32_t i = b.i;
            const double dist = b.dist;
            double rate;
            const int kd = kind_at(b, c, cc, rate);
            if (kd == 1) {
                if (!(t(i, c) > s.TOLPIV || t(i, 1) < s.TOLPIV)) continue;
                const double rr = std::fabs((t(i, 1) + tol(i, 1)) / t(i, c));
                if (rr < min1) {
                    s.LIST1[n1++] = static_cast<int16_t>(i);
                    min1 = rr;
                }
            } else if (kd == 2) {
                if (!(rate > s.TOLPIV || dist < s.TOLPIV)) continue;
                const double rr = std::fabs((dist + tol(i, 1)) / rate);
                if (rr < min2) {
                    s.LIST2[n2++] = static_cast<int16_t>(i);
                    min2 = rr;
                }
            }
        }
    }
    // Second and third passes.
    int32_t r1 = 0, r2 = 0;
    {
        double smax = 0.0;
        bool any = false;
        int32_t m1 = 0;
        for (int32_t q = 0; q < n1; ++q) {
            const int32_t i = s.LIST1[q];
            if (std::fabs(t(i, 1) / t(i, c)) < min1) {
                s.LIST1[m1++] = static_cast<int16_t>(i);
                const double sz = t(i, c) / s.RNORM[i];
                if (!any || sz > smax) smax = sz;
                any = true;
            }
        }
        double big = 0.0;
        for (int32_t q = 0; q < m1; ++q) {
            const int32_t i = s.LIST1[q];
            if (t(i, c) / s.RNORM[i] >= smax - tol(i, 1) && (r1 == 0 || t(i, c) > big)) {
                r1 = i;
                big = t(i, c);
            }
        }
    }
    {
        double smax = 0.0;
        bool any = false;
        int32_t m2 = 0;
        for (int32_t q = 0; q < n2; ++q) {
            const int32_t i = s.LIST2[q];
            double dist, rate;
            kind_of(i, c, dist, rate);
            if (std::fabs(dist / rate) <= min2) {
                s.LIST2[m2++] = static_cast<int16_t>(i);
                const double sz = std::fabs(rate) / s.RNORM[i];
                if (!any || sz > smax) smax = sz;
                any = true;
            }
        }
        double big = 0.0;
        for (int32_t q = 0; q < m2; ++q) {
            const int32_t i = s.LIST2[q];
            double dist, rate;
            kind_of(i, c, dist, rate);
            if (std::fabs(rate) / s.RNORM[i] >= smax - tol(i, 1) && (r2 == 0 || std::fabs(rate) > big)) {
                r2 = i;
                big = std::fabs(rate);
            }
        }
    }
    s.RAT1 = s.BIG;
    s.RAT2 = s.BIG;
    s.PIV1 = 0.0;
    s.PIV2 = 0.0;
    if (r1 != 0) {
        s.RAT1 = std::fabs(t(r1, 1) / t(r1, c));
        s.PIV1 = t(r1, c);
    }
    if (r2 != 0) {
        double dist, rate;
        kind_of(r2, c, dist, rate);
        s.RAT2 = std::fabs(dist / rate);
        s.PIV2 = std::fabs(rate);
    }
    int32_t r = 0;
    bool kind2 = false;
    double theta = s.BIG;
    if (r1 != 0 && (r2 == 0 || s.RAT1 <= s.RAT2)) {
        r = r1;
        theta = s.RAT1;
    } else if (r2 != 0) {
        r = r2;
        kind2 = true;
        theta = s.RAT2;
    } else if (!c_free) {
        return Next::fail;  // the passes left no row
    }
    s.IR = static_cast<int16_t>(r);
    if (r != 0 && t(r, 1) < 0.0) t(r, 1) = 0.0;

    // Bound flip of an entering 0-Z variable.
    if (s.ICOL[c] > lbl::ZO) {
        const int32_t w = x.w;
        const double f = ufac(s.ICOL[c]);
        const double xw = r != 0 ? t(w, 1) - t(r, 1) * t(w, c) / t(r, c) : t(w, 1);
        const double tl = r != 0 ? tol(r, 1) : s.TOLELM;
        if (theta / f > xw / wscl() + tl) {
            if (complement_entering(c)) {
                if (!complement_label_col(c)) return Next::done;
                s.NFLIP += 1;
                s.NCOMP2 += 1;
                if (!count_iteration()) return Next::done;
                return Next::feas;
            }
            if (r == 0) return Next::fail;  // nothing to exchange with
        }
    }
    if (kind2) {
        complement_leaving(r);
        if (!complement_label_row(r)) return Next::done;
        s.NCOMP3 += 1;
    }
    x.pivot(r, c);
    remove_artificial(c);
    if (!count_iteration()) return Next::done;
    return Next::feas;
}

Next Simplex::dual() {
    s.FUNB = 0.0f;
    int32_t ncomp = 0;
    for (int32_t i = 2; i <= s.M; ++i) {
        if (i == x.w || s.IROW[i] < lbl::ZO || !above_bound(i)) continue;
        complement_row(i);
        if (!complement_label_row(i)) return Next::done;
        s.NCOMP1 += 1;
        ++ncomp;
    }
    if (ncomp > 0) x.colrng();
    // A complemented row may now be negative: the flag is taken after the
    // complementing so that the retry through a primal step stays open.
    for (int32_t i = 2; i <= s.M; ++i)
        if (t(i, 1) < -tol(i, 1)) {
            s.FINF = 1.0f;
            break;
        }

    int32_t r = 0;
    double best = 0.0;
    for (int32_t i = 2; i <= s.M; ++i) {
        if (i == x.w || !(t(i, 1) < -tol(i, 1))) continue;
        bool has = false, elig = false;
        for (int32_t j = 2; j <= s.N; ++j) {
            if (t(1, j) >= -tol(1, j) && t(i, j) < -tol(i, j)) {
                has = true;
                if (t(i, j) < -s.TOLPIV) {
                    elig = true;
                    break;
                }
            }
        }
        if (!has) s.FUNB = 1.0f;
        if (!elig) continue;
        const double q = t(i, 1) / s.RNORM[i];
        if (r == 0 || q < best) {
            r = i;
            best = q;
        }
    }
    if (r == 0) {
        // Without an exchange the flags of a dual step and a following
        // primal step can send the solve back and forth between the two
        // for ever (a negative row whose entries are all too small to
        // pivot on, with no improving column): after more than 8 such
        // steps since the last counted iteration no pivot is possible.
        if (++idle_ > 8) return Next::fail;
        if (s.FUNB == 0.0f) {
            if (s.FINF != 0.0f) return Next::primal;
            return s.IPHASE == 1 ? Next::end1 : Next::optimal;
        }
        if (s.FINF == 0.0f || s.FRTY != 0.0f) return Next::fail;
        s.FRTY = 1.0f;
        return Next::primal;
    }
    s.IR = static_cast<int16_t>(r);

    // Ratio test on row r.
    int32_t n = 0;
    double rbest = -s.BIG;
    for (int32_t j = 2; j <= s.N; ++j) {
        if (!(t(1, j) >= -tol(1, j) && t(r, j) < -tol(r, j))) continue;
        const double rr = std::fabs(t(1, j) + tol(1, j)) / t(r, j);
        if (rr > rbest) {
            s.LIST1[n++] = static_cast<int16_t>(j);
            rbest = rr;
        }
    }
    if (n == 0) return Next::fail;
    int32_t m = 0;
    double smax = 0.0;
    for (int32_t q = 0; q < n; ++q) {
        const int32_t j = s.LIST1[q];
        if (std::fabs(t(1, j)) / t(r, j) > rbest) {
            s.LIST1[m++] = static_cast<int16_t>(j);
            const double sz = std::fabs(t(r, j)) / s.CNORM[j];
            if (m == 1 || sz > smax) smax = sz;
        }
    }
    int32_t c = 0;
    double big = 0.0;
    for (int32_t q = 0; q < m; ++q) {
        const int32_t j = s.LIST1[q];
        if (std::fabs(t(r, j)) / s.CNORM[j] > smax - tol(r, j) && (c == 0 || std::fabs(t(r, j)) > big)) {
            c = j;
            big = std::fabs(t(r, j));
        }
    }
    if (c == 0) return Next::fail;
    s.DRAT = rbest;
    s.DPIV = t(r, c);
    s.IC = static_cast<int16_t>(c);
    x.pivot(r, c);
    remove_artificial(c);
    if (!count_iteration()) return Next::done;
    s.IDUAL = 1;
    return Next::feas;
}

// End of phase 1: the artificials are driven out, their columns removed,
// and phase 2 begins.
Next Simplex::end_phase1() {
    if (std::fabs(t(1, 1)) > s.TOLELM || s.FBND != 0.0f) return Next::fail;
    x.find_weight();
    for (int32_t i = 2; i <= s.M; ++i) {
        if (s.IROW[i] > -lbl::EQ || i == x.w) continue;
        if (std::fabs(t(i, 1)) > s.TOLPIV) {
            x.ds.pnt.write(x.ds.pf.banner(), {mark::ARTIFICIAL_STAYS});
            fail6(x, 0);
            return Next::done;
        }
        t(i, 1) = 0.0;
        int32_t n = 0, jpos = 0;
        double rmin = s.BIG, pmax = 0.0;
        for (int32_t j = 2; j <= s.N; ++j) {
            if (s.ICOL[j] < -lbl::EQ || !(std::fabs(t(i, j)) > tol(i, j))) continue;
            if (t(i, j) < 0.0) {
                if (t(1, j) >= -tol(1, j)) {
                    const double rr = std::fabs(t(1, j) + tol(1, j)) / std::fabs(t(i, j));
                    if (rr <= rmin) {
                        s.LIST1[n++] = static_cast<int16_t>(j);
                        rmin = rr;
                    }
                }
            } else if (t(i, j) > pmax) {
                pmax = t(i, j);
                jpos = j;
            }
        }
        int32_t c = 0;
        if (n > 0) {
            int32_t m = 0;
            double smax = 0.0;
            for (int32_t q = 0; q < n; ++q) {
                const int32_t j = s.LIST1[q];
                if (std::fabs(t(1, j) / t(i, j)) <= rmin) {
                    s.LIST1[m++] = static_cast<int16_t>(j);
                    const double sz = std::fabs(t(i, j)) / s.CNORM[j];
                    if (m == 1 || sz > smax) smax = sz;
                }
            }
            double big = 0.0;
            for (int32_t q = 0; q < m; ++q) {
                const int32_t j = s.LIST1[q];
                if (std::fabs(t(i, j)) / s.CNORM[j] >= smax - tol(i, j) && (c == 0 || std::fabs(t(i, j)) > big)) {
                    c = j;
                    big = std::fabs(t(i, j));
                }
            }
        }
        if (c == 0) c = jpos;
        if (c != 0) {
            s.IR = static_cast<int16_t>(i);
            s.IC = static_cast<int16_t>(c);
            x.pivot(i, c);
            x.colrng();
            x.find_weight();
        } else {
            for (int32_t j = 1; j <= s.N; ++j) t(i, j) = 0.0;
        }
    }
    int32_t j = 2;
    while (j <= s.N) {
        if (s.ICOL[j] < -lbl::EQ)
            remove_column(j);
        else
            ++j;
    }
    for (j = 2; j <= s.N; ++j)
        if (t(1, j) < -tol(1, j))
            x.ds.pnt.write(x.ds.pf.error_line(), {static_cast<int16_t>(k()), err::LINE_IMPROVING_AFTER_PHASE1});
    s.RSCL[k()][1] = s.OSCL[k()];
    if (!phase2_objective()) return Next::done;
    s.IDUAL = 0;
    return Next::feas;
}

void Simplex::run() {
    const int32_t kk = k();
    s.IREJ = 0;
    s.IERR = 0;
    s.FRTY = 0.0f;
    s.FUNB = s.FBND = s.FINF = 0.0f;
    s.SMODEW = mode_;
    s.NPIV = 0;
    s.IR = s.IC = 0;
    s.NFLIP = s.NCOMP1 = s.NCOMP2 = s.NCOMP3 = 0;
    if (kk < 1 || kk > NPROB || pb.NCK[kk] < 2 || pb.NCK[kk] > s.tab_cols() || s.M < 1 || s.M > s.tab_rows()) {
        s.IERR = err::NOT_IN_ICOLSV;
        return;
    }
    s.WSCL = s.CSCL[kk][pb.NCK[kk]];
    // The zero work row, over the columns this solve can use (every write
    // to it beyond a step's own is undone, so the rest of it is zero).
    for (int32_t j = 0; j <= pb.NCK[kk]; ++j) t(0, j) = 0.0;
    Next nx;
    if (mode_ == SX_CONTINUE) {
        s.RSCL[kk][1] = s.OSCL[kk];
        if (!phase2_objective()) return;
    } else {
        if (!setup()) return;
    }
    s.IDUAL = 0;
    nx = Next::feas;
    for (;;) {
        switch (nx) {
            case Next::feas: nx = feasibility(); break;
            case Next::primal:
                ++idle_;
                nx = primal();
                if (idle_ > 8 && nx != Next::done) nx = Next::fail;
                break;
            case Next::dual: nx = dual(); break;
            case Next::end1:
                idle_ = 0;
                nx = end_phase1();
                break;
            case Next::optimal:
                s.IPHASE = -1;
                form_proposal(x);
                return;
            case Next::fail: fail(); return;
            case Next::done: return;
        }
    }
}

}  // namespace
}  // namespace sx

void simplx(State& ds, int16_t mode) {
    SolverState& s = ds.sv;
    const int16_t nbrpt = s.NBRPT;
    sx::Simplex(ds, mode).run();
    // Linked points appended by the set-up belong to this solve only.
    s.NBRPT = nbrpt;
}

}  // namespace kav::solver
