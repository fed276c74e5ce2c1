// Process 0 of kavmpi: per sensitivity level the coupling matrices and both
// master tableaux are built; each branch point is evaluated on both sides at
// once (master problem 1 takes IBOTH 1, master problem 2 IBOTH 0) by one
// cycle over the workers; the better side is kept and the other remembered
// for backtracking.  MASTER, BRANCH, SELECT and the pass pieces are the
// decomposition routines of solver/, run on one state per master problem.
#include "search.hpp"

#include <algorithm>
#include <vector>

#include "branch.hpp"
#include "comm.hpp"
#include "errcodes.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "master.hpp"
#include "packed.hpp"
#include "pass.hpp"
#include "select.hpp"
#include "setup.hpp"

namespace kav::mpi {

namespace {

using namespace kav::solver;

// Lines of kavmpi's search alone.
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

// Problem number of the error lines: 1000 * master problem + subproblem.
int32_t problem_no(int32_t m, int32_t k) { return lbl::PROP * m + k; }

class Search {
public:
    explicit Search(MpiState& st) : st_(st), z_(st.root) {
        nsub_ = st.pb.NSUB;
        nl_ = st.pb.NLEVEL + 1;
        for (int m = 1; m <= NPERSUB; ++m)
            for (int k = 1; k <= nsub_; ++k) z_.ISTOP[m][k] = STOP_GO;
        z_.nvres = 0;
        for (int k = 1; k <= nsub_; ++k) z_.nvres += st.pb.NCK[k] - 2;
        for (int l = 1; l <= nl_; ++l) {
            z_.RESV[l] = err::STNONE;
            double s = 0.0;
            for (int k = 1; k <= nsub_; ++k) s += static_cast<double>(st.pb.KR16[k]);
            z_.START[l] = s;
            z_.BESTL[l] = s;
            z_.XRES[l].assign(static_cast<size_t>(z_.nvres), 0.0);
        }
        for (int m = 1; m <= NPERSUB; ++m) st.master[m]->pnt.share(st.pnt);  // one print file, written by both
    }

    void run();

private:
    State& fam(int m) { return st_.master[m]->fam; }
    SolverState& sv(int m) { return st_.master[m]->sv; }
    MasterState& dv(int m) { return st_.master[m]->ms; }

    bool level_setup(int16_t l);
    void cycle();
    int16_t select(int m, Candidate& c);
    void sync_points(int m);
    void error_first();
    void error_second(int m, int16_t code);
    bool write_results();
    void results();

