// The main window in a real GTK window: the mode bar and header as built, the view
// switch, stand-by, the save at close and a second activation.
#include <gtest/gtest.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/separator.h>
#include <spdlog/sinks/ostream_sink.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "config.hpp"
#include "log.hpp"
#include "ui/ventana.hpp"

namespace fs = std::filesystem;
using velmora::ProcessorConfig;
using velmora::ui::WindowFrame;

namespace {

std::vector<Gtk::Widget*> children(Gtk::Widget& w) {
  std::vector<Gtk::Widget*> out;
  for (Gtk::Widget* c = w.get_first_child(); c != nullptr; c = c->get_next_sibling()) out.push_back(c);
  return out;
}

template <class T>
T& as(Gtk::Widget* w) {
  auto* t = dynamic_cast<T*>(w);
  if (t == nullptr) throw std::runtime_error("unexpected widget type " + std::string(G_OBJECT_TYPE_NAME(w->gobj())));
  return *t;
}

using Classes = std::vector<Glib::ustring>;

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class Ventana : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // Non-unique under its own ID: the tests never hand over to a running Velmora.
    app_ = Gtk::Application::create("org.velmora.VelmoraTest", Gio::Application::Flags::NON_UNIQUE);
    app_->register_application();
  }

  void SetUp() override {
    char tmpl[] = "/tmp/velmora-ventana-XXXXXX";
    dir_ = mkdtemp(tmpl);
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
    setenv("HOME", dir_.c_str(), 1);
    velmora::log::init({{"", spdlog::level::info}}, std::make_shared<spdlog::sinks::ostream_sink_mt>(log_));
  }

  void TearDown() override {
    for (Gtk::Window* w : app_->get_windows()) w->destroy();
    pump_until([] { return false; }, std::chrono::milliseconds(50));
    velmora::log::init({}, std::make_shared<spdlog::sinks::ostream_sink_mt>(sink_));
    fs::remove_all(dir_);
  }

  // Runs the main loop until `done` holds, or until `limit` has passed.
  template <class Pred>
  static bool pump_until(Pred done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      while (g_main_context_iteration(nullptr, FALSE)) {
      }
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  bool audio_attempted() {
    return pump_until([this] { return log_.str().find("Audio") != std::string::npos; });
  }

  static inline Glib::RefPtr<Gtk::Application> app_;
  fs::path dir_;
  std::ostringstream log_;
  std::ostringstream sink_;
};

TEST_F(Ventana, ModeBarHoldsViewTogglesSpacerAndStandBy) {
  WindowFrame f = velmora::ui::build_window(*app_);
  EXPECT_EQ(f.window->get_title(), "Velmora");
  EXPECT_EQ(f.window->get_child(), f.root);

  auto& root = as<Gtk::Box>(f.window->get_child());
  EXPECT_EQ(root.get_orientation(), Gtk::Orientation::VERTICAL);
  EXPECT_EQ(root.get_spacing(), 0);
  EXPECT_EQ((std::array{root.get_margin_start(), root.get_margin_end(), root.get_margin_top(),
                        root.get_margin_bottom()}),
            (std::array{6, 6, 4, 6}));
  std::vector<Gtk::Widget*> top = children(root);
  ASSERT_GE(top.size(), 2u);

  auto& bar = as<Gtk::Box>(top[0]);
  EXPECT_EQ(bar.get_orientation(), Gtk::Orientation::HORIZONTAL);
  EXPECT_EQ(bar.get_spacing(), 4);
  EXPECT_EQ(bar.get_margin_bottom(), 4);
  std::vector<Gtk::Widget*> items = children(bar);
  ASSERT_EQ(items.size(), 4u);

  struct Toggle {
    std::size_t index;
    const char* label;
    Classes classes;
    bool active;
  };
  for (const Toggle& t : {Toggle{0, "⊞ ESCRITORIO", {"rack-mode-btn", "rack-mode-btn-active"}, true},
                          Toggle{1, "▣ RACK 3U", {"rack-mode-btn"}, false},
                          Toggle{3, "⏸  STAND BY", {"rack-stby-off"}, false}}) {
    auto& b = as<Gtk::ToggleButton>(items[t.index]);
    EXPECT_EQ(b.get_label(), t.label);
    EXPECT_EQ(b.get_css_classes(), t.classes) << t.label;
    EXPECT_EQ(b.get_active(), t.active) << t.label;
  }
  auto& spacer = as<Gtk::Label>(items[2]);
  EXPECT_EQ(spacer.get_text(), "");
  EXPECT_TRUE(spacer.get_hexpand());
  EXPECT_EQ(items[3]->get_tooltip_text(), "Bypass: compara entrada sin procesar con la salida");

  EXPECT_EQ(top[1], f.desk_view);
  EXPECT_EQ(f.desk_view->get_orientation(), Gtk::Orientation::VERTICAL);
  EXPECT_EQ(f.desk_view->get_spacing(), 4);
}

