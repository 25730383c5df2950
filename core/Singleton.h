#pragma once
#include <memory>
#include <mutex>

// Process-wide services reached through Singleton<T>::Instance(). The instance is
// created on first use (safe when several threads ask at once) and destroyed at
// process exit in rank order: higher ranks first, so CKlLogger (rank 0) outlives
// every manager that logs from its destructor. Callers dereference the holder for
// each use and keep no raw pointer beyond one statement.
namespace zel {

// Destruction order: a class with a higher rank is destroyed earlier. The table
// follows the order in which the holders are set up at start (first set up, last gone).
template <class T>
struct SingletonRank {
  static constexpr int value = 50;
};

namespace detail {
// Registers a resetter to run at exit; resetters run from the highest rank down.
void RegisterSingletonReset(int rank, void (*reset)());
}  // namespace detail

template <class T>
class Singleton {
 public:
  static std::shared_ptr<T>& Instance() {
    std::call_once(Flag(), [] {
      Holder() = std::make_shared<T>();
      detail::RegisterSingletonReset(SingletonRank<T>::value, &Reset);
    });
    return Holder();
  }

 private:
  static std::shared_ptr<T>& Holder() {
    // Never destroyed by the runtime itself; the registry resets it in rank order.
    static auto* holder = new std::shared_ptr<T>();
    return *holder;
  }
  static std::once_flag& Flag() {
    static std::once_flag flag;
    return flag;
  }
  static void Reset() { Holder().reset(); }
};

}  // namespace zel

using zel::Singleton;

// The ranks of the system's services must be visible wherever Singleton<T> is used.
#include "core/SingletonRanks.h"
