// Both views as built from a configuration, and their band-count control.
#include <gtest/gtest.h>

#include <map>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

struct BuildCase {
  const char* name;
  void (*edit)(ProcessorConfig&);
  double bands, in, out, lim;  // on screen, clamped to each control's range
  bool mpx, us50;
  std::uint64_t active;
  Texts texts;
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

const Texts kDefaultTexts{"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"};

const BuildCase kBuilds[] = {
    {"defaults", [](ProcessorConfig&) {}, 5, 0, 0, -0.3f, false, false, 5, kDefaultTexts},
    {"bands0", [](ProcessorConfig& c) { c.num_bands = 0; }, 2, 0, 0, -0.3f, false, false, 2, kDefaultTexts},
    {"bands3", [](ProcessorConfig& c) {
       c.num_bands = 3;
       c.crossover_freqs = {300, 3000, 0, 0, 0};
     }, 3, 0, 0, -0.3f, false, false, 3, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
    {"bands9", [](ProcessorConfig& c) { c.num_bands = 9; }, 6, 0, 0, -0.3f, false, false, 6, kDefaultTexts},
    {"gainsOutOfRange", [](ProcessorConfig& c) {
       c.input_gain_db = 30.0f;
       c.output_gain_db = -20.0f;
       c.limiter_threshold = 3.0f;
     }, 5, 12, -12, 0, false, false, 5, kDefaultTexts},
    {"mpxOn50us", [](ProcessorConfig& c) {
       c.mpx.enabled = true;
       c.mpx.tau = Tau::Us50;
     }, 5, 0, 0, -0.3f, true, true, 5, kDefaultTexts},
};

class Build : public GuiEnv, public ::testing::WithParamInterface<std::tuple<MakeView, BuildCase>> {};

TEST_P(Build, ShowsTheConfigurationClampedOnScreenOnlyAndRunsNoHandler) {
  const auto& [make, p] = GetParam();
  ProcessorConfig cfg;
  p.edit(cfg);
  cfg.bands[0].threshold_db = -33.0f;
  cfg.bands[0].release_ms = 5000.0f;
  cfg.bands[0].clip_enable = false;
  const auto v = make(cfg);

  const ui::PanelControls& c = v->panel();
  EXPECT_EQ((std::array{c.band_count->get_value(), c.in_gain->get_value(), c.out_gain->get_value(),
                        c.limiter->get_value()}),
            (std::array{p.bands, p.in, p.out, p.lim}));
  EXPECT_EQ(v->mpx_on(), p.mpx);
  EXPECT_EQ(c.tau.us50->get_active(), p.us50);
  EXPECT_NE(c.tau.us50->get_active(), c.tau.us75->get_active());
  EXPECT_EQ(range_texts(*v), p.texts);
  expect_active(*v, p.active);
  std::array<float, 6> band1{};
  for (std::size_t k = 0; k < 6; ++k) band1[k] = v->band1().all()[k]->value();
  EXPECT_EQ(band1, (std::array<float, 6>{-33.0f, 3.0f, 10.0f, 2000.0f, 3.0f, -0.5f}));
  EXPECT_FALSE(v->band1_checks().clip->get_active());
  EXPECT_TRUE(v->band1_checks().on->get_active());
  EXPECT_EQ(live(v->config), cfg) << "the build wrote a clamped value back";
  EXPECT_FALSE(v->shared->params_dirty.load());
}

INSTANTIATE_TEST_SUITE_P(Table, Build, ::testing::Combine(::testing::Values(make_desk, make_rack), ::testing::ValuesIn(kBuilds)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == make_desk ? "desk_" : "rack_") +
                                  std::get<1>(info.param).name;
                         });

// Each band count with the crossovers it writes and the range texts they give.
struct CountCase {
  int n;
  Crossovers freqs;
  Texts texts;
};

const CountCase kCounts[] = {
    {2, {800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
    {3, {300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
    {4, {150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
    {5, {120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
    {6, {80, 320, 1200, 4800, 12000}, {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}},
};

class BandCount : public GuiEnv, public ::testing::WithParamInterface<std::tuple<MakeView, CountCase>> {};

TEST_P(BandCount, WritesCountAndTableShowsTheirRangesAndLeavesTheKnobs) {
  const auto& [make, p] = GetParam();
  ProcessorConfig cfg;
  cfg.num_bands = p.n == 6 ? 5 : 6;
  const auto v = make(cfg);
  v->panel().band_count->set_value(p.n);
  const auto after = live(v->config);
  EXPECT_EQ(after.num_bands, static_cast<std::uint64_t>(p.n));
  EXPECT_EQ(after.crossover_freqs, p.freqs);
  EXPECT_EQ(after.bands, cfg.bands);
  EXPECT_TRUE(v->shared->params_dirty.load());
  EXPECT_EQ(range_texts(*v), p.texts);
  expect_active(*v, static_cast<std::uint64_t>(p.n));
  EXPECT_FLOAT_EQ(v->band1().thr.value(), -18.0f);

  // A poisoned lock keeps the configuration but still shows the choice and asks for a rebuild.
  v->shared->params_dirty.store(false);
  poison(*v->config);
  v->panel().band_count->set_value(p.n == 2 ? 3 : 2);
  EXPECT_EQ(live(v->config), after);
  EXPECT_TRUE(v->shared->params_dirty.load());
  EXPECT_EQ(range_texts(*v)[1], p.n == 2 ? "300-3k" : ">800");
}

INSTANTIATE_TEST_SUITE_P(Table, BandCount, ::testing::Combine(::testing::Values(make_desk, make_rack), ::testing::ValuesIn(kCounts)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param) == make_desk ? "desk_" : "rack_") +
                                  std::to_string(std::get<1>(info.param).n);
                         });

// Each cell holds its own value, so each meter's lit run tells which cell it reads and in which
// mode: levels light from the bottom, gain reduction hangs from the top.
class MeterWiring : public GuiEnv, public ::testing::WithParamInterface<MakeView> {};

TEST_P(MeterWiring, EachMeterReadsItsCellInItsMode) {
  const auto v = GetParam()(ProcessorConfig{});
  SharedState& s = *v->shared;
  std::vector<std::pair<const MeterCell*, bool>> table;  // cell, gain-reduction mode
  for (const BandMeters& b : s.band_meters) table.insert(table.end(), {{&b.level, false}, {&b.gr, true}});
  table.insert(table.end(), {{&s.in_l, false}, {&s.in_r, false}, {&s.out_l, false}, {&s.out_r, false},
                             {&s.limiter_gr, true}, {&s.out_l, false}, {&s.out_r, false}});
  // The k-th cell holds (2k + 1) / 40, which lights round(0.75 (2k + 1)) segments: 1, 2, 4, 5, 7, …
  std::map<const MeterCell*, int> segments;
  for (const auto& [cell, gr] : table) {
    if (segments.count(cell) != 0) continue;
    const int k = static_cast<int>(segments.size());
    cell->store(static_cast<float>(2 * k + 1) / 40.0f);
    segments[cell] = static_cast<int>(std::lround(0.75 * (2 * k + 1)));
  }
  const auto meters = v->meters();
  ASSERT_EQ(meters.size(), 19u);
  for (std::size_t m = 0; m < 19; ++m) {
    auto image = render(*meters[m]);
    const int want = segments[table[m].first];
    for (int i = 0; i < 30; ++i) {
      const bool on = table[m].second ? i >= 30 - want : i < want;
      const Px p = pixel_at(image, 8, 120 - 4 * i - 2);
      EXPECT_EQ(std::max({p.r, p.g, p.b}) > 100, on) << "meter " << m << " segment " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Views, MeterWiring, ::testing::Values(make_desk, make_rack),
                         [](const auto& info) { return std::string(info.param == make_desk ? "desk" : "rack"); });

// As a user types over the count and presses Enter: nothing but a band count is taken.
TEST_F(GuiEnv, TypedTextThatIsNoBandCountChangesNothing) {
  Desk desk(ProcessorConfig{}, false);
  auto* editable = GTK_EDITABLE(desk.band_count().gobj());
  for (const char* typed : {"x", ""}) {
    gtk_editable_delete_text(editable, 0, -1);
    int at = 0;
    gtk_editable_insert_text(editable, typed, -1, &at);
    desk.band_count().update();
    EXPECT_EQ(desk.band_count().get_value(), 5) << typed;
  }
  EXPECT_EQ(live(desk.config), ProcessorConfig{});
  EXPECT_FALSE(desk.shared->params_dirty.load());
}

}  // namespace
}  // namespace velmora::test
