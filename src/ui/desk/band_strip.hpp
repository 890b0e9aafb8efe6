#pragma once
// One desk band strip: band number, range text, level and gain-reduction meters, the six
// band knobs and the "CLIP" / "ON" checks, each control writing one field of its band.
#include <gtkmm/box.h>
#include <gtkmm/drawingarea.h>
#include <gtkmm/label.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/band_controls.hpp"
#include "ui/bindings.hpp"

namespace velmora::ui {

struct BandStrip {
  Gtk::Box* root;  // sensitivity and opacity show whether the band is active
  Gtk::DrawingArea* meter_vu;
  Gtk::DrawingArea* meter_gr;
  Gtk::Label* freq_label;
  BandKnobs knobs;
  BandChecks checks;

  // BandStrip::new: the widgets of band `index` (0..5), all owned by `root`. Connects nothing.
  static BandStrip create(std::size_t index, const Glib::ustring& range_text,
                          const BandMeters& band_meters);
  StripFace face() const { return {root, freq_label}; }
};

// Loads band i into the strip, connects its controls and sets its activity for n active
// bands. The checks are set before their handlers exist, so the build writes nothing.
void wire_strip(BandStrip& strip, std::size_t i, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared, Bindings& bindings, std::uint64_t n);

// Loads a whole configuration into the strips. Call it inside the view's Bindings::quietly.
void refresh_strips(const std::vector<BandStrip>& strips, const ProcessorConfig& config);

}  // namespace velmora::ui
