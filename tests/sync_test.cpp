#include "sync.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <future>
#include <stdexcept>
#include <vector>

#include "shared_state.hpp"

namespace velmora {
namespace {

// Runs `f` on another thread and returns what it returned, as the playback worker would see it.
template <class F>
auto on_other_thread(F f) {
  return std::async(std::launch::async, f).get();
}

TEST(Guarded, TryLockIsBusyWhileAnotherThreadHoldsTheLock) {
  Guarded<int> cell(7);
  {
    auto held = cell.lock();
    EXPECT_EQ(held.status(), LockStatus::Acquired);
    EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Busy);
    held.release();
    EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Acquired);
  }
  auto g = cell.try_lock();
  ASSERT_TRUE(g.ok());
  EXPECT_EQ(*g, 7);
}

TEST(Guarded, ExceptionUnderTheLockPoisonsForGoodAndWithSkips) {
  Guarded<int> cell(1);
  EXPECT_TRUE(cell.with([](int& v) { v = 2; }));
  EXPECT_THROW(cell.with([](int& v) {
    v = 3;
    throw std::logic_error("edit abandoned");
  }), std::logic_error);
  {
    auto g = cell.lock();  // still handed out, so the holder can look, but marked
    EXPECT_EQ(g.status(), LockStatus::Poisoned);
    EXPECT_EQ(*g, 3);
  }
  // Poisoned, not Busy: a poisoned guard still unlocks when it goes.
  EXPECT_EQ(on_other_thread([&] { return cell.try_lock().status(); }), LockStatus::Poisoned);
  bool ran = false;
  EXPECT_FALSE(cell.with([&](int&) { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST(Guarded, GuardCreatedWhileUnwindingDoesNotPoison) {
  // A destructor that locks during unrelated unwinding is no abandoned edit.
  Guarded<int> cell(0);
  struct LocksOnDestruction {
    Guarded<int>& cell;
    ~LocksOnDestruction() { *cell.lock() = 1; }
  };
  EXPECT_THROW((LocksOnDestruction{cell}, throw std::runtime_error("unrelated")), std::runtime_error);
  auto g = cell.lock();
  EXPECT_TRUE(g.ok());
  EXPECT_EQ(*g, 1);
}

TEST(SharedState, StartsAtZeroAndCellCopiesShareOneValue) {
  const auto s = SharedState::create();
  std::vector<MeterCell> cells{s->in_l, s->in_r, s->out_l, s->out_r, s->limiter_gr};
  for (const BandMeters& b : s->band_meters) cells.insert(cells.end(), {b.level, b.gr});
  for (const MeterCell& c : cells) EXPECT_EQ(std::bit_cast<std::uint32_t>(c.load()), 0u);
  EXPECT_FALSE(s->params_dirty.load());
  EXPECT_FALSE(s->bypass.load());

  MeterCell widget_copy = s->band_meters[2].gr;
  widget_copy.store(0.75f);
  EXPECT_EQ(s->band_meters[2].gr.load(), 0.75f);
  EXPECT_EQ(s->band_meters[2].level.load(), 0.0f);
}

}  // namespace
}  // namespace velmora
