// The table's in-place quicksort, for any element type and order: median of
// three as pivot, partitions of 8 or fewer finished by selection sort, the
// smaller side recursing so the depth stays logarithmic. The scans are
// bounded, so an inconsistent order (a caller's comparison function) cannot
// run them off the range. Equal elements may change their order.
#pragma once
#include <stddef.h>
#include <utility>

namespace quick_sort_detail {
constexpr size_t kSelectionSortSize = 8;

template <class T, class Less>
void SelectionSort(T* items, size_t count, Less& less) {
    for (size_t i = 0; i + 1 < count; ++i) {
        size_t smallest = i;
        for (size_t j = i + 1; j < count; ++j)
            if (less(items[j], items[smallest])) smallest = j;
        std::swap(items[i], items[smallest]);
    }
}
}  // namespace quick_sort_detail

template <class T, class Less>
void QuickSort(T* items, size_t count, Less less) {
    using namespace quick_sort_detail;
    while (count > kSelectionSortSize) {
        T* first = items;
        T* middle = items + count / 2;
        T* last = items + count - 1;
        if (less(*middle, *first)) std::swap(*middle, *first);
        if (less(*last, *first)) std::swap(*last, *first);
        if (less(*last, *middle)) std::swap(*last, *middle);
        std::swap(*middle, *(last - 1));
        const T pivot = *(last - 1);
        const size_t pivotAt = count - 2;
        size_t i = 0, j = pivotAt;
        for (;;) {
            do ++i; while (i < pivotAt && less(items[i], pivot));
            do --j; while (j > 0 && less(pivot, items[j]));
            if (i >= j) break;
            std::swap(items[i], items[j]);
        }
        std::swap(items[i], items[pivotAt]);
        const size_t right = count - i - 1;
        if (i < right) {
            QuickSort(items, i, less);
            items += i + 1;
            count = right;
        } else {
            QuickSort(items + i + 1, right, less);
            count = i;
        }
    }
    SelectionSort(items, count, less);
}
