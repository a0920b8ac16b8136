// Memory taken from the system in whole blocks rather than from the heap: for
// a reader's slabs, the hundreds of megabytes every element of a large data
// set lands in.
#pragma once

#include <cstddef>

// The unit of what pages_take gives: a huge page of x86-64. Where the system
// gives memory in huge pages (Linux), each block starts on such a boundary,
// and is asked to come in them where huge_pages_pay().
constexpr size_t kPagesBlock = size_t{2} << 20;

// Whether asking for huge pages pays here: true where a fresh 4 KiB page
// costs 5 µs or more, measured once in a process, the first time asked, on a
// few hundred of them (a millisecond or two). Some virtual machines charge
// 10 µs for each small page, and a huge page, one fault for 512 of them,
// then costs less. Where small pages cost 2 µs, the guest has memory the
// host already backs at hand, while a huge page needs 2 MB the host took
// back: those cost from 0.4 to 40 µs per 4 KiB on the same machine, often
// more than the small pages. False where the system has none to ask for
// (transparent huge pages "never"). QV_HUGE_PAGES=1 or 0 in the environment
// settles it without measuring: a process that starts itself again hands on
// its answer so, and tests force either.
constexpr char kHugePagesVariable[] = "QV_HUGE_PAGES";
bool huge_pages_pay();

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
