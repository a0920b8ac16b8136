#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QV_ADDRESS_SANITIZER 1
#endif

namespace {

// Four batches of 64 pages, the quickest counting: a batch the scheduler
// interrupted says nothing about the pages.
constexpr size_t kProbeBatches = 4;
constexpr size_t kProbeBatchPages = 64;
constexpr auto kDearPage = std::chrono::microseconds(5);  // for 4 KiB, in proportion for others

bool transparent_huge_pages_off() {
  std::FILE* f = std::fopen("/sys/kernel/mm/transparent_hugepage/enabled", "r");
  if (!f) return false;  // not told: asking costs nothing where there are none
  char setting[128] = {};
  const bool read = std::fgets(setting, sizeof setting, f) != nullptr;
  std::fclose(f);
  return read && std::strstr(setting, "[never]") != nullptr;
}

bool small_pages_dear() {
  const long page_size = sysconf(_SC_PAGESIZE);
  if (page_size <= 0) return false;
  const size_t page = static_cast<size_t>(page_size);
  const size_t bytes = kProbeBatches * kProbeBatchPages * page;
  void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return false;
#ifdef MADV_NOHUGEPAGE
  madvise(at, bytes, MADV_NOHUGEPAGE);
#endif
  volatile char* p = static_cast<volatile char*>(at);
  auto quickest = std::chrono::steady_clock::duration::max();
  for (size_t batch = 0; batch < kProbeBatches; ++batch) {
    const auto start = std::chrono::steady_clock::now();
    for (size_t k = 0; k < kProbeBatchPages; ++k)
      p[(batch * kProbeBatchPages + k) * page] = 1;
    quickest = std::min(quickest, std::chrono::steady_clock::now() - start);
  }
  munmap(at, bytes);
  const auto dear_batch = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      kDearPage * static_cast<int64_t>(kProbeBatchPages * page / 4096));
  return quickest >= dear_batch;
}

bool settled_or_measured() {
  const char* given = std::getenv(kHugePagesVariable);
  if (given && (std::strcmp(given, "0") == 0 || std::strcmp(given, "1") == 0))
    return given[0] == '1';
  return !transparent_huge_pages_off() && small_pages_dear();
}

}  // namespace

bool huge_pages_pay() {
#ifdef MADV_HUGEPAGE
  static const bool pays = settled_or_measured();
  return pays;
#else
  return false;
#endif
}

// Under AddressSanitizer, blocks come from its allocator, so that its leak
// check sees one never given back.
#ifdef QV_ADDRESS_SANITIZER

void* pages_take(size_t bytes) {
  if (pages_refused()) return nullptr;
  void* block = std::aligned_alloc(kPagesBlock, bytes);
  if (block) std::memset(block, 0, bytes);
  return block;
}

void pages_give_back(void* block, size_t) {
  std::free(block);
}

#else

void* pages_take(size_t bytes) {
  if (pages_refused()) return nullptr;
  // More than asked, so that an aligned block lies within; the rest goes back.
  const size_t mapped = bytes + kPagesBlock;
  void* at = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return nullptr;
  const uintptr_t start = reinterpret_cast<uintptr_t>(at);
  const uintptr_t block = (start + kPagesBlock - 1) / kPagesBlock * kPagesBlock;
  if (block > start) munmap(at, block - start);
  const uintptr_t end = start + mapped;
  if (end > block + bytes) munmap(reinterpret_cast<void*>(block + bytes), end - (block + bytes));
#ifdef MADV_HUGEPAGE
  // Only a wish: a system without huge pages gives small ones.
  if (huge_pages_pay()) madvise(reinterpret_cast<void*>(block), bytes, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(block);
}

void pages_give_back(void* block, size_t bytes) {
  if (block) munmap(block, bytes);
}

#endif
