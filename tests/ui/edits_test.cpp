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
  void (*edit)(ViewWindow&, bool again);
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
    {"in", [](ViewWindow& v, bool again) { v.panel().in_gain->set_value(again ? 1 : 6.5); }, FIELD(input_gain_db), 6.5, false, false},
    {"out", [](ViewWindow& v, bool again) { v.panel().out_gain->set_value(again ? 1 : -11.5); }, FIELD(output_gain_db), -11.5, false, false},
    {"lim", [](ViewWindow& v, bool again) { v.panel().limiter->set_value(again ? -1 : -9); }, FIELD(limiter_threshold), -6, false, false},
    {"mpx", [](ViewWindow& v, bool again) { v.set_mpx(!again); }, FIELD(mpx.enabled), 1, false, false},
    {"tau", [](ViewWindow& v, bool again) { (again ? v.panel().tau.us75 : v.panel().tau.us50)->set_active(true); },
     FIELD(mpx.tau), static_cast<double>(Tau::Us50), true, true},
    {"thr", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).thr); }, FIELD(bands[kBand].threshold_db), -17.7, false, false},
    {"ratio", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).ratio); }, FIELD(bands[kBand].ratio), 3.095, false, false},
    {"atk", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).atk); }, FIELD(bands[kBand].attack_ms), 10.9995, true, true},
    {"rel", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).rel); }, FIELD(bands[kBand].release_ms), 159.95, true, true},
    {"gain", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).gain); }, FIELD(bands[kBand].makeup_db), 3.12, false, false},
    {"lvl", [](ViewWindow& v, bool) { notch_up(v.knobs_of(kBand).clip_level); }, FIELD(bands[kBand].clip_level_db), -0.44, false, false},
    {"clip", [](ViewWindow& v, bool again) { v.checks_of(kBand).clip->set_active(again); }, FIELD(bands[kBand].clip_enable), 0, false, false},
    // The desk's "ON" asks for a rebuild; the drawer's leaves it to the next snapshot.
    {"on", [](ViewWindow& v, bool again) { v.checks_of(kBand).on->set_active(again); }, FIELD(bands[kBand].enabled), 0, true, false},
};

using Param = std::tuple<bool, EditCase>;  // rack?, edit

class Edit : public GuiEnv, public ::testing::WithParamInterface<Param> {};

TEST_P(Edit, WritesOnlyItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  const auto& [rack, p] = GetParam();
  std::unique_ptr<ViewWindow> v;
  if (rack) {
    v = std::make_unique<Rack>(ProcessorConfig{});
  } else {
    v = std::make_unique<Desk>(ProcessorConfig{}, false);
  }
  const bool flag = rack ? p.rack_flag : p.desk_flag;

  p.edit(*v, false);
  const ProcessorConfig after = live(v->config);
  EXPECT_NEAR(p.read(after), p.after, 1e-5);
  ProcessorConfig rest;
  p.copy(rest, after);
  EXPECT_EQ(after, rest) << "another field changed";
  EXPECT_EQ(v->shared->params_dirty.load(), flag);

  v->shared->params_dirty.store(false);
  poison(*v->config);
  p.edit(*v, true);
  EXPECT_EQ(live(v->config), after) << "a poisoned lock skips the write";
  EXPECT_EQ(v->shared->params_dirty.load(), flag);
}

INSTANTIATE_TEST_SUITE_P(Table, Edit, ::testing::Combine(::testing::Bool(), ::testing::ValuesIn(kEdits)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) ? "rack_" : "desk_") + std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace velmora::test
