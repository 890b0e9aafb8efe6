#include "ui/style.hpp"

#include <gtest/gtest.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/togglebutton.h>
#include <gtkmm/window.h>

#include <string>
#include <vector>

#include "ui/render.hpp"

namespace velmora::ui {
namespace {

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

struct ColourCase {
  const char* name;
  std::vector<Glib::ustring> classes;
  bool toggled;
  const char* colour;
};

class InstalledStyle : public ::testing::TestWithParam<ColourCase> {
 protected:
  static void SetUpTestSuite() { install_stylesheet(); }
  void TearDown() override { window.destroy(); }
  Gtk::Window window;
};

// Modifier classes win over their base rule; the checked state has its own colours.
TEST_P(InstalledStyle, GivesTheClassItsTextColour) {
  auto* button = Gtk::make_managed<Gtk::ToggleButton>("X");
  button->set_css_classes(GetParam().classes);
  button->set_active(GetParam().toggled);
  test::show_in(window, *button);
  test::render(*button);  // styles settle with the frame
  EXPECT_EQ(button->get_style_context()->get_color().to_string(),
            Gdk::RGBA(GetParam().colour).to_string());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, InstalledStyle,
    ::testing::Values(ColourCase{"ModeButton", {"rack-mode-btn"}, false, "#607080"},
                      ColourCase{"ModeButtonActive", {"rack-mode-btn", "rack-mode-btn-active"}, false, "#e8830a"},
                      ColourCase{"Tab", {"rack-tab"}, false, "#445060"},
                      ColourCase{"TabSelected", {"rack-tab", "rack-tab-sel"}, false, "#e8830a"},
                      ColourCase{"MpxOff", {"rack-mpx-btn"}, false, "#1a7050"},
                      ColourCase{"MpxChecked", {"rack-mpx-btn"}, true, "#30e090"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InstalledStyle, EveryWindowGetsTheDarkBackground) {
  window.set_default_size(200, 100);
  test::show_in(window, *Gtk::make_managed<Gtk::Label>("x"));
  auto frame = test::render(window);
  EXPECT_TRUE(test::near(test::pixel_at(frame, frame->get_width() / 2, frame->get_height() / 2),
                         0x0e / 255.0, 0x0e / 255.0, 0x12 / 255.0));
}

// Pictures that decode are checked where they show: the header logo, and the window icon end to end.
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
