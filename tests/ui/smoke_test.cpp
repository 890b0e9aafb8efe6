#include <gtest/gtest.h>
#include <gtkmm/label.h>

// The display is up and gtkmm is initialised: a widget can be made.
TEST(GuiHarness, MakesAWidget) {
  Gtk::Label label("VELMORA");
  EXPECT_EQ(label.get_text(), "VELMORA");
}