    MpiState& st_;
    RootSearch& z_;
    int32_t nsub_ = 0, nl_ = 1;
};

bool Search::level_setup(int16_t l) {
    const Problem& pb = st_.pb;
    const int32_t rmax = st_.RMAX();
    z_.CPL.assign(static_cast<size_t>(nsub_) + 1, {});
    for (int32_t k = 1; k <= nsub_; ++k) {
        const int32_t n = pb.NCK[k];
        auto& c = z_.CPL[k];
        c.assign(static_cast<size_t>(rmax) * n, 0.0);
        packed::MemValueSource vs{st_.cpl_vals[k].data(), static_cast<int32_t>(st_.cpl_vals[k].size())};
        packed::MemRunSource rs{st_.cpl_runs[k].data(), static_cast<int32_t>(st_.cpl_runs[k].size())};
        const packed::UnpackResult r = packed::unpack(c.data(), rmax, rmax, n, vs, rs, pb.NIXBC[k]);
        if (r.values != pb.NNZC[k] || r.zeros != pb.NZEROC[k] || int64_t{r.values} + r.zeros != int64_t{rmax} * n) {
            st_.pnt.write(fmt::lines::banner3(), {int32_t{mark::COUPLING_REBUILD}});
            st_.pnt.write(fmt::lines::status_line(), {int32_t{k}, pb.NNZC[k], r.values, pb.NZEROC[k], r.zeros,
                                                      int32_t{rmax}, n});
            st_.IERR = err::COUNTS_READ;
            st_.KSUB = static_cast<int16_t>(k);
            return false;
        }
        if (st_.PAR5FL == 1 || (st_.PAR5FL == 0 && l >= 2)) {
            for (int32_t i = 1; i <= pb.NINC[k][l]; ++i) {
                if (pb.INCROW[k][l][i] != 0) continue;
                int32_t row, col;
                increment_place(pb.INCCOL[k][l][i], 0, rmax, n, row, col);
                if (col >= 1 && col <= n) c[static_cast<size_t>(col - 1) * rmax] += pb.DINC[k][l][i];
            }
        }
    }
    for (int m = 1; m <= NPERSUB; ++m) {
        SolverState& s = sv(m);
        s.LEVEL = l;
        for (int32_t r = 1; r <= rmax; ++r) s.RHSC[r] = z_.CPL[1][static_cast<size_t>(r - 1)];
        setup_master(fam(m));
        reset_master(fam(m));
        dv(m).BESTL[l] = z_.BESTL[l];
        // The result positions of the level, as the library's set-up counts
        // them: a pass that ends before any master run still lists them all.
        dv(m).NVRES = static_cast<int16_t>(z_.nvres);
    }
    return true;
}

void Search::sync_points(int m) {
    SolverState& s = sv(m);
    s.NBRPT = z_.NBRPT;
    for (int32_t i = 1; i <= z_.NBRPT + 1 && i <= BPMAX; ++i) {
        s.IBPPRB[i] = z_.IBPPRB[i];
        s.IBPVAR[i] = z_.IBPVAR[i];
        s.IBOTH[i] = z_.IBOTH[i];
    }
    if (z_.NBRPT > 1) s.IBOTH[z_.NBRPT] = m == 1 ? 1 : 0;
}

void Search::cycle() {
    const Problem& pb = st_.pb;
    z_.IRSTRT = RESTART_FRESH;
    bool flagged = false;
    for (int32_t k = 1; k <= nsub_; ++k) flagged = flagged || pb.KFLAG[k] == 1;
    for (int m = 1; m <= NPERSUB; ++m) {
        z_.INTFL[m] = 0;
        dv(m).OBJL[z_.LEVEL] = 0.0;
        z_.MCONV[m] = 0.0f;
        z_.MPHASE[m] = flagged ? MASTER_PHASE1 : MASTER_PHASE2;
    }
    auto live = [&](int m) { return z_.RCODE[m] == RC_DONE && z_.MCONV[m] == 0.0f; };
    for (;;) {
        for (int m = 1; m <= NPERSUB; ++m)
            for (int32_t k = 1; k <= nsub_; ++k) z_.NEWCOL[m][k] = 0.0f;
        bool served[NPERSUB + 1][NPROB + 1] = {};
        for (int m = 1; m <= NPERSUB; ++m) {
            if (!live(m)) continue;
            sync_points(m);
            SolverState& s = sv(m);
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (s.NPROP[k] == NSLOT) {
                    st_.pnt.write(fmt::lines::banner3(), {int32_t{mark::FULL}});
                    continue;
                }
                served[m][k] = true;
                const int w = rank_of(k, m);
                send1(w, w, msg::STOP, z_.ISTOP[m][k]);
                send1(w, w, msg::LEVEL, z_.LEVEL);
                send1(w, w, msg::NBRPT, z_.NBRPT);
                send(w, w, msg::IBPPRB, &s.IBPPRB[1], z_.NBRPT);
                send(w, w, msg::IBPVAR, &s.IBPVAR[1], z_.NBRPT);
                send(w, w, msg::IBOTH, &s.IBOTH[1], z_.NBRPT);
                send1(w, w, msg::IRSTRT, z_.IRSTRT);
                send1(w, w, msg::NPROP, s.NPROP[k]);
                send(w, w, msg::LAMBDA, &s.LAMBDA[k][1], s.NPROP[k]);
                send(w, w, msg::PIM, &s.PIM[2], st_.RMAX() - 2);
            }
        }
        for (int m = 1; m <= NPERSUB; ++m)
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (!served[m][k]) continue;
                SolverState& s = sv(m);
                const int w = rank_of(k, m);
                const int32_t n = s.NPROP[k];
                z_.ISTOP[m][k] = recv1<int16_t>(w, w, msg::STOP_BACK);
                const int16_t it = recv1<int16_t>(w, w, msg::NITER);
                // The count is the worker's since its last fresh solve (low
                // 16 bits); add only what this cycle did.
                z_.ITERK[m][k] += z_.IRSTRT == RESTART_CONTINUE ? static_cast<uint16_t>(it - z_.LASTIT[m][k])
                                                                : static_cast<uint16_t>(it);
                z_.LASTIT[m][k] = it;
                recv(w, w, msg::PCOST, &s.PROPZ[k][1], n + 1);
                z_.OWN[m][k] = recv1<double>(w, w, msg::OWN);
                for (int32_t c = 1; c <= n + 1; ++c) recv(w, w, msg::PXV, &s.PROPX[k][c][1], pb.NCK[k] - 2);
                z_.WCODE[m][k] = recv1<int16_t>(w, w, msg::WCODE);
                z_.WNOPR[m][k] = recv1<int16_t>(w, w, msg::WNOPR);
                if (z_.WCODE[m][k] == err::NOT_IN_ICOLSV) z_.WVAR[m][k] = recv1<int16_t>(w, w, msg::WVAR);
                if (z_.WCODE[m][k] == err::SIMPLEX_FAIL) z_.RESV[z_.LEVEL] = recv1<double>(w, w, msg::WRESV);
            }
        for (int m = 1; m <= NPERSUB; ++m) {
            if (!live(m)) continue;
            SolverState& s = sv(m);
            for (int32_t k = 1; k <= nsub_; ++k) {
                if (!served[m][k]) continue;
                if (z_.ISTOP[m][k] == STOP_END) {
                    z_.RCODE[1] = z_.RCODE[2] = RC_STOP;
                    return;
                }
                if (z_.WCODE[m][k] == err::SIMPLEX_FAIL) {
                    // The error line names the subproblem that reported it.
                    st_.KSUB = static_cast<int16_t>(k);
                    z_.RCODE[m] = RC_ERROR;
                    st_.IERR = err::SIMPLEX_FAIL;
                    break;
                }
                if (z_.WCODE[m][k] == err::NOT_IN_ICOLSV) {
                    st_.pnt.write(f_not_found(), {static_cast<int16_t>(problem_no(m, k)), z_.WVAR[m][k]});
                    z_.RCODE[m] = RC_STOP;
                    break;
                }
                if (z_.WCODE[m][k] == err::NODE_INFEASIBLE) {
                    z_.RCODE[m] = RC_INFEASIBLE;
                    break;
                }
                if (z_.WNOPR[m][k] == 1) continue;
                const int32_t n = s.NPROP[k] + 1;
                if (!proposal_enters(fam(m), k, n)) continue;
                const int32_t rmax = st_.RMAX();
                for (int32_t j = 1; j <= pb.NCK[k]; ++j)
                    for (int32_t i = 1; i <= rmax; ++i)
                        s.acpl(i, j) = z_.CPL[k][static_cast<size_t>(j - 1) * rmax + (i - 1)];
                if (!add_column(fam(m), k, n, z_.OWN[m][k])) {
                    // An entry whose row is neither a column nor a row of
                    // the master: the column cannot be formed, and the
                    // master problem stops rather than go on without it.
                    st_.IERR = err::NO_MASTER_PLACE;
                    st_.KSUB = static_cast<int16_t>(k);
                    st_.pnt.write(fmt::lines::error_line5(), {static_cast<int16_t>(problem_no(m, k)), st_.IERR});
                    z_.RCODE[m] = RC_STOP;
                    break;
                }
                if (retain_column(fam(m), k, n)) z_.NEWCOL[m][k] = 1.0f;
            }
        }
        for (int m = 1; m <= NPERSUB; ++m) {
            if (!live(m)) continue;
            bool any = false;
            for (int32_t k = 1; k <= nsub_; ++k) any = any || z_.NEWCOL[m][k] == 1.0f;
            if (!any) {
                z_.MCONV[m] = 1.0f;
                print_continuous(fam(m));
                continue;
            }
            st_.KMAST = static_cast<int16_t>(m);
            master(fam(m), z_.MPHASE[m]);
            z_.NITMAS[m] += dv(m).NITMC;
            const int16_t ierr = sv(m).IERR;
            if (ierr == err::NO_MASTER_PLACE) {
                const int32_t r = dv(m).MBADROW;
                const int32_t lab = (r >= 1 && r <= dv(m).NROWM) ? dv(m).IROWM[r] : 0;
                st_.pnt.write(fmt::lines::master_variable(), {lbl::PROP * m + lab});
                st_.pnt.write(fmt::lines::status_line(),
                              fmt::ints(std::span<const int32_t>(&dv(m).ICOLM[1], dv(m).NCOLM)));
                z_.RCODE[m] = RC_STOP;
            } else if (ierr == err::SIMPLEX_FAIL) {
                z_.RCODE[m] = RC_INFEASIBLE;
            } else {
                dv(m).BESTL[z_.LEVEL] = z_.BESTL[z_.LEVEL];
                z_.INTFL[m] = combine(fam(m)) ? 1 : 0;
                if (z_.INTFL[m] == 1 && take_incumbent(fam(m))) {
                    z_.BESTL[z_.LEVEL] = dv(m).BESTL[z_.LEVEL];
                    z_.RESV[z_.LEVEL] = sv(m).RESV[z_.LEVEL];
                    for (int32_t i = 1; i <= z_.nvres; ++i) z_.XRES[z_.LEVEL][i - 1] = dv(m).xres(z_.LEVEL, i);
                }
                z_.IRSTRT = RESTART_CONTINUE;
            }
        }
        if (!live(1) && !live(2)) return;
    }
}

