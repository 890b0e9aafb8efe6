#include "ui/style.hpp"

#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/label.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <string>
#include <ostream>
#include <vector>

#include "ui/render.hpp"

namespace velmora::ui {
namespace {

std::string piece(const char* path) {
  auto bytes = embedded(path);
  if (!bytes) return {};
  gsize size = 0;
  const auto* data = static_cast<const char*>(bytes->get_data(size));
  return std::string(data, size);
}

TEST(Stylesheet, ParsesWithoutErrors) {
  auto provider = Gtk::CssProvider::create();
  std::vector<std::string> errors;
  provider->signal_parsing_error().connect(
      [&errors](const Glib::RefPtr<const Gtk::CssSection>& section, const Glib::Error& e) {
        errors.push_back(section->to_string() + ": " + e.what());
      });
  provider->load_from_data(stylesheet_text());
  EXPECT_EQ(errors, std::vector<std::string>{});
}

TEST(Stylesheet, IsTheDeskPieceThenTheRackPieceEachOpeningWithANewline) {
  const std::string desk = piece(kStyleDeskPath);
  const std::string rack = piece(kStyleRackPath);
  ASSERT_FALSE(desk.empty());
  ASSERT_FALSE(rack.empty());
  EXPECT_EQ(desk.front(), '\n');
  EXPECT_EQ(rack.front(), '\n');
  EXPECT_EQ(stylesheet_text(), desk + rack);
  EXPECT_NE(rack.find(".rack-mode-btn {"), std::string::npos);
}

class StylesheetRule : public ::testing::TestWithParam<const char*> {};

TEST_P(StylesheetRule, IsPresent) {
  EXPECT_NE(stylesheet_text().find(std::string(GetParam()) + " {"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    EveryRule, StylesheetRule,
    ::testing::Values("window", "separator", ".rack-mode-btn", ".rack-mode-btn-active",
                      ".rack-stby-off", ".rack-stby-on", ".rack-top", ".rack-title",
                      ".rack-subtitle", ".io-lbl", ".preset-section", ".preset-lbl", ".btn-load",
                      ".btn-load:hover", ".btn-save", ".btn-save:hover", ".btn-cancel",
                      ".side-panel", ".side-lbl", ".rack-center", ".band-strip", ".band-num",
                      ".band-freq", ".meter-lbl", ".band-check", ".mpx-panel", ".mpx-title",
                      ".mpx-lbl", ".mpx-tau", ".mpx-status-ok", ".mpx-status-off", ".rack-3u",
                      ".rack-left", ".rack-bands-zone", ".rack-io-zone", ".rack-mpx-zone",
                      ".rack-mpxout-zone", ".rack-right", ".rack-drawer", ".rack-drawer-tabs",
                      ".rack-tab", ".rack-tab-sel", ".rack-mpx-btn", ".rack-mpx-btn:checked",
                      ".rack-sml", ".rack-sml-amb", ".rack-bnum", ".rack-bfreq"));

TEST(Stylesheet, ModifierRulesComeAfterTheirBaseRules) {
  const std::string css = stylesheet_text();
  EXPECT_LT(css.find(".rack-tab {"), css.find(".rack-tab-sel {"));
  EXPECT_LT(css.find(".rack-mode-btn {"), css.find(".rack-mode-btn-active {"));
}

TEST(Stylesheet, EveryTextStyleIsMonospace) {
  const std::string css = stylesheet_text();
  size_t start = 0;
  int text_rules = 0;
  for (size_t end = css.find('}'); end != std::string::npos; start = end + 1, end = css.find('}', start)) {
    const std::string rule = css.substr(start, end - start);
    if (rule.find("font-size") == std::string::npos) continue;
    ++text_rules;
    EXPECT_NE(rule.find("font-family: Monospace;"), std::string::npos) << rule;
  }
  EXPECT_EQ(text_rules, 26);
}

// ---- installed on the display ---------------------------------------------------------------

struct ColourCase {
  const char* name;
  std::vector<Glib::ustring> classes;
  bool toggled;
  const char* colour;
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name << " " << c.colour; }

class InstalledStyle : public ::testing::TestWithParam<ColourCase> {
 protected:
  static void SetUpTestSuite() { install_stylesheet(); }
  void TearDown() override { window.destroy(); }
  Gtk::Window window;
};

TEST_P(InstalledStyle, GivesTheClassItsTextColour) {
  auto* button = Gtk::make_managed<Gtk::ToggleButton>("X");
  button->set_css_classes(GetParam().classes);
  button->set_active(GetParam().toggled);
  test::show_in(window, *button);
  test::render(*button);  // styles settle with the frame
  Gdk::RGBA want(GetParam().colour);
  Gdk::RGBA got = button->get_style_context()->get_color();
  EXPECT_EQ(got.to_string(), want.to_string());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, InstalledStyle,
    ::testing::Values(ColourCase{"ModeButton", {"rack-mode-btn"}, false, "#607080"},
                      ColourCase{"ModeButtonActive", {"rack-mode-btn", "rack-mode-btn-active"}, false, "#e8830a"},
                      ColourCase{"Tab", {"rack-tab"}, false, "#445060"},
                      ColourCase{"TabSelected", {"rack-tab", "rack-tab-sel"}, false, "#e8830a"},
                      ColourCase{"MpxOff", {"rack-mpx-btn"}, false, "#1a7050"},
                      ColourCase{"MpxChecked", {"rack-mpx-btn"}, true, "#30e090"},
                      ColourCase{"StandByOn", {"rack-stby-on"}, true, "#ff5050"},
                      ColourCase{"Load", {"btn-load"}, false, "#20c060"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StylesheetInstall, SitsAtApplicationPriority) {
  install_stylesheet();
  install_stylesheet();  // a second call adds nothing
  Gtk::Window window;
  auto* title = Gtk::make_managed<Gtk::Label>("VELMORA");
  title->add_css_class("rack-title");
  test::show_in(window, *title);
  auto colour = [&] {
    test::render(*title);
    return title->get_style_context()->get_color().to_string();
  };
  EXPECT_EQ(colour(), Gdk::RGBA("#e8830a").to_string());

  auto display = Gdk::Display::get_default();
  auto below = Gtk::CssProvider::create();
  below->load_from_data(".rack-title { color: #ff0000; }");
  Gtk::StyleContext::add_provider_for_display(display, below, 599);
  EXPECT_EQ(colour(), Gdk::RGBA("#e8830a").to_string());

  auto above = Gtk::CssProvider::create();
  above->load_from_data(".rack-title { color: #00ff00; }");
  Gtk::StyleContext::add_provider_for_display(display, above, 601);
  EXPECT_EQ(colour(), Gdk::RGBA("#00ff00").to_string());

  Gtk::StyleContext::remove_provider_for_display(display, above);
  Gtk::StyleContext::remove_provider_for_display(display, below);
  window.destroy();
}

TEST(StylesheetInstall, LoadButtonLightensOnHover) {
  install_stylesheet();
  Gtk::Window window;
  auto* load = Gtk::make_managed<Gtk::Button>("LOAD");
  load->add_css_class("btn-load");
  test::show_in(window, *load);
  const int y = load->get_height() / 2;
  // Inside the 1 px border, within the 8 px side padding: plain background.
  EXPECT_TRUE(test::near(test::pixel_at(test::render(*load), 4, y), 0x0e / 255.0, 0x1e / 255.0, 0x0e / 255.0));
  load->set_state_flags(Gtk::StateFlags::PRELIGHT, false);
  EXPECT_TRUE(test::near(test::pixel_at(test::render(*load), 4, y), 0x15 / 255.0, 0x2a / 255.0, 0x15 / 255.0));

  window.destroy();
}

TEST(StylesheetInstall, EveryWindowGetsTheDarkBackground) {
  install_stylesheet();
  Gtk::Window window;
  window.set_default_size(200, 100);
  test::show_in(window, *Gtk::make_managed<Gtk::Label>("x"));
  auto frame = test::render(window);
  EXPECT_TRUE(test::near(test::pixel_at(frame, frame->get_width() / 2, frame->get_height() / 2),
                         0x0e / 255.0, 0x0e / 255.0, 0x12 / 255.0));
  window.destroy();
}

// ---- images ----------------------------------------------------------------------------------

class EmbeddedPicture : public ::testing::TestWithParam<const char*> {};

TEST_P(EmbeddedPicture, Decodes512By517Rgba) {
  auto pix = decode_png(embedded(GetParam()));
  ASSERT_TRUE(pix);
  EXPECT_EQ(pix->get_width(), 512);
  EXPECT_EQ(pix->get_height(), 517);
  EXPECT_TRUE(pix->get_has_alpha());
  EXPECT_EQ(pix->get_n_channels(), 4);
  EXPECT_EQ(pix->get_bits_per_sample(), 8);
}

INSTANTIATE_TEST_SUITE_P(Assets, EmbeddedPicture, ::testing::Values(kLogoPath, kIconPath));

TEST(Pictures, LogoAndIconComeOut48By48) {
  Gtk::Window owner;
  Gtk::Image* logo = logo_image();
  ASSERT_NE(logo, nullptr);
  owner.set_child(*logo);
  EXPECT_EQ(logo->get_pixel_size(), 48);
  auto paintable = logo->get_paintable();
  ASSERT_TRUE(paintable);
  EXPECT_EQ(paintable->get_intrinsic_width(), 48);
  EXPECT_EQ(paintable->get_intrinsic_height(), 48);

  auto icon = icon_texture();
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->get_width(), 48);
  EXPECT_EQ(icon->get_height(), 48);
}

TEST(Pictures, DataThatDoesNotDecodeLeavesThePictureOut) {
  const std::string junk = "not a png at all";
  auto bytes = Glib::Bytes::create(junk.data(), junk.size());
  EXPECT_EQ(logo_image(bytes), nullptr);
  EXPECT_FALSE(icon_texture(bytes));
  EXPECT_EQ(logo_image(Glib::RefPtr<const Glib::Bytes>{}), nullptr);
  EXPECT_FALSE(embedded("/org/velmora/Velmora/missing.png"));
}

}  // namespace
}  // namespace velmora::ui
