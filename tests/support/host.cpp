#include "host.hpp"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace kav::test {

Sub Sub::sized(int16_t nrow, int16_t ncol, int16_t nzo, int16_t ncrow, int ncres) {
    Sub s;
    s.nrow = nrow;
    s.ncol = ncol;
    s.nzo = nzo;
    s.ncrow = ncrow;
    s.a.assign(static_cast<size_t>(std::max(0, nrow * ncol)), 0.0);
    s.type.assign(static_cast<size_t>(std::max<int16_t>(0, nrow)), 1);
    s.cpl.assign(static_cast<size_t>(std::max(0, ncrow * ncol)), 0.0);
    s.iza.assign(static_cast<size_t>(std::max<int16_t>(0, ncol)), {0, 0, 0, 0});
    s.zovd.assign(static_cast<size_t>(std::max<int16_t>(0, ncol)), {});
    s.zovr.assign(static_cast<size_t>(std::max<int16_t>(0, ncol)), {});
    for (auto& v : s.rrk) v.assign(static_cast<size_t>(ncres), 0.0f);
    for (auto& v : s.irk) v.assign(static_cast<size_t>(ncres), 0);
    s.rrl1.assign(static_cast<size_t>(ncres), {});
    s.rrl2.assign(static_cast<size_t>(ncres), {});
    return s;
}

void Problem::fill_passthrough(int seed) {
    const size_t n = static_cast<size_t>(std::max<int16_t>(nsub, 1));
    kr01.resize(n); kr02.resize(n); kr03.resize(n); kr07.resize(n); kr08.resize(n);
    kr09.resize(n); kr16.resize(n); kr05.resize(n); kr17.resize(n); kr18.resize(n);
    kr19.resize(n); kr20.resize(n); kr21.resize(n); kr06.resize(n);
    ikr.assign(n, {}); ika.assign(n, {}); ikb.assign(n, {});
    for (size_t k = 0; k < n; ++k) {
        const int b = seed * 1000 + static_cast<int>(k) * 100;
        kr01[k] = 100000 + b + 1; kr02[k] = -(b + 2); kr03[k] = b + 3;
        kr05[k] = static_cast<int16_t>(b % 30000 + 5); kr06[k] = 0.25f * static_cast<float>(b + 6);
        kr07[k] = b + 7; kr08[k] = b + 8; kr09[k] = 70000 + b + 9; kr16[k] = b + 16;
        kr17[k] = static_cast<int16_t>(k + 17); kr18[k] = static_cast<int16_t>(k + 18);
        kr19[k] = static_cast<int16_t>(-static_cast<int>(k) - 19);
        kr20[k] = static_cast<int16_t>(k + 20); kr21[k] = static_cast<int16_t>(k + 21);
        for (int j = 0; j < 60; ++j) ikr[k][j] = static_cast<int16_t>(seed + 10 * k + j);
        for (int i = 0; i < 6; ++i) {
            ika[k][i] = static_cast<int16_t>(seed + 7 * k + i + 1);
            ikb[k][i] = static_cast<int16_t>(-(seed + 3 * k + i + 1));
        }
    }
    const size_t r = static_cast<size_t>(std::max<int16_t>(ncres, 0));
    irl1.assign(r, {}); irl2.assign(r, {}); irl3.assign(r, {});
    for (size_t j = 0; j < r; ++j)
        for (int l = 0; l < 6; ++l) {
            irl1[j][l] = static_cast<int32_t>(seed + 100 * j + l);
            irl2[j][l] = static_cast<int32_t>(-(seed + 100 * j + l));
            irl3[j][l] = static_cast<int32_t>(1000000 + seed + j * 6 + l);
        }
}

