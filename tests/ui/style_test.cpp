#include "ui/style.hpp"

#include <gtest/gtest.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <string>
#include <vector>

#include "ui/gui_fixture.hpp"

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

class InstalledStyle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { install_stylesheet(); }
  void TearDown() override { window.destroy(); }
  Gtk::Window window;
};

// The modifier's rule stands after the base rule, so its colour wins.
TEST_F(InstalledStyle, ModifierClassWinsOverItsBase) {
  auto* tab = Gtk::make_managed<Gtk::Label>("B1");
  tab->set_css_classes({"rack-tab", "rack-tab-sel"});
  test::show_in(window, *tab);
  test::render(*tab);  // styles settle with the frame
  EXPECT_EQ(tab->get_style_context()->get_color().to_string(), Gdk::RGBA("#e8830a").to_string());
}

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