TEST_F(Ventana, HeaderHoldsBrandSeparatorAndMeterColumns) {
  WindowFrame f = velmora::ui::build_window(*app_);
  std::vector<Gtk::Widget*> desk = children(*f.desk_view);
  ASSERT_EQ(desk.size(), 2u);
  ASSERT_EQ(desk[0], f.header);
  ASSERT_EQ(desk[1], f.main_row);

  auto& header = *f.header;
  EXPECT_EQ(header.get_spacing(), 12);
  EXPECT_TRUE(header.has_css_class("rack-top"));
  std::vector<Gtk::Widget*> parts = children(header);
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_TRUE(parts[3]->has_css_class("preset-section"));

  auto& brand = as<Gtk::Box>(parts[0]);
  EXPECT_EQ(brand.get_orientation(), Gtk::Orientation::HORIZONTAL);
  EXPECT_EQ(brand.get_spacing(), 8);
  EXPECT_EQ(brand.get_valign(), Gtk::Align::CENTER);
  std::vector<Gtk::Widget*> brand_items = children(brand);
  ASSERT_EQ(brand_items.size(), 2u);
  auto& logo = as<Gtk::Image>(brand_items[0]);
  EXPECT_EQ(logo.get_pixel_size(), 48);
  auto& titles = as<Gtk::Box>(brand_items[1]);
  EXPECT_EQ(titles.get_orientation(), Gtk::Orientation::VERTICAL);
  EXPECT_EQ(titles.get_spacing(), 1);
  std::vector<Gtk::Widget*> labels = children(titles);
  ASSERT_EQ(labels.size(), 2u);
  EXPECT_EQ(as<Gtk::Label>(labels[0]).get_text(), "VELMORA");
  EXPECT_EQ(labels[0]->get_css_classes(), (Classes{"rack-title"}));
  EXPECT_EQ(as<Gtk::Label>(labels[1]).get_text(), "MULTI-BAND BROADCAST PROCESSOR");
  EXPECT_EQ(labels[1]->get_css_classes(), (Classes{"rack-subtitle"}));

  EXPECT_EQ(as<Gtk::Separator>(parts[1]).get_orientation(), Gtk::Orientation::VERTICAL);

  auto& meters = as<Gtk::Box>(parts[2]);
  EXPECT_EQ(meters.get_spacing(), 12);
  EXPECT_EQ(meters.get_valign(), Gtk::Align::CENTER);
  std::vector<Gtk::Widget*> cols = children(meters);
  ASSERT_EQ(cols.size(), 5u);
  EXPECT_EQ(as<Gtk::Separator>(cols[1]).get_orientation(), Gtk::Orientation::VERTICAL);
  EXPECT_EQ(as<Gtk::Separator>(cols[3]).get_orientation(), Gtk::Orientation::VERTICAL);

  // Each column: caption, then its meters side by side; together they are io_meters.
  const std::array<std::pair<const char*, std::size_t>, 3> expected{
      {{"INPUT", 2}, {"OUTPUT", 2}, {"LIM", 1}}};
  std::vector<Gtk::Widget*> seen;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    std::vector<Gtk::Widget*> col = children(*cols[2 * i]);
    ASSERT_EQ(col.size(), 2u);
    EXPECT_EQ(as<Gtk::Label>(col[0]).get_text(), expected[i].first);
    std::vector<Gtk::Widget*> bars = children(*col[1]);
    EXPECT_EQ(bars.size(), expected[i].second);
    for (Gtk::Widget* b : bars) seen.push_back(&as<Gtk::DrawingArea>(b));
  }
  EXPECT_EQ(seen, *f.io_meters);

  EXPECT_EQ(f.main_row->get_orientation(), Gtk::Orientation::HORIZONTAL);
  EXPECT_EQ(f.main_row->get_spacing(), 4);
  EXPECT_TRUE(f.main_row->get_vexpand());
}

TEST_F(Ventana, MainRowHoldsTheDeskPanelsAndTheFirstRunAppliesRock) {
  WindowFrame f = velmora::ui::build_window(*app_);
  std::vector<Gtk::Widget*> row = children(*f.main_row);
  ASSERT_EQ(row.size(), 4u);
  EXPECT_TRUE(row[0]->has_css_class("side-panel"));
  EXPECT_TRUE(row[1]->has_css_class("rack-center"));
  EXPECT_TRUE(row[2]->has_css_class("mpx-panel"));
  EXPECT_TRUE(row[3]->has_css_class("side-panel"));
  ASSERT_EQ(f.strips->size(), 6u);
  EXPECT_EQ((*f.strips)[0].root->get_parent(), row[1]);
  EXPECT_EQ(ProcessorConfig::cargar().last_preset, "ROCK");
  EXPECT_EQ(count(log_.str(), "INFO velmora::ui::ventana] Primer arranque — preset ROCK aplicado y guardado\n"), 1);
}

