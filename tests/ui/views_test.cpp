// Both views, their controls and meters; the desk's multiplex panel and the rack's drawer.
#include <gtest/gtest.h>
#include <gtkmm/label.h>
#include <gtkmm/separator.h>

#include <map>

#include "settings/presets.hpp"
#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

class Views : public GuiEnv, public ::testing::WithParamInterface<bool> {};

struct BuildCase {
  const char* name;
  void (*edit)(ProcessorConfig&);
  double bands, in, out, lim;  // on screen, clamped to each control's range
  bool mpx, us50;
  Texts texts;
  const char* preset;  // selected: the stored name, or the first when no preset has it
};

const Texts kDefaultTexts{"<120", "120-400", "400-2k", "2k-6k", "6k-12k", ">12k"};

const BuildCase kBuilds[] = {
    {"defaults", [](ProcessorConfig&) {}, 5, 0, 0, -0.3f, false, false, kDefaultTexts, "ROCK"},
    {"bands0", [](ProcessorConfig& c) {
       c.num_bands = 0;
       c.last_preset = "BLUE";
     }, 2, 0, 0, -0.3f, false, false, kDefaultTexts, "BLUE"},
    {"bands3", [](ProcessorConfig& c) {
       c.num_bands = 3;
       c.crossover_freqs = {300, 3000, 0, 0, 0};
       c.last_preset = "Borrado";
     }, 3, 0, 0, -0.3f, false, false, {"<300", "300-3k", ">3k", kDash, kDash, kDash}, "ROCK"},
    {"bands9GainsOutOfRangeMpxOn50us", [](ProcessorConfig& c) {
       c.num_bands = 9;
       c.input_gain_db = 30.0f;
       c.output_gain_db = -20.0f;
       c.limiter_threshold = 3.0f;
       c.mpx.enabled = true;
       c.mpx.tau = Tau::Us50;
     }, 6, 12, -12, 0, true, true, kDefaultTexts, "ROCK"},
};

TEST_P(Views, ShowTheConfigurationClampedOnScreenOnlyAndRunNoHandler) {
  for (const BuildCase& p : kBuilds) {
    SCOPED_TRACE(p.name);
    ProcessorConfig cfg;
    p.edit(cfg);
    cfg.bands[0].threshold_db = -33.0f;
    cfg.bands[0].release_ms = 5000.0f;
    cfg.bands[0].clip_enable = false;
    const View v(GetParam(), cfg);

    const ui::PanelControls& c = v.panel();
    EXPECT_EQ((std::array{c.band_count->get_value(), c.in_gain->get_value(), c.out_gain->get_value(),
                          c.limiter->get_value()}),
              (std::array{p.bands, p.in, p.out, p.lim}));
    EXPECT_EQ(v.mpx(), p.mpx);
    EXPECT_EQ(c.tau.us50->get_active(), p.us50);
    EXPECT_EQ(range_texts(v), p.texts);
    expect_active(v, static_cast<std::uint64_t>(p.bands));
    std::array<float, 6> band1{};
    for (std::size_t k = 0; k < 6; ++k) band1[k] = v.knobs().all()[k]->value();
    EXPECT_EQ(band1, (std::array<float, 6>{-33.0f, 3.0f, 10.0f, 2000.0f, 3.0f, -0.5f}));
    EXPECT_FALSE(v.checks().clip->get_active());
    EXPECT_TRUE(v.checks().on->get_active());
    EXPECT_EQ(v.presets().selector->get_active_text(), p.preset);
    EXPECT_EQ(live(v.config), cfg) << "the build wrote a clamped value back";
    EXPECT_FALSE(v.shared->params_dirty.load());
  }
}

