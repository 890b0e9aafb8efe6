#include "audio/input_buffer.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <optional>

#include "test_support.hpp"

namespace velmora {
namespace {

enum class Lock { Free, Busy, Poisoned };

struct TakeCase {
  std::size_t held;
  std::size_t n;
  Lock lock;
  bool taken;
};
class TakeInput : public testing::TestWithParam<TakeCase> {};

// Taking removes the oldest n samples; anything else plays silence and leaves the buffer alone.
TEST_P(TakeInput, RemovesOldestSamplesOrPlaysSilence) {
  const auto [held, n, lock, taken] = GetParam();
  InputBuffer buf = make_input_buffer(64);
  std::vector<float> stored(held);
  std::iota(stored.begin(), stored.end(), 1.0f);
  buf->with([&](std::vector<float>& v) { v = stored; });
  if (lock == Lock::Poisoned) test::poison(*buf);
  std::vector<float> out(n, -7.0f);
  {
    std::optional<test::LockHolder<std::vector<float>>> holder;
    if (lock == Lock::Busy) holder.emplace(*buf);
    EXPECT_EQ(take_input(*buf, out), taken);
  }
  std::vector<float> want_out(n, 0.0f), want_left = stored;
  if (taken) {
    std::copy_n(stored.begin(), n, want_out.begin());
    want_left.erase(want_left.begin(), want_left.begin() + static_cast<std::ptrdiff_t>(n));
  }
  EXPECT_EQ(out, want_out);
  auto g = buf->lock();
  EXPECT_EQ(*g, want_left);
}
INSTANTIATE_TEST_SUITE_P(Cases, TakeInput,
                         testing::Values(TakeCase{10, 4, Lock::Free, true}, TakeCase{8, 8, Lock::Free, true},
                                         TakeCase{7, 8, Lock::Free, false}, TakeCase{0, 0, Lock::Free, true},
                                         TakeCase{10, 4, Lock::Busy, false},
                                         TakeCase{10, 4, Lock::Poisoned, false}));

TEST(InputBuffer, StartsEmptyWithTheRequestedRoom) {
  InputBuffer buf = make_input_buffer(4096);
  auto g = buf->lock();
  EXPECT_TRUE(g->empty());
  EXPECT_GE(g->capacity(), 4096u);
}

}  // namespace
}  // namespace velmora
