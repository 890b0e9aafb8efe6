// Every editing control of both views: one edit changes its one field and nothing else, a
// second one with the lock poisoned writes nothing, and each raises the reload flag exactly
// where the audio side needs a rebuild.
#include <gtest/gtest.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

using Cfg = const ProcessorConfig&;
constexpr std::size_t kBand = 3;  // band 4: not the drawer's first band

struct EditCase {
  const char* name;
  void (*edit)(const View&, bool again);
  double (*read)(Cfg);
  void (*copy)(ProcessorConfig& to, Cfg from);
  double after;
  bool desk_flag;
  bool rack_flag;
};

#define FIELD(m)                                  \
  [](Cfg c) { return static_cast<double>(c.m); }, \
      [](ProcessorConfig& to, Cfg from) { to.m = from.m; }

const EditCase kEdits[] = {
    {"in", [](const View& v, bool again) { v.panel().in_gain->set_value(again ? 1 : 6.5); }, FIELD(input_gain_db), 6.5, false, false},
    {"out", [](const View& v, bool again) { v.panel().out_gain->set_value(again ? 1 : -11.5); }, FIELD(output_gain_db), -11.5, false, false},
    {"lim", [](const View& v, bool again) { v.panel().limiter->set_value(again ? -1 : -9); }, FIELD(limiter_threshold), -6, false, false},
    {"mpx", [](const View& v, bool again) { v.set_mpx(!again); }, FIELD(mpx.enabled), 1, false, false},
    {"tau", [](const View& v, bool again) { (again ? v.panel().tau.us75 : v.panel().tau.us50)->set_active(true); },
     FIELD(mpx.tau), static_cast<double>(Tau::Us50), true, true},
    {"thr", [](const View& v, bool) { notch_up(v.knobs(kBand).thr); }, FIELD(bands[kBand].threshold_db), -17.7, false, false},
    {"ratio", [](const View& v, bool) { notch_up(v.knobs(kBand).ratio); }, FIELD(bands[kBand].ratio), 3.095, false, false},
    {"atk", [](const View& v, bool) { notch_up(v.knobs(kBand).atk); }, FIELD(bands[kBand].attack_ms), 10.9995, true, true},
    {"rel", [](const View& v, bool) { notch_up(v.knobs(kBand).rel); }, FIELD(bands[kBand].release_ms), 159.95, true, true},
    {"gain", [](const View& v, bool) { notch_up(v.knobs(kBand).gain); }, FIELD(bands[kBand].makeup_db), 3.12, false, false},
    {"lvl", [](const View& v, bool) { notch_up(v.knobs(kBand).clip_level); }, FIELD(bands[kBand].clip_level_db), -0.44, false, false},
    {"clip", [](const View& v, bool again) { v.checks(kBand).clip->set_active(again); }, FIELD(bands[kBand].clip_enable), 0, false, false},
    // The desk's "ON" asks for a rebuild; the drawer's leaves it to the next snapshot.
    {"on", [](const View& v, bool again) { v.checks(kBand).on->set_active(again); }, FIELD(bands[kBand].enabled), 0, true, false},
};

class Edit : public GuiEnv, public ::testing::WithParamInterface<std::tuple<bool, EditCase>> {};  // rack?, edit

TEST_P(Edit, WritesOnlyItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  const auto& [rack, p] = GetParam();
  const View v(rack, ProcessorConfig{});
  const bool flag = rack ? p.rack_flag : p.desk_flag;

  p.edit(v, false);
  const ProcessorConfig after = live(v.config);
  EXPECT_NEAR(p.read(after), p.after, 1e-5);
  ProcessorConfig rest;
  p.copy(rest, after);
  EXPECT_EQ(after, rest) << "another field changed";
  EXPECT_EQ(v.shared->params_dirty.load(), flag);

  v.shared->params_dirty.store(false);
  poison(*v.config);
  p.edit(v, true);
  EXPECT_EQ(live(v.config), after) << "a poisoned lock skips the write";
  EXPECT_EQ(v.shared->params_dirty.load(), flag);
}

INSTANTIATE_TEST_SUITE_P(Table, Edit, ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kEdits)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "rack_" : "desk_") + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace velmora::test
