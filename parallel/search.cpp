// Process 0 of kavmpi: per sensitivity level the coupling matrices and both
// master tableaux are built; each branch point is evaluated on both sides at
// once (master problem 1 takes IBOTH 1, master problem 2 IBOTH 0) by one
// cycle over the workers; the better side is kept and the other remembered
// for backtracking.  MASTER, BRANCH, SELECT and the pass pieces are the
// decomposition library's, run on one decomposition state per master
// problem.
#include "search.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "branch.hpp"
#include "comm.hpp"
#include "cycle.hpp"
#include "dlines.hpp"
#include "driver.hpp"
#include "master.hpp"
#include "packed.hpp"
#include "results.hpp"
#include "select.hpp"

namespace kav::mpi {

namespace {

using namespace kav::decomp;

const fmt::Format& f_caused() {
    static const fmt::Format f("(/7HPROBLEM,I4,60H CAUSED TOTAL SOLUTION TO BE < BIG, INFEASIBLE, OR UNBOUNDED)");
    return f;
}
const fmt::Format& f_not_found() {
    static const fmt::Format f("(/10HSUBPROBLEM,I4,9H VARIABLE,I6,20H NOT FOUND IN ICOLSV/)");
    return f;
}
const fmt::Format& f_tot_one() {
    static const fmt::Format f("(/50HTOTAL NUMBER OF ITERATIONS OF MASTER PROBLEM ONE =,I9/)");
    return f;
}
const fmt::Format& f_tot_two() {
    static const fmt::Format f("(/50HTOTAL NUMBER OF ITERATIONS OF MASTER PROBLEM TWO =,I9/)");
    return f;
}
const fmt::Format& f_tot_sub() {
    static const fmt::Format f("(/40HTOTAL NUMBER OF ITERATIONS OF SUBPROBLEM,I2, 2H =,I9/)");
    return f;
}

struct Cand {
    int16_t p = 0, v = 0, b = 0;
};

// Copies into master problem 2 what the input set gave master problem 1.
void copy_tables(const SolverState& a, SolverState& b) {
#define KAV_COPY(x) std::memcpy(&b.x, &a.x, sizeof a.x)
    KAV_COPY(NSUB); KAV_COPY(NCRES); KAV_COPY(NLEVEL); KAV_COPY(NCROW); KAV_COPY(NZOTOT); KAV_COPY(PRSW);
    KAV_COPY(NCK); KAV_COPY(NZK); KAV_COPY(NRK); KAV_COPY(KCODE); KAV_COPY(KFLAG);
    KAV_COPY(KR01); KAV_COPY(KR02); KAV_COPY(KR03); KAV_COPY(KR05); KAV_COPY(KR06); KAV_COPY(KR07);
    KAV_COPY(KR08); KAV_COPY(KR09); KAV_COPY(KR16); KAV_COPY(KR17); KAV_COPY(KR18); KAV_COPY(KR19);
    KAV_COPY(KR20); KAV_COPY(KR21); KAV_COPY(NNZC); KAV_COPY(NZEROC); KAV_COPY(NIXBC);
    KAV_COPY(IKA); KAV_COPY(IKB); KAV_COPY(IKR); KAV_COPY(RRK1); KAV_COPY(RRK2); KAV_COPY(RRK3);
    KAV_COPY(RRK4); KAV_COPY(IRK1); KAV_COPY(IRK2); KAV_COPY(IRK3); KAV_COPY(IRK4); KAV_COPY(IRK5);
    KAV_COPY(IRK6); KAV_COPY(RRL1); KAV_COPY(RRL2); KAV_COPY(IRL1); KAV_COPY(IRL2); KAV_COPY(IRL3);
    KAV_COPY(ZPRB); KAV_COPY(ZLAB); KAV_COPY(IZA1); KAV_COPY(IZA2); KAV_COPY(IZA3); KAV_COPY(IZA4);
    KAV_COPY(ZOVD); KAV_COPY(ZOVR); KAV_COPY(NINC); KAV_COPY(INCCOL); KAV_COPY(INCROW); KAV_COPY(DINC);
#undef KAV_COPY
}

class Search {
public:
    Search(MpiState& st, DecompBox& one) : st_(st), m1_(one) {
        d_[1] = &*m1_;
        d_[2] = &*m2_;
        copy_tables(d_[1]->sv, d_[2]->sv);
        d_[2]->sv.TOLZER = d_[1]->sv.TOLZER;
        d_[2]->sv.TOLELM = d_[1]->sv.TOLELM;
        d_[2]->sv.TOLPIV = d_[1]->sv.TOLPIV;
        d_[2]->sv.OBJSCL = d_[1]->sv.OBJSCL;
        d_[2]->sv.BIG = d_[1]->sv.BIG;
        d_[2]->sv.PRTSW = 1;
        d_[2]->sv.MPIRUN = 1;
        nsub_ = st.NSUB;
        nl_ = st.NLEVEL + 1;
        for (int m = 1; m <= 2; ++m)
            for (int k = 1; k <= nsub_; ++k) istop_[m][k] = 10;
        nvres_ = 0;
        for (int k = 1; k <= nsub_; ++k) nvres_ += sv(1).NCK[k] - 2;
        for (int l = 1; l <= nl_; ++l) {
            resv_[l] = 37.0;
            double s = 0.0;
            for (int k = 1; k <= nsub_; ++k) s += static_cast<double>(sv(1).KR16[k]);
            start_[l] = s;
            bestl_[l] = s;
            xres_[l].assign(static_cast<size_t>(nvres_), 0.0);
        }
        for (int m = 1; m <= 2; ++m) {
            DecompState& ds = *d_[m];
            ds.pnt.share(st.pnt);  // one print file, written through either state
        }
    }

