#pragma once
// Replacement in a sorted window: one value leaves, one enters, the array stays ascending and a
// percentile is read off. The noise level, the MIPS peak and median and the delay window's level
// maxima keep their sliding windows this way: one pass over the window per value, no allocation.
#include <algorithm>
#include <cstdint>

namespace vintrel {

// Index of the percentile `findx` (0..1) in an ascending array of `iTotal` values: Round((iTotal - 1)
// x findx), half to even, kept inside the array.
int PercentileIndex(int iTotal, double findx);

// Replaces one occurrence of `iRem` by `iAdd` in the ascending array `SortedArray` of `iTotal` values
// and returns the element at PercentileIndex(iTotal, findx). The caller keeps the array equal to its
// window, so `iRem` is always present; a value that is not there leaves the array unchanged rather
// than overwriting a neighbour. An empty array gives -2, the "not available" level.
template <typename T> T RemAddVal(T* SortedArray, int iTotal, T iRem, T iAdd, double findx) {
    if (iTotal <= 0) return T(-2);
    if (iRem != iAdd) {
        int iRemAt = -1;    // last index whose value is <= iRem
        int iAddBefore = 0; // number of values <= iAdd
        for (int i = 0; i < iTotal; ++i) {
            if (SortedArray[i] <= iRem) iRemAt = i;
            if (SortedArray[i] <= iAdd) ++iAddBefore;
        }
        if (iRemAt >= 0 && SortedArray[iRemAt] == iRem) {
            if (iAdd > iRem) {
                std::copy(SortedArray + iRemAt + 1, SortedArray + iAddBefore, SortedArray + iRemAt);
                SortedArray[iAddBefore - 1] = iAdd;
            } else {
                std::copy_backward(SortedArray + iAddBefore, SortedArray + iRemAt, SortedArray + iRemAt + 1);
                SortedArray[iAddBefore] = iAdd;
            }
        }
    }
    return SortedArray[PercentileIndex(iTotal, findx)];
}

// Sorts A[iLo..iHi] ascending (the initial fill of a window).
void QuickSort(int16_t* A, int iHi, int iLo);

} // namespace vintrel
