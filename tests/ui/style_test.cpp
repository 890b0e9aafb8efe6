#include "ui/style.hpp"

#include <gtest/gtest.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>
#include <gtkmm/label.h>

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

// Every window gets the dark background; a modifier's rule stands after its base rule, so its colour wins.
TEST(InstalledStyle, DarkWindowsAndModifierClassesWinOverTheirBase) {
  install_stylesheet();
  Gtk::Window window;
  window.set_default_size(200, 100);
  auto* tab = Gtk::make_managed<Gtk::Label>("B1");
  tab->set_css_classes({"rack-tab", "rack-tab-sel"});
  test::show_in(window, *tab);
  auto frame = test::render(window);
  EXPECT_TRUE(test::near(test::pixel_at(frame, 150, 75), 0x0e / 255.0, 0x0e / 255.0, 0x12 / 255.0));
  EXPECT_EQ(tab->get_style_context()->get_color().to_string(), Gdk::RGBA("#e8830a").to_string());
  window.destroy();
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
