#pragma once
// The one failure policy of the plug-in: a step that fails is skipped and the caller goes on with
// the next one. Host calls, platform calls and parsing signal failure by throwing; the places
// that must go on run the step through skip_failure(). Every event loop runs its tasks and timer
// handlers through it too, so that no exception reaches a loop's C frames or the messenger.

#include <cstdint>
#include <utility>

namespace brevant {

// How many failed steps were skipped in this process: a diagnostic for tests and benchmarks.
inline std::uint64_t& skipped_failures() noexcept {
  static std::uint64_t count = 0;
  return count;
}

// Runs one step and swallows its failure. Returns whether the step completed.
template <class Step>
bool skip_failure(Step&& step) noexcept {
  try {
    std::forward<Step>(step)();
    return true;
  } catch (...) {
    ++skipped_failures();
    return false;
  }
}

}  // namespace brevant
