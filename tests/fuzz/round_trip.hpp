#pragma once
// What every reader target checks besides not crashing: an accepted input, written and read
// again, gives the same record, and the written text reads back to itself byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "settings/json_form.hpp"

namespace velmora::fuzz {

template <class Read>
int check_round_trip(const std::uint8_t* data, std::size_t size, Read read) {
  const auto first = read(std::string_view(reinterpret_cast<const char*>(data), size));
  if (!first) return 0;
  const std::string written = json_form::to_json(*first);
  const auto again = read(written);
  const char* fault = nullptr;
  if (!again) {
    fault = "the written text is rejected";
  } else if (!(*again == *first)) {
    // == tells the infinities apart, which both write as null; NaN can't come from JSON.
    fault = "the written text reads back as another record";
  } else if (json_form::to_json(*again) != written) {
    // The text tells every finite f32 apart, the sign of zero included.
    fault = "the second write differs from the first";
  }
  if (fault != nullptr) {
    std::fprintf(stderr, "round trip: %s; first write:\n%s\n", fault, written.c_str());
    std::abort();
  }
  return 0;
}

}  // namespace velmora::fuzz