// Every control (the drawer's tab row too) and meter group is in the window under its caption,
// the panels parted by their lines, and every built-in preset's name shown whole.
TEST_P(Views, ShowEveryControl) {
  View v(GetParam(), ProcessorConfig{});
  const ui::PanelControls& c = v.panel();
  std::vector<Gtk::Widget*> controls{c.band_count, c.in_gain, c.out_gain, c.limiter, c.tau.us75, c.tau.us50,
                                     v.presets().selector, v.presets().load, v.presets().save};
  for (std::size_t b = 0; b < 6; ++b) {
    for (const ui::Knob* k : v.knobs(b).all()) controls.push_back(k->widget);
    controls.insert(controls.end(), {v.checks(b).clip, v.checks(b).on});
  }
  if (v.rack) {  // the drawer's tab row too, whose tabs the tests otherwise press directly
    controls.insert(controls.end(), v.rack->drawer.tabs.begin(), v.rack->drawer.tabs.end());
    controls.push_back(v.rack->drawer.collapse);
  }
  for (Gtk::Widget* w : controls) EXPECT_EQ(w->get_root(), &v.window) << w->get_name();
  const auto caption = [](Gtk::Widget* w) {
    return find_all<Gtk::Label>(*w->get_prev_sibling()).at(0)->get_text().raw();
  };
  std::vector<std::string> captions;
  for (std::size_t i = 0; i < 5; ++i) captions.push_back(caption(controls[i]));
  for (std::size_t m = 12; m < 19; ++m) captions.push_back(caption(v.meters()[m]->get_parent()));
  std::vector<std::string> want = GetParam() ? std::vector<std::string>{"BANDS", "IN", "OUT", "LIM", "PRE-EMPH"}
                                             : std::vector<std::string>{"BANDS", "IN GAIN", "OUT GAIN", "LIMITER", "PRE-EMPHASIS"};
  want.insert(want.end(), {"INPUT", "INPUT", "OUTPUT", "OUTPUT", "LIM", "MPX OUT", "MPX OUT"});
  EXPECT_EQ(captions, want);
  EXPECT_EQ(find_all<Gtk::Separator>(v.window).size(), GetParam() ? 5u : 26u);
  EXPECT_EQ(c.tau.us75->get_css_classes(), c.tau.us50->get_css_classes()) << "both choices look alike";
  for (const Preset& p : builtin_presets()) {
    v.presets().selector->set_active_id(p.name);
    EXPECT_EQ(v.presets().selector->get_active_text().raw(), p.name);
  }
}

// Each band count with the crossovers it writes and the range texts they give.
const std::tuple<int, Crossovers, Texts> kCounts[] = {
    {2, {800, 0, 0, 0, 0}, {"<800", ">800", kDash, kDash, kDash, kDash}},
    {3, {300, 3000, 0, 0, 0}, {"<300", "300-3k", ">3k", kDash, kDash, kDash}},
    {4, {150, 1000, 6000, 0, 0}, {"<150", "150-1k", "1k-6k", ">6k", kDash, kDash}},
    {5, {120, 400, 2000, 6000, 0}, {"<120", "120-400", "400-2k", "2k-6k", ">6k", kDash}},
    {6, {80, 320, 1200, 4800, 12000}, {"<80", "80-320", "320-1k", "1k-5k", "5k-12k", ">12k"}},
};

TEST_P(Views, BandCountWritesCountAndTableShowsRangesLeavesKnobsAndTakesOnlyCountsTyped) {
  for (const auto& [n, freqs, texts] : kCounts) {
    SCOPED_TRACE(n);
    ProcessorConfig cfg;
    cfg.num_bands = n == 6 ? 5 : 6;
    const View v(GetParam(), cfg);
    v.panel().band_count->set_value(n);
    const auto after = live(v.config);
    EXPECT_EQ(after.num_bands, static_cast<std::uint64_t>(n));
    EXPECT_EQ(after.crossover_freqs, freqs);
    EXPECT_EQ(after.bands, cfg.bands);
    EXPECT_TRUE(v.shared->params_dirty.load());
    EXPECT_EQ(range_texts(v), texts);
    expect_active(v, static_cast<std::uint64_t>(n));
    EXPECT_FLOAT_EQ(v.knobs().thr.value(), -18.0f);

    // A poisoned lock keeps the configuration but still shows the choice and asks for a rebuild.
    v.shared->params_dirty.store(false);
    poison(*v.config);
    v.panel().band_count->set_value(n == 2 ? 3 : 2);
    EXPECT_EQ(live(v.config), after);
    EXPECT_TRUE(v.shared->params_dirty.load());
    EXPECT_EQ(range_texts(v)[1], n == 2 ? "300-3k" : ">800");
  }
  // As a user types over the count and presses Enter: only a band count is taken.
  const View v(GetParam(), ProcessorConfig{});
  auto* editable = GTK_EDITABLE(v.panel().band_count->gobj());
  for (const auto& [typed, bands] : {std::pair{"x", 5}, {"", 5}, {"3", 3}}) {
    gtk_editable_delete_text(editable, 0, -1);
    int at = 0;
    gtk_editable_insert_text(editable, typed, -1, &at);
    v.panel().band_count->update();
    EXPECT_EQ(v.panel().band_count->get_value(), bands) << typed;
    EXPECT_EQ(live(v.config).num_bands, static_cast<std::uint64_t>(bands)) << typed;
    EXPECT_EQ(v.shared->params_dirty.load(), bands == 3) << typed;
  }
}

