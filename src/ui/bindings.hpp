#pragma once
// How a control edits the live configuration, and how a view shows loaded values.
//
// An edit locks the configuration, writes its field unless the lock is poisoned and
// releases it; then, when the audio side reads that field only at a rebuild, it raises
// the reload flag (also after a poisoned lock skipped the write). A view shows loaded
// values through its Bindings: knobs have a silent setter, and every other handler is
// connected through the Bindings and held back while the values go in, so showing a
// value never writes it back (clamped by a control's range) and raises no flag.
#include <sigc++/connection.h>

#include <optional>
#include <utility>
#include <vector>

#include "settings/config.hpp"
#include "shared_state.hpp"

namespace velmora::ui {

// `rebuild` is the state whose reload flag the edit raises, or nullptr for a field that
// the audio side takes from every parameter snapshot.
template <class F>
void edit_config(const SharedConfig& config, SharedState* rebuild, F&& write) {
  config->with(std::forward<F>(write));
  if (rebuild != nullptr) rebuild->params_dirty.store(true);
}

// A copy of the live configuration taken under the lock; nothing when the lock is poisoned.
// Views show such a copy after releasing the lock, since showing may run GTK signals.
std::optional<ProcessorConfig> copy_config(const SharedConfig& config);

// The handler connections of one view.
class Bindings {
 public:
  void add(sigc::connection c) { held_.push_back(std::move(c)); }

  // Runs `show` with every handler of the view blocked.
  template <class F>
  void quietly(F&& show) const {
    for (sigc::connection c : held_) c.block();
    std::forward<F>(show)();
    for (sigc::connection c : held_) c.unblock();
  }

 private:
  std::vector<sigc::connection> held_;
};

}  // namespace velmora::ui
