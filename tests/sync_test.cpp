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

// A try_lock on another thread, as the playback worker would make it.
LockStatus tried_elsewhere(Guarded<int>& cell) {
  return std::async(std::launch::async, [&] { return cell.try_lock().status(); }).get();
}

// Busy while another thread holds the lock, free once released. An exception that leaves a
// holder's scope poisons the cell for good: later guards are still handed out (and unlock), but
// marked, and `with` skips; a guard made while unrelated unwinding was already under way does not.
TEST(Guarded, TryLockSeesBusyAndAnAbandonedEditPoisonsForGood) {
  Guarded<int> cell(7);
  {
    auto held = cell.lock();
    EXPECT_EQ(held.status(), LockStatus::Acquired);
    EXPECT_EQ(tried_elsewhere(cell), LockStatus::Busy);
    held.release();
    EXPECT_EQ(tried_elsewhere(cell), LockStatus::Acquired);
  }
  struct LocksOnDestruction {
    Guarded<int>& cell;
    ~LocksOnDestruction() { *cell.lock() = 1; }
  };
  EXPECT_THROW((LocksOnDestruction{cell}, throw std::runtime_error("unrelated")), std::runtime_error);
  EXPECT_TRUE(cell.with([](int& v) { v += 1; }));

  EXPECT_THROW(cell.with([](int& v) {
    v *= 3;
    throw std::logic_error("edit abandoned");
  }), std::logic_error);
  {
    auto g = cell.lock();
    EXPECT_EQ(g.status(), LockStatus::Poisoned);
    EXPECT_EQ(*g, 6);  // 1 from the unwinding guard, +1, ×3
  }
  EXPECT_EQ(tried_elsewhere(cell), LockStatus::Poisoned);
  bool ran = false;
  EXPECT_FALSE(cell.with([&](int&) { ran = true; }));
  EXPECT_FALSE(ran);
}

TEST(SharedState, StartsAtZeroAndCellCopiesShareOneValue) {
  const auto s = SharedState::create();
  std::vector<MeterCell> cells{s->in_l, s->in_r, s->out_l, s->out_r, s->limiter_gr};
  for (const BandMeters& b : s->band_meters) cells.insert(cells.end(), {b.level, b.gr});
  for (const MeterCell& c : cells) EXPECT_EQ(std::bit_cast<std::uint32_t>(c.load()), 0u);
  EXPECT_FALSE(s->params_dirty.load() || s->bypass.load());

  MeterCell widget_copy = s->band_meters[2].gr;
  widget_copy.store(0.75f);
  EXPECT_EQ(s->band_meters[2].gr.load(), 0.75f);
  EXPECT_EQ(s->band_meters[2].level.load(), 0.0f);
}

}  // namespace
}  // namespace velmora
