#pragma once
// The band controls that both views are made of: the six knobs and two checks that edit
// one band, the band-count spin button with its handler, and the face of a band strip
// (its box and range label) that follows the band count.
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <gtkmm/spinbutton.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"
#include "ui/bindings.hpp"
#include "ui/widgets/knob.hpp"

namespace velmora::ui {

// The band that a band control edits: a desk strip's own, or the drawer's selected one.
using BandPick = std::function<std::size_t()>;

// One knob per row of kBandKnobs, in its order.
struct BandKnobs {
  Knob thr;
  Knob ratio;
  Knob atk;
  Knob rel;
  Knob gain;
  Knob clip_level;

  BandKnobs();
  std::array<const Knob*, kBandKnobs.size()> all() const;
  // Loads the band's values, each clamped to its knob's range on screen only.
  void show(const BandConfig& band) const;
  // Each knob writes its field of the picked band; "ATK" and "REL" raise the reload flag.
  void bind(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
            const BandPick& pick) const;
};

// "CLIP" and "ON", created checked.
struct BandChecks {
  Gtk::CheckButton* clip;
  Gtk::CheckButton* on;

  BandChecks();
  void show(const BandConfig& band) const;
  // `on_rebuilds`: whether "ON" raises the reload flag (the desk's does, the drawer's not).
  void bind(Bindings& bindings, const SharedConfig& config,
            const std::shared_ptr<SharedState>& shared, const BandPick& pick,
            bool on_rebuilds) const;
};

// The part of a band strip that follows the band count.
struct StripFace {
  Gtk::Widget* root;
  Gtk::Label* range;
};

constexpr double kInactiveStripOpacity = 0.22;

// Sensitive and opaque when active, insensitive and dimmed when not.
void show_band_active(Gtk::Widget& root, bool active);
// The range texts of `freqs`, and strips below n active.
void show_band_layout(const std::vector<StripFace>& faces, const Crossovers& freqs,
                      std::uint64_t n);

// A spin button for 2 to 6 bands, whole numbers typed or stepped, showing n; not yet connected.
Gtk::SpinButton* make_band_count(std::uint64_t n);

// "value-changed" of either view's band-count control: stores the count with its default
// crossover table, raises the reload flag and shows the table's ranges and the activity.
void on_band_count_changed(const Gtk::SpinButton& spin, const SharedConfig& config,
                           const std::shared_ptr<SharedState>& shared,
                           const std::vector<StripFace>& faces);

}  // namespace velmora::ui
