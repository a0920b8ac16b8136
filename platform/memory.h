// Memory taken from the system in whole blocks rather than from the heap: for
// a reader's slabs, the hundreds of megabytes every element of a large data
// set lands in.
#pragma once

#include <cstddef>

// The unit of what pages_take gives: a huge page of x86-64. Where the system
// gives memory in huge pages (Linux), each block starts on such a boundary
// and is asked to come in them: a fault for 2 MB rather than one for every
// 4 KiB page, which some virtual machines charge 10 µs each, and fewer misses
// of the address cache where a merge goes from element to element across the
// data set.
constexpr size_t kPagesBlock = size_t{2} << 20;

// `bytes` (a multiple of kPagesBlock) of zeroed memory; null when the system
// has none.
void* pages_take(size_t bytes);
// Gives back what pages_take gave, with the same size.
void pages_give_back(void* block, size_t bytes);

// For tests: from the nth call of pages_take on (1 = the next), every one
// gives null, as a system with no block to give; 0 takes that back.
void pages_refuse_from(int nth);
// For pages_take: counts a call and says whether to refuse it.
bool pages_refused();
