// How the hotsync process takes its memory, settled before anything else runs.
#pragma once

// Called first in main. Where the C library can be asked for it (glibc, on
// Linux), the process takes its heap in huge pages where the system allows
// them and they pay (huge_pages_pay): a HotSync of a large data set takes
// hundreds of megabytes a few bytes at a time, and a virtual machine can pay
// the host for every 4 KiB page it touches first. glibc reads that setting
// only as a process starts, so the process starts itself again with it,
// once; a setting the user gave already (GLIBC_TUNABLES naming
// glibc.malloc.hugetlb) is kept as it is. When that cannot be done the
// process goes on as it is.
void memory_policy_start(char** argv);
