#include "monitor/RemAddVal.h"

#include "stream/StreamFormat.h"

#include <algorithm>

namespace vintrel {

int PercentileIndex(int iTotal, double findx) {
    const long i = RoundHalfEven((iTotal - 1) * findx);
    return static_cast<int>(std::clamp<long>(i, 0, std::max(iTotal - 1, 0)));
}

void QuickSort(int16_t* A, int iHi, int iLo) {
    if (iHi > iLo) std::sort(A + iLo, A + iHi + 1);
}

} // namespace vintrel
