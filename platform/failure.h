#pragma once
// The one failure policy of the plug-in: a step that fails is skipped and the caller goes on with
// the next one. Host calls, platform calls and parsing signal failure by throwing; the places
// that must go on run the step through skip_failure(), naming the step. Every event loop runs its
// tasks and timer handlers through it too, so that no exception reaches a loop's C frames or the
// messenger. A step that has nothing to do returns: only real failures are counted.

#include <cstdint>
#include <exception>
#include <functional>
#include <string_view>
#include <utility>

namespace brevant {

// Told of every skipped failure: the step's name and what failed. The embedding program sets
// one (the stand-in messenger logs each step's first failure); none by default.
using FailureSink = std::function<void(std::string_view step, std::string_view what)>;
void set_failure_sink(FailureSink sink);

// How many failed steps were skipped in this process, in all and of one step: a diagnostic for
// tests and benchmarks.
std::uint64_t skipped_failures() noexcept;
std::uint64_t skipped_failures(std::string_view step) noexcept;

// Counts the failure and tells the sink; never throws.
void note_failure(std::string_view step, std::exception_ptr failure) noexcept;

// Runs one step and swallows its failure. Returns whether the step completed.
template <class Step>
bool skip_failure(std::string_view step, Step&& run) noexcept {
  try {
    std::forward<Step>(run)();
    return true;
  } catch (...) {
    note_failure(step, std::current_exception());
    return false;
  }
}

}  // namespace brevant
