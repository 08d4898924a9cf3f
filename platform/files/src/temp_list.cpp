#include "temp_list.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "fileio/replace.h"

namespace fileio {
namespace detail {
namespace {

// Fixed storage, so that a signal handler reads it without locks or memory
// allocation: a slot's path is only read while its state is kLive.
enum : int { kFree = 0, kFilling = 1, kLive = 2 };
constexpr int kSlots = 128;

struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;
  char name[NAME_MAX + 1];
};
static_assert(std::atomic<int>::is_always_lock_free);

// Constant-initialised: zeroed by the loader, so a run that lists no file
// never touches (and faults in) these pages.
constinit std::array<Slot, kSlots> slots{};

constexpr std::array<int, 4> kSignals = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
// What each signal did before our handler, called after the clean-up.
std::array<struct sigaction, kSignals.size()> previous;

void RemoveListed() {
  for (Slot& slot : slots) {
    if (slot.state.load(std::memory_order_acquire) == kLive) ::unlinkat(slot.folder, slot.name, 0);
  }
}

// Only async-signal-safe calls from here on.
void OnSignal(int sig, siginfo_t* info, void* context) {
  const int saved_errno = errno;
  RemoveListed();
  for (std::size_t i = 0; i < kSignals.size(); ++i) {
    if (kSignals[i] != sig) continue;
    const struct sigaction& before = previous[i];
    if ((before.sa_flags & SA_SIGINFO) != 0 && before.sa_sigaction != nullptr) {
      before.sa_sigaction(sig, info, context);
    } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
      before.sa_handler(sig);
    } else {
      // The default action, which ends the process once this handler returns.
      struct sigaction fallback {};
      fallback.sa_handler = SIG_DFL;
      sigemptyset(&fallback.sa_mask);
      ::sigaction(sig, &fallback, nullptr);
      ::raise(sig);
    }
  }
  errno = saved_errno;
}

}  // namespace

int ListTemp(int folder, const char* name) {
  const std::size_t length = std::strlen(name);
  if (length > NAME_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = slots[static_cast<std::size_t>(i)];
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      continue;
    }
    slot.folder = folder;
    std::memcpy(slot.name, name, length + 1);
    slot.state.store(kLive, std::memory_order_release);
    return i;
  }
  return -1;
}

void UnlistTemp(int slot) {
  if (slot >= 0 && slot < kSlots) {
    slots[static_cast<std::size_t>(slot)].state.store(kFree, std::memory_order_release);
  }
}

}  // namespace detail

void RemoveTempFilesOnSignals() {
  static std::atomic<bool> installed{false};
  if (installed.exchange(true)) return;
  for (std::size_t i = 0; i < detail::kSignals.size(); ++i) {
    struct sigaction current {};
    if (::sigaction(detail::kSignals[i], nullptr, &current) != 0) continue;
    // An ignored signal (nohup's SIGHUP, a caller's SIGPIPE) stays ignored.
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    detail::previous[i] = current;
    struct sigaction ours {};
    ours.sa_sigaction = detail::OnSignal;
    ours.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&ours.sa_mask);
    ::sigaction(detail::kSignals[i], &ours, nullptr);
  }
}

}  // namespace fileio
