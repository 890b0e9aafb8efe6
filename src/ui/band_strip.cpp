#include "ui/band_strip.hpp"

#include <gtkmm/separator.h>
#include <spdlog/fmt/fmt.h>

#include <cmath>
#include <functional>

#include "ui/desk_controls.hpp"
#include "ui/meter.hpp"
#include "ui/style.hpp"

namespace velmora::ui {
namespace {

Gtk::CheckButton* band_check(const Glib::ustring& text) {
  auto* check = Gtk::make_managed<Gtk::CheckButton>(text);
  check->set_active(true);
  check->add_css_class("band-check");
  return check;
}

using KnobField = float BandConfig::*;
using CheckField = bool BandConfig::*;

// `shared` is set only for the fields that the audio side reads at a rebuild.
void connect_knob(const Knob& knob, KnobField field, std::size_t i, SharedConfig config,
                  std::shared_ptr<SharedState> shared) {
  knob.connect_changed([field, i, config = std::move(config), shared = std::move(shared)](float v) {
    config->with([&](ProcessorConfig& c) { c.bands[i].*field = v; });
    if (shared) shared->params_dirty.store(true);
  });
}

void connect_check(Gtk::CheckButton& check, CheckField field, std::size_t i, SharedConfig config,
                   std::shared_ptr<SharedState> shared) {
  check.signal_toggled().connect([&check, field, i, config = std::move(config),
                                  shared = std::move(shared)] {
    config->with([&](ProcessorConfig& c) { c.bands[i].*field = check.get_active(); });
    if (shared) shared->params_dirty.store(true);
  });
}

void load_band(const BandStrip& s, const BandConfig& b) {
  s.thr.set_value(b.threshold_db);
  s.ratio.set_value(b.ratio);
  s.atk.set_value(b.attack_ms);
  s.rel.set_value(b.release_ms);
  s.gain.set_value(b.makeup_db);
  s.clip_level.set_value(b.clip_level_db);
  s.clip_check->set_active(b.clip_enable);
  s.on_check->set_active(b.enabled);
}

}  // namespace

std::optional<ProcessorConfig> copy_config(const SharedConfig& config) {
  std::optional<ProcessorConfig> copy;
  config->with([&](const ProcessorConfig& c) { copy = c; });
  return copy;
}

BandStrip BandStrip::create(std::size_t index, const Glib::ustring& range_text,
                            const BandMeters& band_meters) {
  BandStrip s{
      .root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2),
      .meter_vu = Meter::build(band_meters.level, false),
      .meter_gr = Meter::build(band_meters.gr, true),
      .freq_label = styled_label(range_text, "band-freq"),
      .thr = Knob("THR", "dB", -60.0f, 0.0f, -18.0f),
      .ratio = Knob("RATIO", ":1", 1.0f, 20.0f, 3.0f),
      .atk = Knob("ATK", "ms", 0.1f, 200.0f, 10.0f),
      .rel = Knob("REL", "ms", 10.0f, 2000.0f, 150.0f),
      .gain = Knob("GAIN", "dB", 0.0f, 24.0f, 3.0f),
      .clip_level = Knob("LVL", "dB", -12.0f, 0.0f, -0.5f),
      .clip_check = band_check("CLIP"),
      .on_check = band_check("ON"),
  };
  auto& root = *s.root;
  root.set_hexpand(true);
  root.add_css_class("band-strip");
  root.append(*styled_label(fmt::format("B{}", index + 1), "band-num"));
  root.append(*s.freq_label);

  auto* captions = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 4);
  captions->set_halign(Gtk::Align::CENTER);
  captions->append(*styled_label("VU", "meter-lbl"));
  captions->append(*styled_label("GR", "meter-lbl"));
  root.append(*captions);

  auto* meters = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 2);
  meters->set_halign(Gtk::Align::CENTER);
  meters->append(*s.meter_vu);
  meters->append(*s.meter_gr);
  root.append(*meters);

  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  for (const Knob* k : {&s.thr, &s.ratio, &s.atk, &s.rel, &s.gain}) root.append(*k->widget);
  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  root.append(*s.clip_check);
  root.append(*s.clip_level.widget);
  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  root.append(*s.on_check);
  return s;
}