    void run();
    // 0, or the status of a failed write of the results record.
    int par5_status() const { return par5_status_; }

private:
    SolverState& sv(int m) { return d_[m]->sv; }
    DriverState& dv(int m) { return d_[m]->dv; }

    bool level_setup(int16_t l);
    void cycle();
    int16_t select(int m, Cand& c);
    void sync_points(int m);
    void error_first(int m);
    void error_second(int m, int16_t code);
    bool write_results();
    void results();

    MpiState& st_;
    DecompBox& m1_;
    DecompBox m2_;
    DecompState* d_[3] = {};
    int32_t nsub_ = 0, nl_ = 1, nvres_ = 0;
    int16_t level_ = 1;
    int16_t nbrpt_ = 1;
    int16_t ibpprb_[BPMAX + 2] = {}, ibpvar_[BPMAX + 2] = {}, iboth_[BPMAX + 2] = {};
    // The side not kept at each point.
    int16_t arc_[BPMAX + 2] = {}, aint_[BPMAX + 2] = {};
    double aobj_[BPMAX + 2] = {};
    Cand alt_[BPMAX + 2];
    double resv_[NLEV + 1] = {}, start_[NLEV + 1] = {}, bestl_[NLEV + 1] = {};
    std::vector<double> xres_[NLEV + 1];
    std::vector<std::vector<double>> cpl_;  // K's coupling matrix, RMAX x NCK(K), column-major
    int16_t rcode_[3] = {}, intfl_[3] = {}, mphase_[3] = {}, irstrt_ = 1;
    float mconv_[3] = {};
    int32_t nitmas_[3] = {};
    int16_t istop_[3][NPROB + 1] = {}, wcode_[3][NPROB + 1] = {}, wnopr_[3][NPROB + 1] = {},
            wvar_[3][NPROB + 1] = {};
    int32_t iterk_[3][NPROB + 1] = {};
    // The last count each worker sent: a continuation goes on counting from
    // it, so only the difference is new work.
    int16_t lastit_[3][NPROB + 1] = {};
    float newcol_[3][NPROB + 1] = {};
    double own_[3][NPROB + 1] = {};  // the new proposal's own objective
    int par5_status_ = 0;  // status of a failed write of the results record
};

bool Search::level_setup(int16_t l) {
    SolverState& s1 = sv(1);
    const int32_t rmax = st_.RMAX;
    cpl_.assign(static_cast<size_t>(nsub_) + 1, {});
    for (int32_t k = 1; k <= nsub_; ++k) {
        const int32_t n = s1.NCK[k];
        auto& c = cpl_[k];
        c.assign(static_cast<size_t>(rmax) * n, 0.0);
        packed::MemValueSource vs{st_.cpl_vals[k].data(), static_cast<int32_t>(st_.cpl_vals[k].size())};
        packed::MemRunSource rs{st_.cpl_runs[k].data(), static_cast<int32_t>(st_.cpl_runs[k].size())};
        const packed::UnpackResult r = packed::unpack(c.data(), rmax, rmax, n, vs, rs, s1.NIXBC[k]);
        if (r.values != s1.NNZC[k] || r.zeros != s1.NZEROC[k] || int64_t{r.values} + r.zeros != int64_t{rmax} * n) {
            st_.pnt.write(fmt::lines::banner3(), {int32_t{2}});
            st_.pnt.write(fmt::lines::status_line(), {int32_t{k}, s1.NNZC[k], r.values, s1.NZEROC[k], r.zeros,
                                                      int32_t{rmax}, n});
            st_.IERR = 2;
            st_.KSUB = static_cast<int16_t>(k);
            return false;
        }
        if (st_.PAR5FL == 1 || (st_.PAR5FL == 0 && l >= 2)) {
            for (int32_t i = 1; i <= s1.NINC[k][l]; ++i) {
                if (s1.INCROW[k][l][i] != 0) continue;
                const int16_t cc = s1.INCCOL[k][l][i];
                const int32_t col = cc == 0 ? 1 : (cc < 5000 ? cc + 1 : cc - 4999);
                if (col >= 1 && col <= n) c[static_cast<size_t>(col - 1) * rmax] += s1.DINC[k][l][i];
            }
        }
    }
    for (int m = 1; m <= 2; ++m) {
        SolverState& s = sv(m);
        s.LEVEL = l;
        for (int32_t r = 1; r <= rmax; ++r) s.RHSC[r] = cpl_[1][static_cast<size_t>(r - 1)];
        setup_master(*d_[m]);
        reset_master(*d_[m]);
        dv(m).BESTL[l] = bestl_[l];
    }
    return true;
}

void Search::sync_points(int m) {
    SolverState& s = sv(m);
    s.NBRPT = nbrpt_;
    for (int32_t i = 1; i <= nbrpt_ + 1 && i <= BPMAX; ++i) {
        s.IBPPRB[i] = ibpprb_[i];
        s.IBPVAR[i] = ibpvar_[i];
        s.IBOTH[i] = iboth_[i];
    }
    if (nbrpt_ > 1) s.IBOTH[nbrpt_] = m == 1 ? 1 : 0;
}

void Search::cycle() {
    irstrt_ = 1;
    bool flagged = false;
    for (int32_t k = 1; k <= nsub_; ++k) flagged = flagged || sv(1).KFLAG[k] == 1;
    for (int m = 1; m <= 2; ++m) {
        intfl_[m] = 0;
        dv(m).OBJL[level_] = 0.0;
        mconv_[m] = 0.0f;
        mphase_[m] = flagged ? 1 : 2;
    }
    auto live = [&](int m) { return rcode_[m] == 0 && mconv_[m] == 0.0f; };
    for (;;) {
        for (int m = 1; m <= 2; ++m)
            for (int32_t k = 1; k <= nsub_; ++k) newcol_[m][k] = 0.0f;
        bool served[3][NPROB + 1] = {};
        for (int m = 1; m <= 2; ++m) {
            if (!live(m)) continue;
            sync_points(m);
            SolverState& s = sv(m);
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (s.NPROP[k] == NSLOT) {
                    st_.pnt.write(fmt::lines::banner3(), {int32_t{777}});
                    continue;
                }
                served[m][k] = true;
                const int w = rank_of(k, m);
                send1(w, w, 153, istop_[m][k]);
                send1(w, w, 150, level_);
                send1(w, w, 137, nbrpt_);
                send(w, w, 138, &s.IBPPRB[1], nbrpt_);
                send(w, w, 139, &s.IBPVAR[1], nbrpt_);
                send(w, w, 140, &s.IBOTH[1], nbrpt_);
                send1(w, w, 141, irstrt_);
                send1(w, w, 142, s.NPROP[k]);
                send(w, w, 143, &s.LAMBDA[k][1], s.NPROP[k]);
                send(w, w, 144, &s.PIM[2], st_.RMAX - 2);
            }
        }
        for (int m = 1; m <= 2; ++m)
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (!served[m][k]) continue;
                SolverState& s = sv(m);
                const int w = rank_of(k, m);
                const int32_t n = s.NPROP[k];
                istop_[m][k] = recv1<int16_t>(w, w, 154);
                const int16_t it = recv1<int16_t>(w, w, 145);
                // The count is the worker's since its last fresh solve (low
                // 16 bits); add only what this cycle did.
                iterk_[m][k] += irstrt_ == 2 ? static_cast<uint16_t>(it - lastit_[m][k]) : static_cast<uint16_t>(it);
                lastit_[m][k] = it;
                recv(w, w, 146, &s.PROPZ[k][1], n + 1);
                own_[m][k] = recv1<double>(w, w, 155);
                for (int32_t c = 1; c <= n + 1; ++c) recv(w, w, 147, &s.PROPX[k][c][1], s.NCK[k] - 2);
                wcode_[m][k] = recv1<int16_t>(w, w, 149);
                wnopr_[m][k] = recv1<int16_t>(w, w, 148);
                if (wcode_[m][k] == 6) wvar_[m][k] = recv1<int16_t>(w, w, 151);
                if (wcode_[m][k] == 5) resv_[level_] = recv1<double>(w, w, 152);
            }
        for (int m = 1; m <= 2; ++m) {
            if (!live(m)) continue;
            SolverState& s = sv(m);
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (!served[m][k]) continue;
                if (istop_[m][k] == 1) {
                    rcode_[1] = rcode_[2] = 2;
                    return;
                }
                if (wcode_[m][k] == 5) {
                    // The error line names the subproblem that reported it.
                    st_.KSUB = static_cast<int16_t>(k);
                    rcode_[m] = 1;
                    st_.IERR = 5;
                    break;
                }
                if (wcode_[m][k] == 6) {
                    st_.pnt.write(f_not_found(), {static_cast<int16_t>(1000 * m + k), wvar_[m][k]});
                    rcode_[m] = 2;
                    break;
                }
                if (wcode_[m][k] == 7) {
                    rcode_[m] = 3;
                    break;
                }
                if (wnopr_[m][k] == 1) continue;
                const int32_t n = s.NPROP[k] + 1;
                if (!proposal_enters(*d_[m], k, n)) continue;
                const int32_t rmax = st_.RMAX;
                for (int32_t j = 1; j <= s.NCK[k]; ++j)
                    for (int32_t i = 1; i <= rmax; ++i) s.acpl(i, j) = cpl_[k][static_cast<size_t>(j - 1) * rmax + (i - 1)];
                if (!add_column(*d_[m], k, n, own_[m][k])) {
                    // An entry whose row is neither a column nor a row of
                    // the master: the column cannot be formed, and the
                    // master problem stops rather than go on without it.
                    st_.IERR = 4;
                    st_.KSUB = static_cast<int16_t>(k);
                    st_.pnt.write(dl::error_line_mpi(), {static_cast<int16_t>(1000 * m + k), st_.IERR});
                    rcode_[m] = 2;
                    break;
                }
                if (retain_column(*d_[m], k, n)) newcol_[m][k] = 1.0f;
            }
        }
        for (int m = 1; m <= 2; ++m) {
            if (!live(m)) continue;
            bool any = false;
            for (int32_t k = 1; k <= nsub_; ++k) any = any || newcol_[m][k] == 1.0f;
            if (!any) {
                mconv_[m] = 1.0f;
                print_continuous(*d_[m]);
                continue;
            }
            st_.KMAST = static_cast<int16_t>(m);
            master(*d_[m], mphase_[m]);
            nitmas_[m] += dv(m).NITMC;
            const int16_t ierr = sv(m).IERR;
            if (ierr == 4) {
                const int32_t r = dv(m).MBADROW;
                const int32_t lab = (r >= 1 && r <= dv(m).NROWM) ? dv(m).IROWM[r] : 0;
                st_.pnt.write(dl::master_variable(), {1000 * m + lab});
                st_.pnt.write(fmt::lines::status_line(),
                              dl::ints(std::span<const int32_t>(&dv(m).ICOLM[1], dv(m).NCOLM)));
                rcode_[m] = 2;
            } else if (ierr == 5) {
                rcode_[m] = 3;
            } else {
                dv(m).BESTL[level_] = bestl_[level_];
                intfl_[m] = combine(*d_[m]) ? 1 : 0;
                if (intfl_[m] == 1 && take_incumbent(*d_[m])) {
                    bestl_[level_] = dv(m).BESTL[level_];
                    resv_[level_] = sv(m).RESV[level_];
                    for (int32_t i = 1; i <= nvres_; ++i) xres_[level_][i - 1] = dv(m).xres(level_, i);
                }
                irstrt_ = 2;
            }
        }
        if (!live(1) && !live(2)) return;
    }
}

