#include "ui/band_controls.hpp"

#include <charconv>
#include <string>

namespace velmora::ui {
namespace {

Knob make_knob(std::size_t row) {
  const BandKnob& k = kBandKnobs[row];
  return Knob(k.label, k.unit, k.min, k.max, k.initial);
}

Gtk::CheckButton* band_check(const Glib::ustring& text) {
  auto* check = Gtk::make_managed<Gtk::CheckButton>(text);
  check->set_active(true);
  check->add_css_class("band-check");
  return check;
}

}  // namespace

BandKnobs::BandKnobs()
    : thr(make_knob(0)),
      ratio(make_knob(1)),
      atk(make_knob(2)),
      rel(make_knob(3)),
      gain(make_knob(4)),
      clip_level(make_knob(5)) {}

std::array<const Knob*, kBandKnobs.size()> BandKnobs::all() const {
  return {&thr, &ratio, &atk, &rel, &gain, &clip_level};
}

void BandKnobs::show(const BandConfig& band) const {
  const auto knobs = all();
  for (std::size_t k = 0; k < knobs.size(); ++k) knobs[k]->set_value(band.*kBandKnobs[k].field);
}

void BandKnobs::bind(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                     const BandPick& pick) const {
  const auto knobs = all();
  for (std::size_t k = 0; k < knobs.size(); ++k) {
    const BandKnob& row = kBandKnobs[k];
    knobs[k]->connect_changed([field = row.field, rebuild = row.needs_rebuild ? shared : nullptr,
                               config, pick](float v) {
      edit_config(config, rebuild.get(), [&](ProcessorConfig& c) { c.bands[pick()].*field = v; });
    });
  }
}

BandChecks::BandChecks() : clip(band_check("CLIP")), on(band_check("ON")) {}

void BandChecks::show(const BandConfig& band) const {
  clip->set_active(band.clip_enable);
  on->set_active(band.enabled);
}

void BandChecks::bind(Bindings& bindings, const SharedConfig& config,
                      const std::shared_ptr<SharedState>& shared, const BandPick& pick,
                      bool on_rebuilds) const {
  const auto connect = [&](Gtk::CheckButton* check, bool BandConfig::*field,
                           std::shared_ptr<SharedState> rebuild) {
    bindings.add(check->signal_toggled().connect([check, field, config, pick, rebuild] {
      edit_config(config, rebuild.get(),
                  [&](ProcessorConfig& c) { c.bands[pick()].*field = check->get_active(); });
    }));
  };
  connect(clip, &BandConfig::clip_enable, nullptr);
  connect(on, &BandConfig::enabled, on_rebuilds ? shared : nullptr);
}

void show_band_active(Gtk::Widget& root, bool active) {
  root.set_sensitive(active);
  root.set_opacity(active ? 1.0 : kInactiveStripOpacity);
}

void show_band_layout(const std::vector<StripFace>& faces, const Crossovers& freqs,
                      std::uint64_t n) {
  const auto texts = band_freq_labels(freqs);
  for (std::size_t i = 0; i < faces.size(); ++i) {
    faces[i].range->set_text(texts[i]);
    show_band_active(*faces[i].root, i < n);
  }
}

Gtk::SpinButton* make_band_count(std::uint64_t n) {
  auto* spin = Gtk::make_managed<Gtk::SpinButton>();
  spin->set_range(2.0, static_cast<double>(kMaxBands));
  spin->set_increments(1.0, 10.0);
  spin->set_digits(0);
  // Typed letters are refused, and text that is no number (an emptied field) keeps the count
  // shown: GTK would read it as 0, that is 2 bands with a new crossover table.
  spin->set_numeric(true);
  spin->signal_input().connect(
      [spin](double& value) {
        const std::string text = spin->get_text();
        const char* end = text.data() + text.size();
        double typed = 0.0;
        const auto parsed = std::from_chars(text.data(), end, typed);
        value = !text.empty() && parsed.ec == std::errc{} && parsed.ptr == end ? typed : spin->get_value();
        return TRUE;
      },
      false);
  spin->set_value(static_cast<double>(n));
  return spin;
}

void on_band_count_changed(const Gtk::SpinButton& spin, const SharedConfig& config,
                           const std::shared_ptr<SharedState>& shared,
                           const std::vector<StripFace>& faces) {
  const double v = spin.get_value();
  const std::uint64_t n = v > 0.0 ? static_cast<std::uint64_t>(v) : 0;
  const Crossovers table = default_crossovers(n);
  edit_config(config, shared.get(), [&](ProcessorConfig& c) {
    c.num_bands = n;
    c.crossover_freqs = table;
  });
  // From the table, not the configuration: a poisoned lock still shows the choice.
  show_band_layout(faces, table, n);
}

}  // namespace velmora::ui
