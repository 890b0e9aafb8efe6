#pragma once
// The desk's band strips: one column per band with its range text, level and
// gain-reduction meters, six knobs and the "CLIP" / "ON" checks. Each control
// writes one field of its band's BandConfig the moment it changes; the band-count
// spin button decides how many strips are active and resets the crossovers.
#include <gtkmm/box.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>
#include <gtkmm/spinbutton.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/knob.hpp"

namespace velmora::ui {

struct BandStrip {
  Gtk::Box* root;  // sensitivity and opacity show whether the band is active
  Gtk::DrawingArea* meter_vu;
  Gtk::DrawingArea* meter_gr;
  Gtk::Label* freq_label;
  Knob thr;
  Knob ratio;
  Knob atk;
  Knob rel;
  Knob gain;
  Knob clip_level;
  Gtk::CheckButton* clip_check;
  Gtk::CheckButton* on_check;

  // BandStrip::new: the widgets of band `index` (0..5), all owned by `root`. Connects nothing.
  static BandStrip create(std::size_t index, const Glib::ustring& range_text,
                          const BandMeters& band_meters);
};

// The six desk strips in band order; built once, used only on the GUI thread.
using Strips = std::shared_ptr<std::vector<BandStrip>>;

constexpr double kInactiveStripOpacity = 0.22;

// A copy of the live configuration taken under the lock; nothing when the lock is poisoned.
std::optional<ProcessorConfig> copy_config(const SharedConfig& config);

// Loads band i into the strip, connects its controls and sets its activity for n active bands.
void wire_strip(BandStrip& strip, std::size_t i, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared, std::uint64_t n);
// Loads a whole configuration into the strips. Must not be called with the lock held:
// the checks' handlers run when their state changes and take the lock.
void refresh_strips(const std::vector<BandStrip>& strips, const ProcessorConfig& config);
void set_strip_active(const BandStrip& strip, bool active);

// "value-changed" of the band-count spin button.
void on_band_count_changed(const Gtk::SpinButton& spin, const SharedConfig& config,
                           const std::shared_ptr<SharedState>& shared,
                           const std::vector<BandStrip>& strips);

struct DeskControls;

// What the desk build keeps of the band area for its later steps.
struct BandArea {
  Gtk::Box* area;  // goes into the main row
  Strips strips;
};

// Also makes the band-count spin button, recorded in `controls` for the left side panel.
BandArea build_band_area(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                         DeskControls& controls);

}  // namespace velmora::ui