// SELECT on master problem m; 0, or this program's codes 4 and 5.
int16_t Search::select(int m, Candidate& c) {
    sync_points(m);
    SolverState& s = sv(m);
    s.IERR = 0;
    select_branch(fam(m));
    if (s.IERR == err::SELECT_NOT_IN_LIST) return ERR_SELECT_ENTRY;
    if (s.IERR != 0) return ERR_SELECT;
    c = candidate_at(s, z_.NBRPT + 1);
    return 0;
}

void Search::error_first() {
    st_.pnt.write(fmt::lines::error_line5(), {problem_no(st_.KMAST, st_.KSUB), st_.IERR});
}
void Search::error_second(int m, int16_t code) {
    st_.pnt.write(fmt::lines::error_line5(), {problem_no(m, mark::ALL_PROBLEMS), code});
}

// The results record as it stands into PAR5.DAT; a failed write prints the
// error line with code 160.
bool Search::write_results() {
    double resv[handoff::NLEVELS];
    for (int l = 1; l <= NLEV; ++l) resv[l - 1] = l <= nl_ ? z_.RESV[l] : err::STNONE;
    z_.par5_status = handoff::write_results(st_.par5, resv, static_cast<int16_t>(z_.nvres), nl_,
                                            [&](int32_t l, int32_t j) { return z_.XRES[l][static_cast<size_t>(j - 1)]; });
    if (z_.par5_status == 0) return true;
    st_.IERR = ERR_WRITE_PAR5;
    st_.pnt.write(fmt::lines::error_line5(), {mark::ALL_PROBLEMS, st_.IERR});
    return false;
}