Host::Host(const std::string& so_path) {
    // A private copy per Host: dlopen of the same path would share one
    // loaded instance (and its global state) between hosts.
    std::string tmpl = (std::filesystem::temp_directory_path() / "kavsolve-XXXXXX").string();
    int fd = mkstemp(tmpl.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    close(fd);
    std::error_code ec;
    std::filesystem::copy_file(so_path, tmpl, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        std::filesystem::remove(tmpl, ec);
        throw std::runtime_error("cannot copy " + so_path);
    }
    handle_ = dlopen(tmpl.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::filesystem::remove(tmpl, ec);  // the mapping stays valid
    if (handle_ == nullptr) throw std::runtime_error(std::string("dlopen: ") + dlerror());
    fn_ = reinterpret_cast<TarvexoFn>(dlsym(handle_, "ALLAH_mp_TARVEXO"));
    if (fn_ == nullptr) throw std::runtime_error("ALLAH_mp_TARVEXO not exported");
    init_arrays();
}

Host::Host(TarvexoFn fn) : fn_(fn) {
    if (fn_ == nullptr) throw std::runtime_error("no entry function");
    init_arrays();
}

void Host::init_arrays() {
    ITYPCR.assign(N_CROWS, 0);
    CRVAL.assign(N_CROWS, 0.0);
    ITYPE.assign(1, 0);
    AMAT.assign(LD_AMAT, 0.0);
    ACPL.assign(LD_ACPL, 0.0);
    NINC.assign(LD_LEV, 0);
    INCCOL.assign(LD_LEV, 0);
    INCROW.assign(LD_LEV, 0);
    DINC.assign(LD_LEV, 0.0);
    RESV.assign(LD_LEV, 0.0);
    XRES.assign(static_cast<size_t>(LD_LEV) * XRES_COLS, 0.0);
    ZOVD.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0);
    ZOVR.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0f);
    for (auto* v : {&IZA1, &IZA2, &IZA3, &IZA4}) v->assign(1, 0);
    for (auto* v : {&KR16, &KR01, &KR02, &KR03, &KR07, &KR08, &KR09}) v->assign(N_PROB, 0);
    for (auto* v : {&KR17, &KR18, &KR19, &KR21, &KR20, &KR05}) v->assign(N_PROB, 0);
    KR06.assign(N_PROB, 0.0f);
    for (auto* v : {&IRL1, &IRL2, &IRL3}) v->assign(static_cast<size_t>(LD_60) * LD_LEV, 0);
    RRL1.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
    RRL2.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
    for (auto* v : {&RRK1, &RRK2, &RRK3, &RRK4}) v->assign(N_RES, 0.0f);
    for (auto* v : {&IRK1, &IRK2, &IRK3, &IRK4, &IRK5, &IRK6}) v->assign(N_RES, 0);
    IKR.assign(static_cast<size_t>(LD_60) * LD_60, 0);
    IKA.assign(static_cast<size_t>(LD_60) * 6, 0);
    IKB.assign(static_cast<size_t>(LD_60) * 6, 0);
}

Host::~Host() {
    if (handle_ != nullptr) dlclose(handle_);
}

void Host::call() {
    fn_(&NSUB, &NCROW, ITYPCR.data(), CRVAL.data(), &KPROB, &NROW, &NCOL, &NZO, ITYPE.data(),
        AMAT.data(), ACPL.data(), NINC.data(), &NLEVEL, INCCOL.data(), INCROW.data(), DINC.data(),
        RESV.data(), XRES.data(), ZOVD.data(), IZA1.data(), IZA2.data(), IZA3.data(), IZA4.data(),
        KR16.data(), &IFLAG, &KCODE, &NCRES, IRL1.data(), IRL2.data(), IRL3.data(), RRL1.data(),
        RRL2.data(), KR17.data(), KR18.data(), KR19.data(), KR21.data(), RRK1.data(), RRK2.data(),
        RRK3.data(), RRK4.data(), IRK1.data(), IRK2.data(), IRK3.data(), IRK4.data(), IRK5.data(),
        IRK6.data(), KR20.data(), IKR.data(), ZOVR.data(), KR01.data(), KR02.data(), KR03.data(),
        KR05.data(), KR06.data(), KR07.data(), KR08.data(), KR09.data(), IKA.data(), IKB.data());
}

