// The rack view in a real window: the drawer's band selection.
#include <gtest/gtest.h>

#include "ui/gui_fixture.hpp"

namespace velmora::test {
namespace {

// A strip or a tab selects the band that the drawer shows and edits (the edit tables check that
// an edit changes that band's field alone).
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
  press(*rack.rack->strips[4].root);
  EXPECT_TRUE(d.revealer->get_reveal_child());

  // A poisoned lock still moves the selection, but leaves the controls as they are.
  poison(*rack.config);
  press(*d.tabs[0]);
  EXPECT_EQ(highlighted(), std::vector<std::size_t>{0});
  EXPECT_FLOAT_EQ(d.knobs.gain.value(), 4.12f);
}

}  // namespace
}  // namespace velmora::test
