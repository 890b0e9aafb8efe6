#include "sync.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <future>
#include <stdexcept>
#include <thread>

#include "config.hpp"
#include "shared_state.hpp"

namespace velmora {
namespace {

// Runs `f` on another thread and returns what it returned, as the playback worker would see it.
template <class F>
auto on_other_thread(F f) {
  return std::async(std::launch::async, f).get();
}

TEST(Guarded, FreshCellLocksAndTriesAcquired) {
  Guarded<int> cell(7);
  {
    auto g = cell.lock();
    EXPECT_EQ(g.status(), LockStatus::Acquired);
    *g = 8;
  }
  auto g = cell.try_lock();
  ASSERT_TRUE(g.ok());
  EXPECT_EQ(*g, 8);
}

TEST(Guarded, TryLockFromAnotherThreadIsBusyWhileHeld) {
  Guarded<int> cell(0);
  {
    auto held = cell.lock();
    EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Busy);
  }
  EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Acquired);
}

TEST(Guarded, ReleasedGuardFreesTheLockEarly) {
  Guarded<int> cell(0);
  auto g = cell.lock();
  g.release();
  EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Acquired);
}

TEST(Guarded, GuardLeftByExceptionPoisonsForGood) {
  Guarded<ProcessorConfig> cell(ProcessorConfig{});
  try {
    auto g = cell.lock();
    g->num_bands = 6;
    throw std::runtime_error("edit abandoned");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(cell.is_poisoned());
  {
    auto g = cell.lock();  // still handed out, so the holder can look, but marked
    EXPECT_EQ(g.status(), LockStatus::Poisoned);
    EXPECT_FALSE(g.ok());
  }
  EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Poisoned);
  EXPECT_EQ(cell.lock().status(), LockStatus::Poisoned);
}

TEST(Guarded, GuardCreatedWhileUnwindingDoesNotPoison) {
  // A destructor that locks during unrelated unwinding is no abandoned edit.
  Guarded<int> cell(0);
  struct LocksOnDestruction {
    Guarded<int>& cell;
    ~LocksOnDestruction() { *cell.lock() = 1; }
  };
  try {
    LocksOnDestruction l{cell};
    throw std::runtime_error("unrelated");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(cell.is_poisoned());
  EXPECT_EQ(*cell.lock(), 1);
}

TEST(Guarded, WithRunsOnlyWhenNotPoisoned) {
  Guarded<int> cell(1);
  EXPECT_TRUE(cell.with([](int& v) { v = 2; }));
  EXPECT_EQ(*cell.lock(), 2);
  EXPECT_THROW(cell.with([](int&) { throw std::logic_error("fault"); }), std::logic_error);
  bool ran = false;
  EXPECT_FALSE(cell.with([&](int&) { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST(Guarded, PoisonedLockIsReleasedForOthers) {
  Guarded<int> cell(0);
  EXPECT_THROW(cell.with([](int&) { throw 1; }), int);
  { auto g = cell.lock(); }
  // Not Busy: a poisoned guard still unlocks when it goes.
  EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Poisoned);
}

TEST(SharedState, StartsAtZeroWithFlagsDown) {
  const auto s = SharedState::create();
  for (const MeterCell* c : {&s->in_l, &s->in_r, &s->out_l, &s->out_r, &s->limiter_gr}) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(c->load()), 0u);
  }
  for (const BandMeters& b : s->band_meters) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(b.level.load()), 0u);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(b.gr.load()), 0u);
  }
  EXPECT_FALSE(s->params_dirty.load());
  EXPECT_FALSE(s->bypass.load());
}

TEST(SharedState, CellCopiesShareOneValueAndCellsAreIndependent) {
  const auto s = SharedState::create();
  MeterCell widget_copy = s->band_meters[2].gr;
  s->band_meters[2].gr.store(-0.0f);
  EXPECT_TRUE(std::signbit(widget_copy.load()));
  widget_copy.store(0.75f);
  EXPECT_EQ(s->band_meters[2].gr.load(), 0.75f);
  EXPECT_EQ(s->band_meters[2].level.load(), 0.0f);
  EXPECT_EQ(s->band_meters[3].gr.load(), 0.0f);
  s->params_dirty.store(true);
  EXPECT_TRUE(s->params_dirty.load());
  EXPECT_FALSE(s->bypass.load());
}

}  // namespace
}  // namespace velmora