void set_strip_active(const BandStrip& strip, bool active) {
  strip.root->set_sensitive(active);
  strip.root->set_opacity(active ? 1.0 : kInactiveStripOpacity);
}

void wire_strip(BandStrip& strip, std::size_t i, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared, std::uint64_t n) {
  // The checks' handlers are not connected yet, so setting them under the lock runs nothing.
  config->with([&](const ProcessorConfig& c) { load_band(strip, c.bands[i]); });

  connect_knob(strip.thr, &BandConfig::threshold_db, i, config, nullptr);
  connect_knob(strip.ratio, &BandConfig::ratio, i, config, nullptr);
  connect_knob(strip.atk, &BandConfig::attack_ms, i, config, shared);
  connect_knob(strip.rel, &BandConfig::release_ms, i, config, shared);
  connect_knob(strip.gain, &BandConfig::makeup_db, i, config, nullptr);
  connect_knob(strip.clip_level, &BandConfig::clip_level_db, i, config, nullptr);
  connect_check(*strip.clip_check, &BandConfig::clip_enable, i, config, nullptr);
  connect_check(*strip.on_check, &BandConfig::enabled, i, config, shared);

  set_strip_active(strip, i < n);
}

void refresh_strips(const std::vector<BandStrip>& strips, const ProcessorConfig& config) {
  const std::uint64_t n = active_band_count(config.num_bands);
  const auto texts = band_freq_labels(config.crossover_freqs);
  for (std::size_t i = 0; i < strips.size(); ++i) {
    const BandStrip& s = strips[i];
    load_band(s, config.bands[i]);
    s.freq_label->set_text(texts[i]);
    set_strip_active(s, i < n);
  }
}

void on_band_count_changed(const Gtk::SpinButton& spin, const SharedConfig& config,
                           const std::shared_ptr<SharedState>& shared,
                           const std::vector<BandStrip>& strips) {
  const double v = spin.get_value();
  const std::uint64_t n = v > 0.0 ? static_cast<std::uint64_t>(v) : 0;
  const auto table = default_crossovers(n);
  config->with([&](ProcessorConfig& c) {
    c.num_bands = n;
    c.crossover_freqs = table;
  });
  shared->params_dirty.store(true);

  const auto texts = band_freq_labels(table);
  for (std::size_t i = 0; i < strips.size(); ++i) {
    strips[i].freq_label->set_text(texts[i]);
    set_strip_active(strips[i], i < n);
  }
}

BandArea build_band_area(const SharedConfig& config, const std::shared_ptr<SharedState>& shared,
                         DeskControls& controls) {
  // The lock can't be poisoned yet while the window is being built; defaults stand in if it were.
  const ProcessorConfig initial = copy_config(config).value_or(ProcessorConfig{});
  const std::uint64_t n = active_band_count(initial.num_bands);
  const auto texts = band_freq_labels(initial.crossover_freqs);

  auto strips = std::make_shared<std::vector<BandStrip>>();
  strips->reserve(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    strips->push_back(BandStrip::create(i, texts[i], shared->band_meters[i]));
  }
  for (std::size_t i = 0; i < strips->size(); ++i) wire_strip((*strips)[i], i, config, shared, n);

  auto* area = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 3);
  area->set_hexpand(true);
  area->set_vexpand(true);
  area->add_css_class("rack-center");
  for (const auto& s : *strips) area->append(*s.root);

  auto* spin = Gtk::make_managed<Gtk::SpinButton>();
  spin->set_range(2.0, 6.0);
  spin->set_increments(1.0, 10.0);
  spin->set_digits(0);
  spin->set_value(static_cast<double>(n));
  // Connected only now, so setting the value above ran no handler.
  controls.band_count = {spin, spin->signal_value_changed().connect([spin, config, shared, strips] {
                           on_band_count_changed(*spin, config, shared, *strips);
                         })};
  return {area, strips};
}

}  // namespace velmora::ui
