#ifndef BRLWIN32_BENCH_ALLOCATION_COUNTER_H
#define BRLWIN32_BENCH_ALLOCATION_COUNTER_H

// Counts every heap allocation of the benchmark program: the global
// operator new (all forms) and malloc, calloc, realloc and the aligned
// allocators are replaced in this binary by counting versions.
class AllocationCounter {
public:
    static long long Count();
};

#endif
