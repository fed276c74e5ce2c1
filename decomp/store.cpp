#include "store.hpp"

namespace kav::decomp {

int16_t packtb(TableauStore&, StoreWork&, int16_t, int16_t, fmt::PrintUnit&) { return 10; }
int16_t unpktb(TableauStore&, StoreWork&, int16_t, int16_t, fmt::PrintUnit&) { return 2; }

}  // namespace kav::decomp
