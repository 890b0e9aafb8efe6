#include "ui/desk_controls.hpp"

namespace velmora::ui {
namespace {

// Blocks one handler for the scope; a control not built yet is skipped by the caller.
class Blocked {
 public:
  explicit Blocked(sigc::connection c) : c_(std::move(c)), was_blocked_(c_.block()) {}
  ~Blocked() { c_.block(was_blocked_); }
  Blocked(const Blocked&) = delete;
  Blocked& operator=(const Blocked&) = delete;

 private:
  sigc::connection c_;
  bool was_blocked_;
};

template <class W, class F>
void set_quietly(const Handled<W>& h, F&& set) {
  if (h.widget == nullptr) return;
  Blocked blocked(h.changed);
  set(*h.widget);
}

}  // namespace

void show_loaded_config(const DeskControls& controls, const std::vector<BandStrip>& strips,
                        const ProcessorConfig& config) {
  refresh_strips(strips, config);
  set_quietly(controls.band_count,
              [&](Gtk::SpinButton& w) { w.set_value(static_cast<double>(config.num_bands)); });
  set_quietly(controls.in_gain, [&](Gtk::Scale& w) { w.set_value(config.input_gain_db); });
  set_quietly(controls.out_gain, [&](Gtk::Scale& w) { w.set_value(config.output_gain_db); });
  set_quietly(controls.limiter, [&](Gtk::Scale& w) { w.set_value(config.limiter_threshold); });
  set_quietly(controls.mpx_switch, [&](Gtk::Switch& w) { w.set_active(config.mpx.enabled); });
  // Both pre-emphasis buttons toggle when the choice moves, so both stay blocked.
  if (controls.tau75.widget != nullptr && controls.tau50.widget != nullptr) {
    Blocked b75(controls.tau75.changed);
    Blocked b50(controls.tau50.changed);
    auto* chosen = config.mpx.tau == Tau::Us75 ? controls.tau75.widget : controls.tau50.widget;
    chosen->set_active(true);
  }
}

}  // namespace velmora::ui
