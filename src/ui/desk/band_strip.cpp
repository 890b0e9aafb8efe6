#include "ui/desk/band_strip.hpp"

#include <gtkmm/separator.h>
#include <spdlog/fmt/fmt.h>

#include "ui/style.hpp"
#include "ui/widgets/meter.hpp"

namespace velmora::ui {

BandStrip BandStrip::create(std::size_t index, const Glib::ustring& range_text,
                            const BandMeters& band_meters) {
  BandStrip s{
      .root = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2),
      .meter_vu = Meter::build(band_meters.level, false),
      .meter_gr = Meter::build(band_meters.gr, true),
      .freq_label = styled_label(range_text, "band-freq"),
      .knobs = {},
      .checks = {},
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

  const BandKnobs& k = s.knobs;
  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  for (const Knob* knob : {&k.thr, &k.ratio, &k.atk, &k.rel, &k.gain}) root.append(*knob->widget);
  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  root.append(*s.checks.clip);
  root.append(*k.clip_level.widget);
  root.append(*Gtk::make_managed<Gtk::Separator>(Gtk::Orientation::HORIZONTAL));
  root.append(*s.checks.on);
  return s;
}

void wire_strip(BandStrip& strip, std::size_t i, const SharedConfig& config,
                const std::shared_ptr<SharedState>& shared, Bindings& bindings, std::uint64_t n) {
  config->with([&](const ProcessorConfig& c) {
    strip.knobs.show(c.bands[i]);
    strip.checks.show(c.bands[i]);
  });
  const BandPick own = [i] { return i; };
  strip.knobs.bind(config, shared, own);
  strip.checks.bind(bindings, config, shared, own, true);
  show_band_active(*strip.root, i < n);
}

void refresh_strips(const std::vector<BandStrip>& strips, const ProcessorConfig& config) {
  for (std::size_t i = 0; i < strips.size(); ++i) {
    strips[i].knobs.show(config.bands[i]);
    strips[i].checks.show(config.bands[i]);
  }
  std::vector<StripFace> faces;
  for (const BandStrip& s : strips) faces.push_back(s.face());
  show_band_layout(faces, config.crossover_freqs, active_band_count(config.num_bands));
}

}  // namespace velmora::ui