// SELECT on master problem m; 0, or this program's codes 4 and 5.
int16_t Search::select(int m, Cand& c) {
    sync_points(m);
    SolverState& s = sv(m);
    s.IERR = 0;
    select_branch(*d_[m]);
    if (s.IERR == 65) return 4;
    if (s.IERR != 0) return 5;
    c = Cand{s.IBPPRB[nbrpt_ + 1], s.IBPVAR[nbrpt_ + 1], s.IBOTH[nbrpt_ + 1]};
    return 0;
}

void Search::error_first(int m) {
    (void)m;
    st_.pnt.write(dl::error_line_mpi(), {1000 * st_.KMAST + st_.KSUB, st_.IERR});
}
void Search::error_second(int m, int16_t code) {
    st_.pnt.write(dl::error_line_mpi(), {1000 * m + 777, code});
}

// The results record as it stands into PAR5.DAT; a failed write prints the
// error line with code 160.
bool Search::write_results() {
    double resv[NLEV];
    for (int l = 1; l <= NLEV; ++l) resv[l - 1] = l <= nl_ ? resv_[l] : 37.0;
    results::Record r(resv, static_cast<int16_t>(nvres_));
    for (int l = 1; l <= nl_; ++l)
        for (int32_t j = 0; j < nvres_; ++j) r.value(xres_[l][static_cast<size_t>(j)]);
    par5_status_ = results::write(st_.par5, r);
    if (par5_status_ == 0) return true;
    st_.IERR = ERR_WRITE_PAR5;
    st_.pnt.write(dl::error_line_mpi(), {int16_t{777}, st_.IERR});
    return false;
}