void Search::results() {
    if (z_.par5_status == 0) write_results();
    st_.par1.close();
    st_.par3.close();
    st_.par5.close();
    st_.pnt.write(f_tot_one(), {z_.NITMAS[1]});
    for (int32_t k = 1; k <= nsub_; ++k) st_.pnt.write(f_tot_sub(), {static_cast<int16_t>(k), z_.ITERK[1][k]});
    st_.pnt.write(f_tot_two(), {z_.NITMAS[2]});
    for (int32_t k = 1; k <= nsub_; ++k) st_.pnt.write(f_tot_sub(), {static_cast<int16_t>(k), z_.ITERK[2][k]});
    for (int m = 1; m <= NPERSUB; ++m)
        for (int32_t k = 1; k <= nsub_; ++k) {
            z_.ISTOP[m][k] = STOP_END;
            send1(rank_of(k, m), rank_of(k, m), msg::STOP, z_.ISTOP[m][k]);
        }
}

void Search::run() {
    // Until the search has results, the record says "no result" for the
    // run's levels: a run that dies on the way leaves that behind.
    if (!write_results()) return results();
    z_.LEVEL = 1;
    for (;;) {
        if (!level_setup(z_.LEVEL)) {
            error_first();
            return results();
        }
        z_.NBRPT = 1;
        z_.IBPPRB[1] = z_.IBPVAR[1] = 0;
        z_.IBOTH[1] = 1;
        float f = 0.0f;
        int16_t e = 0;
        double b = 0.0;
        enum Step { new_point, prune, advance, back, side } next = prune;
        // The root.
        z_.RCODE[1] = RC_DONE;
        z_.RCODE[2] = RC_ERROR;  // master problem 2 waits for the first branch point
        cycle();
        if (z_.RCODE[1] == RC_ERROR) {
            st_.KMAST = 1;
            error_first();
            return results();
        }
        if (z_.RCODE[1] == RC_STOP) return results();
        if (z_.RCODE[1] == RC_INFEASIBLE) {
            f = 1.0f;
            next = advance;
        } else {
            if (z_.INTFL[1] == 0) {
                Candidate c;
                const int16_t code = select(1, c);
                if (code == ERR_SELECT_ENTRY) {
                    st_.IERR = ERR_SELECT_ENTRY;
                    error_first();
                    return results();
                }
                if (code == ERR_SELECT) {
                    error_second(1, ERR_SELECT);
                    return results();
                }
                z_.IBPPRB[2] = c.p;
                z_.IBPVAR[2] = c.v;
                z_.IBOTH[2] = c.b;
            }
            b = dv(1).OBJL[z_.LEVEL];
            e = z_.INTFL[1];
            next = prune;
        }
        bool level_done = false;
        while (!level_done) {
            switch (next) {
                case new_point: {
                    z_.RCODE[1] = z_.RCODE[2] = RC_DONE;
                    const int16_t p = z_.IBPPRB[z_.NBRPT];
                    for (int m = 1; m <= NPERSUB; ++m) {
                        z_.IBOTH[z_.NBRPT] = m == 1 ? 1 : 0;
                        if (p >= 1 && p <= nsub_ && st_.pb.first_kind(p)) {
                            sync_points(m);
                            dv(m).RCODE = RC_DONE;
                            sv(m).IERR = 0;
                            branch(fam(m));
                            if (sv(m).IERR != 0) {
                                error_second(m, ERR_SELECT);
                                return results();
                            }
                            if (dv(m).RCODE == RC_INFEASIBLE) z_.RCODE[m] = RC_INFEASIBLE;
                        }
                    }
                    cycle();
                    Candidate c[NPERSUB + 1];
                    for (int m = 1; m <= NPERSUB; ++m) {
                        if (z_.RCODE[m] == RC_ERROR) {
                            st_.KMAST = static_cast<int16_t>(m);
                            error_first();
                            return results();
                        }
                        if (z_.RCODE[m] == RC_STOP) return results();
                        if (z_.RCODE[m] != RC_INFEASIBLE && z_.INTFL[m] == 0) {
                            const int16_t code = select(m, c[m]);
                            if (code == ERR_SELECT_ENTRY) {
                                st_.IERR = ERR_SELECT_ENTRY;
                                error_first();
                                return results();
                            }
                            if (code == ERR_SELECT) {
                                error_second(m, ERR_SELECT);
                                return results();
                            }
                        }
                    }
                    const int16_t s1 = z_.RCODE[1], s2 = z_.RCODE[2];
                    int keep = 0;
                    if (s1 != RC_DONE) keep = (s1 == RC_INFEASIBLE && s2 == RC_DONE) ? 2 : 0;
                    else if (s2 == RC_INFEASIBLE) keep = 1;
                    else if (s2 != RC_DONE) keep = 0;
                    else keep = dv(1).OBJL[z_.LEVEL] > dv(2).OBJL[z_.LEVEL] ? 1 : 2;
                    if (keep == 0) {
                        next = back;
                        break;
                    }
                    const int other = 3 - keep;
                    b = dv(keep).OBJL[z_.LEVEL];
                    e = z_.INTFL[keep];
                    z_.ARC[z_.NBRPT] = z_.RCODE[other];
                    z_.AOBJ[z_.NBRPT] = dv(other).OBJL[z_.LEVEL];
                    z_.AINT[z_.NBRPT] = z_.INTFL[other];
                    z_.ALT[z_.NBRPT] = c[other];
                    z_.IBOTH[z_.NBRPT] = keep == 1 ? 1 : 0;
                    z_.IBPPRB[z_.NBRPT + 1] = c[keep].p;
                    z_.IBPVAR[z_.NBRPT + 1] = c[keep].v;
                    z_.IBOTH[z_.NBRPT + 1] = c[keep].b;
                    st_.pnt.write(fmt::lines::banner3(), {});
                    st_.pnt.write(fmt::lines::bp_increased(), {static_cast<int16_t>(z_.NBRPT - 1), z_.IBPPRB[z_.NBRPT],
                                                               z_.IBPVAR[z_.NBRPT], z_.IBOTH[z_.NBRPT]});
                    next = prune;
                    break;
                }
                case prune:
                    if (e == 1 || (e == 0 && z_.BESTL[z_.LEVEL] >= b)) f = 1.0f;
                    e = 0;
                    next = advance;
                    break;
                case advance:
                    if (f == 0.0f) {
                        z_.NBRPT = static_cast<int16_t>(z_.NBRPT + 1);
                        if (z_.NBRPT > BPLIM) {
                            st_.pnt.write(fmt::lines::banner3(), {int32_t{mark::LIMIT}});
                            return results();
                        }
                        next = new_point;
                    } else if (z_.NBRPT == 1) {
                        level_done = true;
                    } else {
                        st_.pnt.write(f_caused(), {mark::ALL_PROBLEMS});
                        f = 0.0f;
                        next = side;
                    }
                    break;
                case back:
                    z_.NBRPT = static_cast<int16_t>(z_.NBRPT - 1);
                    st_.pnt.write(fmt::lines::bp_decreased(),
                                  {static_cast<int16_t>(z_.NBRPT - 1), z_.IBPPRB[z_.NBRPT], z_.IBPVAR[z_.NBRPT]});
                    if (z_.IBPVAR[z_.NBRPT] == 0 || z_.NBRPT < 1) level_done = true;
                    else next = side;
                    break;
                case side:
                    if (z_.IBOTH[z_.NBRPT] > 1) {
                        next = back;
                        break;
                    }
                    z_.IBOTH[z_.NBRPT] = static_cast<int16_t>(z_.IBOTH[z_.NBRPT] + 2);
                    st_.pnt.write(fmt::lines::bp_changed(), {static_cast<int16_t>(z_.NBRPT - 1), z_.IBPPRB[z_.NBRPT],
                                                             z_.IBPVAR[z_.NBRPT], z_.IBOTH[z_.NBRPT]});
                    if (z_.ARC[z_.NBRPT] != 0 || z_.AINT[z_.NBRPT] != 0) {
                        f = 1.0f;
                        next = advance;
                        break;
                    }
                    b = z_.AOBJ[z_.NBRPT];
                    e = 0;
                    z_.IBPPRB[z_.NBRPT + 1] = z_.ALT[z_.NBRPT].p;
                    z_.IBPVAR[z_.NBRPT + 1] = z_.ALT[z_.NBRPT].v;
                    z_.IBOTH[z_.NBRPT + 1] = z_.ALT[z_.NBRPT].b;
                    next = prune;
                    break;
            }
        }
        if (z_.BESTL[z_.LEVEL] == z_.START[z_.LEVEL]) {
            st_.pnt.write(fmt::lines::no_mixed(), {});
            z_.RESV[z_.LEVEL] = err::STNONE;
        }
        if (st_.PAR5FL == 1 || z_.LEVEL == nl_) return results();
        z_.LEVEL = static_cast<int16_t>(z_.LEVEL + 1);
        st_.pnt.write(fmt::lines::sens_level(), {static_cast<int16_t>(z_.LEVEL - 1)});
    }
}

}  // namespace

int master_search(MpiState& st) {
    Search s(st);
    s.run();
    return st.root.par5_status;
}

}  // namespace kav::mpi
