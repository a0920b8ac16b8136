#include "hotsync/interruption.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iterator>

namespace {

// Set only while the handled signals are blocked.
std::atomic<const std::vector<std::string>*> leftovers{nullptr};
pthread_t maker;  // the thread that makes the files
constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction old_actions[std::size(kSignals)];
sigset_t mask_before_hold;

// Removes the files with the calls a signal handler may make, then ends the
// process by the signal, as it would have ended without the handler. It runs
// on the maker's thread: on another (the desktop writer's), that one would go
// on making files while they are removed.
void remove_leftovers(int signal_number) {
  if (!pthread_equal(pthread_self(), maker)) {
    pthread_kill(maker, signal_number);
    return;
  }
  if (const std::vector<std::string>* names = leftovers.load()) {
    for (const std::string& name : *names) {
      if (::unlink(name.c_str()) != 0) ::rmdir(name.c_str());
    }
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);  // delivered once the handler returns
}

}  // namespace

void interruptions_hold() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals)
    sigaddset(&set, s);
  ::pthread_sigmask(SIG_BLOCK, &set, &mask_before_hold);
}

void interruptions_release() {
  ::pthread_sigmask(SIG_SETMASK, &mask_before_hold, nullptr);
}

void remove_on_interruption(const std::vector<std::string>* paths) {
  if (!paths) {
    for (size_t i = 0; i < std::size(kSignals); ++i)
      ::sigaction(kSignals[i], &old_actions[i], nullptr);
    leftovers.store(nullptr);
    return;
  }
  maker = pthread_self();
  leftovers.store(paths);
  struct sigaction remove = {};
  remove.sa_handler = remove_leftovers;
  sigemptyset(&remove.sa_mask);
  for (int s : kSignals)
    sigaddset(&remove.sa_mask, s);
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], nullptr, &old_actions[i]);
    // A signal ignored before (nohup, a background job) stays ignored.
    if (old_actions[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &remove, nullptr);
  }
}