void Search::results() {
    if (par5_status_ == 0) write_results();
    st_.par1.close();
    st_.par3.close();
    st_.par5.close();
    st_.pnt.write(f_tot_one(), {nitmas_[1]});
    for (int32_t k = 1; k <= nsub_; ++k) st_.pnt.write(f_tot_sub(), {static_cast<int16_t>(k), iterk_[1][k]});
    st_.pnt.write(f_tot_two(), {nitmas_[2]});
    for (int32_t k = 1; k <= nsub_; ++k) st_.pnt.write(f_tot_sub(), {static_cast<int16_t>(k), iterk_[2][k]});
    for (int m = 1; m <= 2; ++m)
        for (int32_t k = 1; k <= nsub_; ++k) {
            istop_[m][k] = 1;
            send1(rank_of(k, m), rank_of(k, m), 153, istop_[m][k]);
        }
}

void Search::run() {
    // Until the search has results, the record says "no result" for the
    // run's levels: a run that dies on the way leaves that behind.
    if (!write_results()) return results();
    level_ = 1;
    for (;;) {
        if (!level_setup(level_)) {
            error_first(1);
            return results();
        }
        nbrpt_ = 1;
        ibpprb_[1] = ibpvar_[1] = 0;
        iboth_[1] = 1;
        float f = 0.0f;
        int16_t e = 0;
        double b = 0.0;
        enum Step { new_point, prune, advance, back, side } next = prune;
        // The root.
        rcode_[1] = 0;
        rcode_[2] = 1;
        cycle();
        if (rcode_[1] == 1) {
            st_.KMAST = 1;
            error_first(1);
            return results();
        }
        if (rcode_[1] == 2) return results();
        if (rcode_[1] == 3) {
            f = 1.0f;
            next = advance;
        } else {
            if (intfl_[1] == 0) {
                Cand c;
                const int16_t code = select(1, c);
                if (code == 4) {
                    st_.IERR = 4;
                    error_first(1);
                    return results();
                }
                if (code == 5) {
                    error_second(1, 5);
                    return results();
                }
                ibpprb_[2] = c.p;
                ibpvar_[2] = c.v;
                iboth_[2] = c.b;
            }
            b = dv(1).OBJL[level_];
            e = intfl_[1];
            next = prune;
        }
        bool level_done = false;
        while (!level_done) {
            switch (next) {
                case new_point: {
                    rcode_[1] = rcode_[2] = 0;
                    const int16_t p = ibpprb_[nbrpt_];
                    for (int m = 1; m <= 2; ++m) {
                        iboth_[nbrpt_] = m == 1 ? 1 : 0;
                        if (p >= 1 && p <= nsub_ && sv(m).KCODE[p] <= 500) {
                            sync_points(m);
                            dv(m).RCODE = RC_DONE;
                            sv(m).IERR = 0;
                            branch(*d_[m]);
                            if (sv(m).IERR != 0) {
                                error_second(m, 5);
                                return results();
                            }
                            if (dv(m).RCODE == RC_INFEASIBLE) rcode_[m] = 3;
                        }
                    }
                    cycle();
                    Cand c[3];
                    for (int m = 1; m <= 2; ++m) {
                        if (rcode_[m] == 1) {
                            st_.KMAST = static_cast<int16_t>(m);
                            error_first(m);
                            return results();
                        }
                        if (rcode_[m] == 2) return results();
                        if (rcode_[m] != 3 && intfl_[m] == 0) {
                            const int16_t code = select(m, c[m]);
                            if (code == 4) {
                                st_.IERR = 4;
                                error_first(m);
                                return results();
                            }
                            if (code == 5) {
                                error_second(m, 5);
                                return results();
                            }
                        }
                    }
                    const int16_t s1 = rcode_[1], s2 = rcode_[2];
                    int keep = 0;
                    if (s1 != 0) keep = (s1 == 3 && s2 == 0) ? 2 : 0;
                    else if (s2 == 3) keep = 1;
                    else if (s2 != 0) keep = 0;
                    else keep = dv(1).OBJL[level_] > dv(2).OBJL[level_] ? 1 : 2;
                    if (keep == 0) {
                        next = back;
                        break;
                    }
                    const int other = 3 - keep;
                    b = dv(keep).OBJL[level_];
                    e = intfl_[keep];
                    arc_[nbrpt_] = rcode_[other];
                    aobj_[nbrpt_] = dv(other).OBJL[level_];
                    aint_[nbrpt_] = intfl_[other];
                    alt_[nbrpt_] = c[other];
                    iboth_[nbrpt_] = keep == 1 ? 1 : 0;
                    ibpprb_[nbrpt_ + 1] = c[keep].p;
                    ibpvar_[nbrpt_ + 1] = c[keep].v;
                    iboth_[nbrpt_ + 1] = c[keep].b;
                    st_.pnt.write(fmt::lines::banner3(), {});
                    st_.pnt.write(dl::bp_increased(), {static_cast<int16_t>(nbrpt_ - 1), ibpprb_[nbrpt_],
                                                       ibpvar_[nbrpt_], iboth_[nbrpt_]});
                    next = prune;
                    break;
                }
                case prune:
                    if (e == 1 || (e == 0 && bestl_[level_] >= b)) f = 1.0f;
                    e = 0;
                    next = advance;
                    break;
                case advance:
                    if (f == 0.0f) {
                        nbrpt_ = static_cast<int16_t>(nbrpt_ + 1);
                        if (nbrpt_ > BPLIM) {
                            st_.pnt.write(fmt::lines::banner3(), {int32_t{37}});
                            return results();
                        }
                        next = new_point;
                    } else if (nbrpt_ == 1) {
                        level_done = true;
                    } else {
                        st_.pnt.write(f_caused(), {int16_t{777}});
                        f = 0.0f;
                        next = side;
                    }
                    break;
                case back:
                    nbrpt_ = static_cast<int16_t>(nbrpt_ - 1);
                    st_.pnt.write(dl::bp_decreased(),
                                  {static_cast<int16_t>(nbrpt_ - 1), ibpprb_[nbrpt_], ibpvar_[nbrpt_]});
                    if (ibpvar_[nbrpt_] == 0 || nbrpt_ < 1) level_done = true;
                    else next = side;
                    break;
                case side:
                    if (iboth_[nbrpt_] > 1) {
                        next = back;
                        break;
                    }
                    iboth_[nbrpt_] = static_cast<int16_t>(iboth_[nbrpt_] + 2);
                    st_.pnt.write(dl::bp_changed(), {static_cast<int16_t>(nbrpt_ - 1), ibpprb_[nbrpt_],
                                                     ibpvar_[nbrpt_], iboth_[nbrpt_]});
                    if (arc_[nbrpt_] != 0 || aint_[nbrpt_] != 0) {
                        f = 1.0f;
                        next = advance;
                        break;
                    }
                    b = aobj_[nbrpt_];
                    e = 0;
                    ibpprb_[nbrpt_ + 1] = alt_[nbrpt_].p;
                    ibpvar_[nbrpt_ + 1] = alt_[nbrpt_].v;
                    iboth_[nbrpt_ + 1] = alt_[nbrpt_].b;
                    next = prune;
                    break;
            }
        }
        if (bestl_[level_] == start_[level_]) {
            st_.pnt.write(dl::no_mixed(), {});
            resv_[level_] = 37.0;
        }
        if (st_.PAR5FL == 1 || level_ == nl_) return results();
        level_ = static_cast<int16_t>(level_ + 1);
        st_.pnt.write(dl::sens_level(), {static_cast<int16_t>(level_ - 1)});
    }
}

}  // namespace

int master_search(MpiState& st, DecompBox& ds) {
    auto s = std::make_unique<Search>(st, ds);
    s->run();
    return s->par5_status();
}

}  // namespace kav::mpi
