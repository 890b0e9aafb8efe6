#pragma once
// The device layer on libasound. Devices come from the PCM name hints ("null"
// skipped, kept only when they open in the direction asked for); the default
// device is "default". Each stream runs one worker thread ("cpal_alsa_in" or
// "cpal_alsa_out") that polls the PCM plus a wake-up descriptor:
//
//   poll ──> avail >= period? ──> capture:  readi ──> callback(block)
//     ^                      └──> playback: callback(block) ──> writei
//     └── xrun / suspend: recover and go on; anything else: report once, then
//         sleep on the wake-up descriptor until the stream is dropped
#include <memory>

#include "audio/device.hpp"

namespace velmora::audio {

std::unique_ptr<Host> default_host();

}  // namespace velmora::audio
