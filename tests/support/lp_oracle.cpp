#include "lp_oracle.hpp"

#include <glpk.h>

namespace kav::test {

LpResult solve_lp(const LpProblem& p) {
    const int n = static_cast<int>(p.c.size());
    const int m = static_cast<int>(p.rows.size());
    glp_term_out(GLP_OFF);
    glp_prob* lp = glp_create_prob();
    glp_set_obj_dir(lp, GLP_MAX);
    if (m > 0) glp_add_rows(lp, m);
    if (n > 0) glp_add_cols(lp, n);
    bool mip = false;
    for (int j = 0; j < n; ++j) {
        const double lo = j < static_cast<int>(p.lb.size()) ? p.lb[j] : 0.0;
        const double up = j < static_cast<int>(p.ub.size()) ? p.ub[j] : LP_INF;
        int kind;
        if (lo == -LP_INF && up == LP_INF)
            kind = GLP_FR;
        else if (up == LP_INF)
            kind = GLP_LO;
        else if (lo == -LP_INF)
            kind = GLP_UP;
        else if (lo == up)
            kind = GLP_FX;
        else
            kind = GLP_DB;
        glp_set_col_bnds(lp, j + 1, kind, lo == -LP_INF ? 0.0 : lo, up == LP_INF ? 0.0 : up);
        glp_set_obj_coef(lp, j + 1, p.c[j]);
        if (j < static_cast<int>(p.integer.size()) && p.integer[j]) {
            glp_set_col_kind(lp, j + 1, GLP_IV);
            mip = true;
        }
    }
    std::vector<int> ia(1), ja(1);
    std::vector<double> ar(1);
    for (int i = 0; i < m; ++i) {
        const LpRow& r = p.rows[i];
        const int kind = r.type == 'E' ? GLP_FX : (r.type == 'G' ? GLP_LO : GLP_UP);
        glp_set_row_bnds(lp, i + 1, kind, r.rhs, r.rhs);
        for (int j = 0; j < n && j < static_cast<int>(r.a.size()); ++j)
            if (r.a[j] != 0.0) {
                ia.push_back(i + 1);
                ja.push_back(j + 1);
                ar.push_back(r.a[j]);
            }
    }
    glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
    LpResult res;
    glp_smcp sp;
    glp_init_smcp(&sp);
    sp.msg_lev = GLP_MSG_OFF;
    sp.presolve = GLP_ON;
    const int rc = glp_simplex(lp, &sp);
    const int st = glp_get_status(lp);
    if (rc == GLP_ENOPFS || st == GLP_NOFEAS || st == GLP_INFEAS) {
        res.status = LpStatus::infeasible;
    } else if (rc == GLP_ENODFS || st == GLP_UNBND) {
        res.status = LpStatus::unbounded;
    } else if (rc == 0 && st == GLP_OPT) {
        res.status = LpStatus::optimal;
        res.obj = glp_get_obj_val(lp);
        res.x.resize(n);
        for (int j = 0; j < n; ++j) res.x[j] = glp_get_col_prim(lp, j + 1);
        if (mip) {
            glp_iocp ip;
            glp_init_iocp(&ip);
            ip.msg_lev = GLP_MSG_OFF;
            const int irc = glp_intopt(lp, &ip);
            const int ist = glp_mip_status(lp);
            if (irc == 0 && ist == GLP_OPT) {
                res.obj = glp_mip_obj_val(lp);
                for (int j = 0; j < n; ++j) res.x[j] = glp_mip_col_val(lp, j + 1);
            } else if (ist == GLP_NOFEAS) {
                res.status = LpStatus::infeasible;
            } else {
                res.status = LpStatus::other;
            }
        }
    }
    glp_delete_prob(lp);
    return res;
}

}  // namespace kav::test
