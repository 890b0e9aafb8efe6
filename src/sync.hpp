#pragma once
// A value behind a non-re-entrant mutex that carries a poisoned mark: when a
// holder's scope is left by an exception, the mark is set for good and every
// later lock attempt reports it, so a half-finished edit is never trusted.
#include <atomic>
#include <exception>
#include <mutex>
#include <utility>

namespace velmora {

enum class LockStatus { Acquired, Busy, Poisoned };

template <class T>
class Guarded {
 public:
  class Guard {
   public:
    Guard(Guard&& o) noexcept
        : owner_(std::exchange(o.owner_, nullptr)), status_(o.status_), exceptions_(o.exceptions_) {}
    Guard& operator=(Guard&&) = delete;
    Guard(const Guard&) = delete;
    ~Guard() { release(); }

    // Acquired: usable. Poisoned: held, but the value must not be trusted. Busy: not held.
    LockStatus status() const noexcept { return status_; }
    bool ok() const noexcept { return status_ == LockStatus::Acquired; }
    explicit operator bool() const noexcept { return ok(); }

    T& operator*() noexcept { return owner_->value_; }
    T* operator->() noexcept { return &owner_->value_; }

    // Releases the lock early; the guard then holds nothing.
    void release() noexcept {
      if (owner_ == nullptr) return;
      if (std::uncaught_exceptions() > exceptions_) {
        owner_->poisoned_.store(true, std::memory_order_relaxed);
      }
      owner_->mutex_.unlock();
      owner_ = nullptr;
    }

   private:
    friend class Guarded;
    Guard(Guarded* owner, LockStatus status) noexcept
        : owner_(owner), status_(status), exceptions_(std::uncaught_exceptions()) {}
    Guarded* owner_;
    LockStatus status_;
    int exceptions_;
  };

  explicit Guarded(T value) : value_(std::move(value)) {}
  Guarded(const Guarded&) = delete;
  Guarded& operator=(const Guarded&) = delete;

  // Blocking lock: Acquired or Poisoned (then held; the caller decides to skip).
  Guard lock() {
    mutex_.lock();
    return Guard(this, poisoned_.load(std::memory_order_relaxed) ? LockStatus::Poisoned
                                                                  : LockStatus::Acquired);
  }

  // Never waits: Busy (not held), Acquired or Poisoned. Safe on the audio thread.
  Guard try_lock() noexcept {
    if (!mutex_.try_lock()) return Guard(nullptr, LockStatus::Busy);
    return Guard(this, poisoned_.load(std::memory_order_relaxed) ? LockStatus::Poisoned
                                                                  : LockStatus::Acquired);
  }

  // Lock, and skip if poisoned: runs f(value) under the lock and reports whether it ran.
  template <class F>
  bool with(F&& f) {
    Guard g = lock();
    if (!g.ok()) return false;
    std::forward<F>(f)(*g);
    return true;
  }


 private:
  std::mutex mutex_;
  std::atomic<bool> poisoned_{false};
  T value_;
};

}  // namespace velmora
