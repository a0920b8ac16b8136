#include "hotsync/interruption.h"

#include <windows.h>

#include <atomic>

namespace {

// Taken by a hold and by the handler, so that the handler waits for a hold.
struct held_lock {
  CRITICAL_SECTION section;
  held_lock() { InitializeCriticalSection(&section); }
};
held_lock& lock() {
  static held_lock the_lock;
  return the_lock;
}

std::atomic<const std::vector<std::string>*> leftovers{nullptr};
HANDLE maker = nullptr;  // the thread that makes the files

// Ends the process as a POSIX shell reports an end by SIGINT, so that scripts
// read an interrupted run alike on both systems (the system's own status,
// 0xC000013A, is negative, which batch files take for success).
constexpr UINT kInterruptedStatus = 130;

// Runs on a thread of its own that the system starts for the event. The
// maker is stopped first, so that no file is made while they are removed. A
// file still open is deleted when the process ends and its handles close;
// its folder, not yet empty, may stay behind, empty.
BOOL WINAPI remove_leftovers(DWORD) {
  EnterCriticalSection(&lock().section);
  const std::vector<std::string>* names = leftovers.load();
  if (names) {
    if (maker) SuspendThread(maker);
    for (const std::string& name : *names) {
      if (!DeleteFileA(name.c_str())) RemoveDirectoryA(name.c_str());
    }
    ExitProcess(kInterruptedStatus);
  }
  LeaveCriticalSection(&lock().section);
  return FALSE;
}

}  // namespace

void interruptions_hold() {
  EnterCriticalSection(&lock().section);
}

void interruptions_release() {
  LeaveCriticalSection(&lock().section);
}

void remove_on_interruption(const std::vector<std::string>* paths) {
  if (!paths) {
    SetConsoleCtrlHandler(remove_leftovers, FALSE);
    leftovers.store(nullptr);
    if (maker) CloseHandle(maker);
    maker = nullptr;
    return;
  }
  maker = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetCurrentThreadId());
  leftovers.store(paths);
  SetConsoleCtrlHandler(remove_leftovers, TRUE);
}
