// Linked into the static launcher only, ahead of the C++ run-time library:
// the guards that make a function's static object initialised once even when
// threads reach it together. The run-time's own guards report a recursive
// initialisation by throwing, which links its exception machinery; these
// hold no lock while the object is built and never throw. (An initialisation
// that reaches its own object again, which the language leaves undefined,
// waits for itself here instead of ending the program.)
//
// The guard is 64 bits; its first byte says "initialised" (compilers read it
// inline before calling here), the second "being initialised".
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>

namespace {

std::atomic_ref<std::uint8_t> Done(std::uint64_t* guard) {
  return std::atomic_ref(reinterpret_cast<std::uint8_t*>(guard)[0]);
}
std::atomic_ref<std::uint8_t> Busy(std::uint64_t* guard) {
  return std::atomic_ref(reinterpret_cast<std::uint8_t*>(guard)[1]);
}

}  // namespace

extern "C" {

// 1: the caller initialises the object and then calls release (or abort);
// 0: it is initialised already. Another thread initialising it is waited for.
int __cxa_guard_acquire(std::uint64_t* guard) {
  for (;;) {
    if (Done(guard).load(std::memory_order_acquire) != 0) return 0;
    std::uint8_t idle = 0;
    if (Busy(guard).compare_exchange_strong(idle, 1, std::memory_order_acquire)) {
      if (Done(guard).load(std::memory_order_acquire) == 0) return 1;
      Busy(guard).store(0, std::memory_order_release);
      return 0;
    }
    std::this_thread::yield();  // contention is rare and short: one start-up object
  }
}

void __cxa_guard_release(std::uint64_t* guard) {
  Done(guard).store(1, std::memory_order_release);
  Busy(guard).store(0, std::memory_order_release);
}

void __cxa_guard_abort(std::uint64_t* guard) { Busy(guard).store(0, std::memory_order_release); }

}  // extern "C"