void Host::set_common(const Problem& p) {
    NSUB = p.nsub;
    NCRES = p.ncres;
    NLEVEL = p.nlevel;
    auto put = [](auto& dst, const auto& src) {
        for (size_t k = 0; k < src.size() && k < dst.size(); ++k) dst[k] = src[k];
    };
    put(KR01, p.kr01); put(KR02, p.kr02); put(KR03, p.kr03); put(KR05, p.kr05);
    put(KR06, p.kr06); put(KR07, p.kr07); put(KR08, p.kr08); put(KR09, p.kr09);
    put(KR16, p.kr16); put(KR17, p.kr17); put(KR18, p.kr18); put(KR19, p.kr19);
    put(KR20, p.kr20); put(KR21, p.kr21);
    for (size_t k = 0; k < p.ikr.size() && k < static_cast<size_t>(LD_60); ++k)
        for (size_t j = 0; j < 60; ++j) IKR[j * LD_60 + k] = p.ikr[k][j];
    for (size_t k = 0; k < p.ika.size() && k < static_cast<size_t>(LD_60); ++k)
        for (size_t i = 0; i < 6; ++i) IKA[i * LD_60 + k] = p.ika[k][i];
    for (size_t k = 0; k < p.ikb.size() && k < static_cast<size_t>(LD_60); ++k)
        for (size_t i = 0; i < 6; ++i) IKB[i * LD_60 + k] = p.ikb[k][i];
    for (size_t j = 0; j < p.irl1.size() && j < static_cast<size_t>(LD_60); ++j)
        for (size_t l = 0; l < 6; ++l) {
            IRL1[l * LD_60 + j] = p.irl1[j][l];
            if (j < p.irl2.size()) IRL2[l * LD_60 + j] = p.irl2[j][l];
            if (j < p.irl3.size()) IRL3[l * LD_60 + j] = p.irl3[j][l];
        }
    set_crows(p);
}

void Host::set_crows(const Problem& p) {
    ITYPCR.assign(N_CROWS, 0);
    CRVAL.assign(N_CROWS, 0.0);
    for (size_t i = 0; i < p.itypcr.size() && i < ITYPCR.size(); ++i) ITYPCR[i] = p.itypcr[i];
    for (size_t i = 0; i < p.crval.size() && i < CRVAL.size(); ++i) CRVAL[i] = p.crval[i];
}

