// libFuzzer entry point for the "config.json" reader.
#include "fuzz/round_trip.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return velmora::fuzz::check_round_trip(data, size, velmora::json_form::config_from_json);
}