TEST_F(Ventana, ViewToggleHidesDeskAndSwapsClasses) {
  WindowFrame f = velmora::ui::build_window(*app_);
  Gtk::Widget* mode_bar = f.root->get_first_child();
  auto size = [&] {
    int w = 0, h = 0;
    f.window->get_default_size(w, h);
    return std::pair{w, h};
  };
  // Before presenting: a shown window reports its real size, taller than 700 with the strips.
  EXPECT_EQ(size(), (std::pair{1440, 700}));
  f.window->present();

  f.rack_toggle->set_active(true);
  EXPECT_FALSE(f.desk_view->get_visible());
  EXPECT_TRUE(mode_bar->get_visible());
  EXPECT_EQ(f.rack_toggle->get_css_classes(), (Classes{"rack-mode-btn", "rack-mode-btn-active"}));
  EXPECT_EQ(f.desk_toggle->get_css_classes(), (Classes{"rack-mode-btn"}));
  EXPECT_EQ(size(), (std::pair{-1, -1}));

  // Clicking the desk toggle runs the rack toggle's handler through the group.
  f.desk_toggle->set_active(true);
  EXPECT_FALSE(f.rack_toggle->get_active());
  EXPECT_TRUE(f.desk_view->get_visible());
  EXPECT_EQ(f.rack_toggle->get_css_classes(), (Classes{"rack-mode-btn"}));
  EXPECT_EQ(f.desk_toggle->get_css_classes(), (Classes{"rack-mode-btn", "rack-mode-btn-active"}));
  EXPECT_EQ(size(), (std::pair{1440, 700}));
}

TEST_F(Ventana, StandByTwiceRestoresLabelClassAndBypass) {
  WindowFrame f = velmora::ui::build_window(*app_);
  // The first run has saved "ROCK" and raised the flag; stand-by must do neither.
  fs::remove(velmora::config_path());
  f.shared->params_dirty.store(false);
  Gtk::ToggleButton& stby = *f.standby_toggle;

  stby.set_active(true);
  EXPECT_TRUE(f.shared->bypass.load());
  EXPECT_EQ(stby.get_label(), "▶  BYPASS ON");
  EXPECT_EQ(stby.get_css_classes(), (Classes{"rack-stby-on"}));

  stby.set_active(false);
  EXPECT_FALSE(f.shared->bypass.load());
  EXPECT_EQ(stby.get_label(), "⏸  STAND BY");
  EXPECT_EQ(stby.get_css_classes(), (Classes{"rack-stby-off"}));
  // Stand-by is not a setting: nothing is written.
  EXPECT_FALSE(fs::exists(velmora::config_path()));
  EXPECT_FALSE(f.shared->params_dirty.load());
}

TEST_F(Ventana, ClosingSavesLoadedConfigAndStopsNoEngineAfterFailedStart) {
  ProcessorConfig stored;
  stored.sample_rate = 44100;
  stored.input_gain_db = -2.5f;
  stored.last_preset = "BLUE";
  stored.guardar();

  WindowFrame f = velmora::ui::build_window(*app_);
  f.window->present();
  ASSERT_TRUE(audio_attempted());
  EXPECT_FALSE(f.engine_cell->has_value());
  // Gone from disk: what is written at close must come from the window's own copy.
  fs::remove(velmora::config_path());

  f.window->close();
  ASSERT_TRUE(pump_until([&] { return app_->get_windows().empty(); }));
  ASSERT_TRUE(fs::exists(velmora::config_path()));
  EXPECT_EQ(ProcessorConfig::cargar(), stored);

  const std::string log = log_.str();
  EXPECT_EQ(count(log, "ERROR velmora::ui::ventana] Audio: "), 1) << log;
  EXPECT_EQ(count(log, "Audio OK"), 0) << log;
  EXPECT_EQ(count(log, "AudioEngine detenido"), 0) << log;
}

TEST_F(Ventana, PoisonedConfigIsNotSavedAtClose) {
  WindowFrame f = velmora::ui::build_window(*app_);
  fs::remove(velmora::config_path());  // written by the first run
  try {
    f.config->with([](ProcessorConfig&) { throw std::runtime_error("edit failed"); });
  } catch (const std::runtime_error&) {
  }
  ASSERT_TRUE(f.config->is_poisoned());
  f.window->destroy();
  pump_until([] { return false; }, std::chrono::milliseconds(20));
  EXPECT_FALSE(fs::exists(velmora::config_path()));
}

TEST_F(Ventana, SecondActivationPresentsTheSameWindow) {
  testing::internal::CaptureStderr();
  velmora::ui::on_activate(*app_);
  ASSERT_TRUE(audio_attempted());
  std::vector<Gtk::Window*> first = app_->get_windows();
  velmora::ui::on_activate(*app_);
  pump_until([] { return false; }, std::chrono::milliseconds(100));
  const std::string err = testing::internal::GetCapturedStderr();

  EXPECT_EQ(count(err, "[Velmora] activate\n"), 2);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(app_->get_windows(), first);
  EXPECT_TRUE(first[0]->get_visible());
  // One build only: one engine start attempt.
  EXPECT_EQ(count(log_.str(), "Audio"), 1);

  // Presenting again must not keep the window alive past its close: it is still saved.
  first[0]->close();
  ASSERT_TRUE(pump_until([&] { return app_->get_windows().empty(); }));
  EXPECT_TRUE(fs::exists(velmora::config_path()));
}

}  // namespace