void Host::set_sub(const Sub& s) {
    NROW = s.nrow;
    NCOL = s.ncol;
    NZO = s.nzo;
    NCROW = s.ncrow;
    KCODE = s.kcode;
    const size_t nr = static_cast<size_t>(std::max<int16_t>(s.nrow, 1));
    const size_t nc = static_cast<size_t>(std::max<int16_t>(s.ncol, 1));
    // Fresh allocations of exactly the declared size, so that the sanitizer
    // sees any access beyond what a host would have allocated.
    ITYPE = std::vector<int16_t>(nr, 0);
    for (size_t i = 0; i < s.type.size() && i < nr; ++i) ITYPE[i] = s.type[i];
    AMAT = std::vector<double>(LD_AMAT * nc, 0.0);
    for (int i = 1; i <= s.nrow && i <= LD_AMAT; ++i)
        for (int k = 1; k <= s.ncol; ++k)
            AMAT[(k - 1) * static_cast<size_t>(LD_AMAT) + (i - 1)] = s.a[(i - 1) * s.ncol + (k - 1)];
    ACPL = std::vector<double>(LD_ACPL * nc, 0.0);
    for (int i = 1; i <= s.ncrow && i <= LD_ACPL; ++i)
        for (int k = 1; k <= s.ncol; ++k)
            ACPL[(k - 1) * static_cast<size_t>(LD_ACPL) + (i - 1)] = s.cpl[(i - 1) * s.ncol + (k - 1)];
    IZA1 = std::vector<int16_t>(nc, 0);
    IZA2 = std::vector<int16_t>(nc, 0);
    IZA3 = std::vector<int16_t>(nc, 0);
    IZA4 = std::vector<int16_t>(nc, 0);
    ZOVD.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0);
    ZOVR.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0f);
    for (size_t k = 0; k < s.iza.size() && k < nc; ++k) {
        IZA1[k] = s.iza[k][0];
        IZA2[k] = s.iza[k][1];
        IZA3[k] = s.iza[k][2];
        IZA4[k] = s.iza[k][3];
    }
    for (size_t k = 0; k < s.zovd.size() && k < static_cast<size_t>(LD_ZO); ++k)
        for (size_t l = 0; l < 6; ++l) {
            ZOVD[l * LD_ZO + k] = s.zovd[k][l];
            if (k < s.zovr.size()) ZOVR[l * LD_ZO + k] = s.zovr[k][l];
        }
    size_t ninc_max = 1;
    for (const auto& v : s.inc) ninc_max = std::max(ninc_max, v.size());
    inc_cols = static_cast<int>(ninc_max);
    NINC = std::vector<int16_t>(LD_LEV, 0);
    INCCOL = std::vector<int16_t>(LD_LEV * ninc_max, 0);
    INCROW = std::vector<int16_t>(LD_LEV * ninc_max, 0);
    DINC = std::vector<double>(LD_LEV * ninc_max, 0.0);
    for (size_t l = 0; l < 6; ++l) {
        NINC[l] = static_cast<int16_t>(s.inc[l].size());
        for (size_t i = 0; i < s.inc[l].size(); ++i) {
            INCCOL[i * LD_LEV + l] = s.inc[l][i].col;
            INCROW[i * LD_LEV + l] = s.inc[l][i].row;
            DINC[i * LD_LEV + l] = s.inc[l][i].d;
        }
    }
    std::vector<float>* rrk[4] = {&RRK1, &RRK2, &RRK3, &RRK4};
    std::vector<int16_t>* irk[6] = {&IRK1, &IRK2, &IRK3, &IRK4, &IRK5, &IRK6};
    for (int q = 0; q < 4; ++q) {
        rrk[q]->assign(N_RES, 0.0f);
        for (size_t j = 0; j < s.rrk[q].size() && j < static_cast<size_t>(N_RES); ++j) (*rrk[q])[j] = s.rrk[q][j];
    }
    for (int q = 0; q < 6; ++q) {
        irk[q]->assign(N_RES, 0);
        for (size_t j = 0; j < s.irk[q].size() && j < static_cast<size_t>(N_RES); ++j) (*irk[q])[j] = s.irk[q][j];
    }
    RRL1.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
    RRL2.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
    for (size_t j = 0; j < s.rrl1.size() && j < static_cast<size_t>(LD_60); ++j)
        for (size_t l = 0; l < 6; ++l) {
            RRL1[l * LD_60 + j] = s.rrl1[j][l];
            if (j < s.rrl2.size()) RRL2[l * LD_60 + j] = s.rrl2[j][l];
        }
}

void Host::record(int16_t kprob_in) {
    CallRecord r;
    r.kprob_in = kprob_in;
    r.kprob = KPROB;
    r.ncrow = NCROW;
    r.nlevel = NLEVEL;
    r.iflag = IFLAG;
    r.itype = ITYPE;
    r.ninc = NINC;
    r.inccol = INCCOL;
    r.incrow = INCROW;
    r.dinc = DINC;
    r.resv = RESV;
    calls.push_back(std::move(r));
}

int Host::run(const Problem& p) { return run_calls(p, 0); }

int Host::rerun(const Problem& p) { return run_calls(p, 1); }

int Host::run_calls(const Problem& p, int16_t iflag) {
    set_common(p);
    int n = 0;
    for (int k = 1; k <= p.nsub && k <= static_cast<int>(p.subs.size()); ++k) {
        call_sub(p, k, iflag);
        ++n;
    }
    return n;
}

void Host::call_sub(const Problem& p, int K, int16_t iflag) {
    set_sub(p.subs[K - 1]);
    NLEVEL = p.nlevel;
    IFLAG = iflag;
    KPROB = static_cast<int16_t>(K);
    call();
    record(static_cast<int16_t>(K));
}

}  // namespace kav::test