// Each cell holds its own value, so each meter's lit run tells which cell it reads and in which
// mode: levels light from the bottom, gain reduction hangs from the top.
TEST_P(Views, EachMeterReadsItsCellInItsMode) {
  const View v(GetParam(), ProcessorConfig{});
  SharedState& s = *v.shared;
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
  const auto meters = v.meters();
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

// The status names what the rate allows; the panel's level knobs only display, and the
// pre-emphasis button that was just deactivated writes nothing.
TEST_F(GuiEnv, DeskMpxPanelShowsWhatTheRateAllowsAndWritesOnlyThroughItsChoice) {
  const std::tuple<std::uint32_t, const char*, const char*> rows[] = {
      {95999, "MONO (95kHz)\n≥96kHz p/estéreo", "mpx-status-off"}, {96000, "ESTÉREO MPX\n96kHz", "mpx-status-ok"}};
  for (const auto& [rate, text, css] : rows) {
    ProcessorConfig cfg;
    cfg.sample_rate = rate;
    const View v(false, cfg);
    std::vector<Glib::ustring> shown;
    for (auto* l : find_all<Gtk::Label>(*v.desk->root)) {
      if (l->has_css_class(css)) shown.push_back(l->get_text());
    }
    EXPECT_EQ(shown, std::vector<Glib::ustring>{text});
    // The multiplex panel's two knobs stand before its two meters, last in the main row.
    const auto areas = find_all<Gtk::DrawingArea>(*v.desk->main_row);
    for (auto k = areas.end() - 4; k != areas.end() - 2; ++k) EXPECT_TRUE(scroll(**k, 0.0, -20.0));
    Gtk::CheckButton off;
    ui::on_tau75_toggled(off, v.config, v.shared);
    ui::on_tau50_toggled(off, v.config, v.shared);
    EXPECT_EQ(live(v.config), cfg);
    EXPECT_FALSE(v.shared->params_dirty.load());
  }
}

// A strip or a tab selects the band that the drawer shows and edits.
TEST_F(GuiEnv, RackDrawerEditsAndShowsTheSelectedBand) {
  ProcessorConfig cfg;
  for (std::size_t b = 0; b < 6; ++b) cfg.bands[b].makeup_db = static_cast<float>(b);
  cfg.bands[2].clip_enable = false;
  cfg.bands[4].enabled = false;
  const View rack(true, cfg);
  ui::RackDrawer& d = rack.rack->drawer;
  const auto highlighted = [&] {
    std::vector<std::size_t> out;
    for (std::size_t k = 0; k < 6; ++k) {
      if (d.tabs[k]->has_css_class("rack-tab-sel")) out.push_back(k);
    }
    return out;
  };

  EXPECT_FALSE(d.revealer->get_reveal_child()) << "built closed, on band 1";
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{0});
  press(*rack.rack->strips[2].root);
  EXPECT_TRUE(d.revealer->get_reveal_child());
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{2});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 2.0f);
  EXPECT_FALSE(d.checks.clip->get_active());
  EXPECT_TRUE(d.checks.on->get_active());
  notch_up(d.knobs.gain);
  const ProcessorConfig edited = live(rack.config);
  EXPECT_FLOAT_EQ(edited.bands[2].makeup_db, 2.12f);

  press(*d.tabs[4]);
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{4});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 4.0f);
  EXPECT_TRUE(d.checks.clip->get_active());
  EXPECT_FALSE(d.checks.on->get_active());
  EXPECT_EQ(live(rack.config), edited) << "selecting writes nothing";
  EXPECT_FALSE(rack.shared->params_dirty.load());

  click(*d.collapse);
  EXPECT_FALSE(d.revealer->get_reveal_child());
  notch_up(d.knobs.gain);
  EXPECT_FLOAT_EQ(live(rack.config).bands[4].makeup_db, 4.12f) << "hiding keeps the selection";

  // A poisoned lock still moves the selection, but leaves the controls as they are.
  poison(*rack.config);
  press(*d.tabs[0]);
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{0});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 4.12f);
}

// Every editing control of both views: an edit changes its one field, a second one with the lock
// poisoned writes nothing, and each raises the reload flag just where the audio side rebuilds.
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

TEST_P(Views, EachEditWritesOnlyItsFieldAndRaisesTheFlagOnlyWhereNeeded) {
  for (const EditCase& p : kEdits) {
    SCOPED_TRACE(p.name);
    const View v(GetParam(), ProcessorConfig{});
    const bool flag = GetParam() ? p.rack_flag : p.desk_flag;
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
}

INSTANTIATE_TEST_SUITE_P(Both, Views, ::testing::Bool(), view_name);

}  // namespace
}  // namespace velmora::test
