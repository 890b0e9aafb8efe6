#include "ui/desk_controls.hpp"

#include <array>

namespace velmora::ui {

void show_loaded_config(const DeskControls& controls, const std::vector<BandStrip>& strips,
                        const ProcessorConfig& config) {
  refresh_strips(strips, config);
  // Held back while the values go in; both pre-emphasis buttons toggle when the choice moves.
  std::array<sigc::connection, 7> handlers{
      controls.band_count.changed, controls.in_gain.changed,    controls.out_gain.changed,
      controls.limiter.changed,    controls.mpx_switch.changed, controls.tau75.changed,
      controls.tau50.changed};
  for (auto& h : handlers) h.block();
  controls.band_count.widget->set_value(static_cast<double>(config.num_bands));
  controls.in_gain.widget->set_value(config.input_gain_db);
  controls.out_gain.widget->set_value(config.output_gain_db);
  controls.limiter.widget->set_value(config.limiter_threshold);
  controls.mpx_switch.widget->set_active(config.mpx.enabled);
  (config.mpx.tau == Tau::Us75 ? controls.tau75 : controls.tau50).widget->set_active(true);
  for (auto& h : handlers) h.unblock();
}

}  // namespace velmora::ui
