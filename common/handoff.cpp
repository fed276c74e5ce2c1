#include "handoff.hpp"

#include "errcodes.hpp"

namespace kav::handoff {

// ---- byte streams -----------------------------------------------------------------

void In::bytes(void* p, size_t n) {
    if (bad_) {
        std::memset(p, 0, n);
        return;
    }
    if (unit_ != nullptr) {
        if (unit_->read(p, n) != IO_OK) {
            bad_ = true;
            std::memset(p, 0, n);
        }
        return;
    }
    if (n > size_ - pos_) {
        bad_ = true;
        std::memset(p, 0, n);
        return;
    }
    std::memcpy(p, mem_ + pos_, n);
    pos_ += n;
}

void In::skip(size_t n) {
    if (bad_) return;
    if (unit_ != nullptr) {
        char sink[256];
        while (n > 0 && !bad_) {
            const size_t step = n < sizeof sink ? n : sizeof sink;
            bytes(sink, step);
            n -= step;
        }
        return;
    }
    if (n > size_ - pos_) {
        bad_ = true;
        return;
    }
    pos_ += n;
}

void Out::bytes(const void* p, size_t n) {
    if (status_ != 0) return;
    if (unit_ != nullptr) {
        status_ = unit_->write(p, n);
        return;
    }
    const char* c = static_cast<const char*>(p);
    buf_->insert(buf_->end(), c, c + n);
}

// ---- records ------------------------------------------------------------------------

void get(In& in, Header& r) {
    r.NSUB = in.get<int16_t>();
    r.NCRES = in.get<int16_t>();
    r.NLEVEL = in.get<int16_t>();
    r.NCROW = in.get<int16_t>();
    r.NZOTOT = in.get<int16_t>();
    r.PRSW = in.get<int16_t>();
}
void put(Out& out, const Header& r) {
    out.put(r.NSUB);
    out.put(r.NCRES);
    out.put(r.NLEVEL);
    out.put(r.NCROW);
    out.put(r.NZOTOT);
    out.put(r.PRSW);
}

void get(In& in, MatrixCounts& r) {
    r.NNZ = in.get<int32_t>();
    r.NZER = in.get<int32_t>();
    r.NIXB = in.get<int32_t>();
}
void put(Out& out, const MatrixCounts& r) {
    out.put(r.NNZ);
    out.put(r.NZER);
    out.put(r.NIXB);
}

void get(In& in, ResourceLevel& r) {
    r.IRL1 = in.get<int32_t>();
    r.IRL2 = in.get<int32_t>();
    r.IRL3 = in.get<int32_t>();
}
void put(Out& out, const ResourceLevel& r) {
    out.put(r.IRL1);
    out.put(r.IRL2);
    out.put(r.IRL3);
}

void get(In& in, ZEntry& r) {
    r.prob = in.get<int16_t>();
    r.label = in.get<int16_t>();
    for (int16_t& a : r.iza) a = in.get<int16_t>();
}
void put(Out& out, const ZEntry& r) {
    out.put(r.prob);
    out.put(r.label);
    for (int16_t a : r.iza) out.put(a);
}

void get(In& in, ZLevel& r) {
    r.zovd = in.get<double>();
    r.zovr = in.get<float>();
}
void put(Out& out, const ZLevel& r) {
    out.put(r.zovd);
    out.put(r.zovr);
}

void get(In& in, ResourceCaps& r) {
    r.RRK1 = in.get<float>();
    r.RRK2 = in.get<float>();
    r.RRK3 = in.get<float>();
    r.RRK4 = in.get<float>();
}
void put(Out& out, const ResourceCaps& r) {
    out.put(r.RRK1);
    out.put(r.RRK2);
    out.put(r.RRK3);
    out.put(r.RRK4);
}

void get(In& in, ResourcePlaces& r) {
    r.IRK1 = in.get<int16_t>();
    r.IRK2 = in.get<int16_t>();
    r.IRK3 = in.get<int16_t>();
    r.IRK4 = in.get<int16_t>();
    r.IRK5 = in.get<int16_t>();
    r.IRK6 = in.get<int16_t>();
}
void put(Out& out, const ResourcePlaces& r) {
    out.put(r.IRK1);
    out.put(r.IRK2);
    out.put(r.IRK3);
    out.put(r.IRK4);
    out.put(r.IRK5);
    out.put(r.IRK6);
}

void get(In& in, ProblemRecord& r) {
    r.KR01 = in.get<int32_t>();
    r.KR02 = in.get<int32_t>();
    r.KR03 = in.get<int32_t>();
    r.KCODE = in.get<int16_t>();
    r.KR05 = in.get<int16_t>();
    r.KR06 = in.get<float>();
    r.KR07 = in.get<int32_t>();
    r.KR08 = in.get<int32_t>();
    r.KR09 = in.get<int32_t>();
    r.NROW = in.get<int16_t>();
    r.NCOL = in.get<int16_t>();
    r.NZO = in.get<int16_t>();
    get(in, r.mat);
    r.KR16 = in.get<int32_t>();
    r.KR17 = in.get<int16_t>();
    r.KR18 = in.get<int16_t>();
    r.KR19 = in.get<int16_t>();
    r.KR20 = in.get<int16_t>();
    r.KR21 = in.get<int16_t>();
    r.KFLAG = in.get<int16_t>();
}
void put(Out& out, const ProblemRecord& r) {
    out.put(r.KR01);
    out.put(r.KR02);
    out.put(r.KR03);
    out.put(r.KCODE);
    out.put(r.KR05);
    out.put(r.KR06);
    out.put(r.KR07);
    out.put(r.KR08);
    out.put(r.KR09);
    out.put(r.NROW);
    out.put(r.NCOL);
    out.put(r.NZO);
    put(out, r.mat);
    out.put(r.KR16);
    out.put(r.KR17);
    out.put(r.KR18);
    out.put(r.KR19);
    out.put(r.KR20);
    out.put(r.KR21);
    out.put(r.KFLAG);
}

void get(In& in, RowClass& r) {
    r.IKA = in.get<int16_t>();
    r.IKB = in.get<int16_t>();
}
void put(Out& out, const RowClass& r) {
    out.put(r.IKA);
    out.put(r.IKB);
}

void get(In& in, LevelCaps& r) {
    r.RRL1 = in.get<float>();
    r.RRL2 = in.get<float>();
}
void put(Out& out, const LevelCaps& r) {
    out.put(r.RRL1);
    out.put(r.RRL2);
}

void get(In& in, Increment& r) {
    r.col = in.get<int16_t>();
    r.row = in.get<int16_t>();
    r.value = in.get<double>();
}
void put(Out& out, const Increment& r) {
    out.put(r.col);
    out.put(r.row);
    out.put(r.value);
}

void get(In& in, ResultsHead& r) {
    in.get_n(r.RESV, NLEVELS);
    r.NVRES = in.get<int16_t>();
}
void put(Out& out, const ResultsHead& r) {
    out.put_n(r.RESV, NLEVELS);
    out.put(r.NVRES);
}

void put_no_results(Out& out) {
    ResultsHead h{};
    for (double& v : h.RESV) v = err::STNONE;
    h.NVRES = 0;
    put(out, h);
}

namespace {

std::vector<char> no_result_bytes() {
    std::vector<char> b;
    Out out{b};
    put_no_results(out);
    return b;
}

}  // namespace

int write_record(BinUnit& par5, const std::vector<char>& record) {
    const int status = par5.write_end(RESULTS_AT, record.data(), record.size());
    if (status == IO_OK) return IO_OK;
    const std::vector<char> none = no_result_bytes();
    if (none != record) par5.write_end(RESULTS_AT, none.data(), none.size());
    return status;
}

int write_no_results(BinUnit& par5) { return write_record(par5, no_result_bytes()); }

}  // namespace kav::handoff
