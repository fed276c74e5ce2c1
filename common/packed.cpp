// Packed-matrix codec: the run end rule (the templates are in packed_impl.hpp).
#include "packed.hpp"

namespace kav::packed {

void run_end(int32_t n, const ZRun& z, int32_t& last_row, int32_t& last_col) {
    const int32_t len = z.len;
    const int32_t room = n - z.col + 1;  // positions left in the first row
    if (room >= len || n <= 0) {
        last_row = z.row;
        last_col = z.col + len - 1;
        return;
    }
    const int32_t rest = len - room;  // >= 1: continues over the following rows
    last_row = z.row + 1 + (rest - 1) / n;
    last_col = (rest - 1) % n + 1;
}

}  // namespace kav::packed
