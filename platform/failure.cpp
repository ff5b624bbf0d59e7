#include "platform/failure.h"

#include <map>
#include <string>

namespace brevant {
namespace {

struct Failures {
  FailureSink sink;
  std::uint64_t total = 0;
  // By step name: the names are the program's own, so the map stays small.
  std::map<std::string, std::uint64_t, std::less<>> by_step;
};

Failures& failures() {
  static Failures f;
  return f;
}

}  // namespace

void set_failure_sink(FailureSink sink) {
  failures().sink = std::move(sink);
}

std::uint64_t skipped_failures() noexcept {
  return failures().total;
}

std::uint64_t skipped_failures(std::string_view step) noexcept {
  const auto& by_step = failures().by_step;
  const auto it = by_step.find(step);
  return it == by_step.end() ? 0 : it->second;
}

void note_failure(std::string_view step, std::exception_ptr failure) noexcept {
  Failures& f = failures();
  ++f.total;
  try {
    ++f.by_step[std::string(step)];
    if (!f.sink)
      return;
    std::string what = "unknown failure";
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& e) {
      what = e.what();
    } catch (...) {
    }
    f.sink(step, what);
  } catch (...) {
    // Out of memory or a throwing sink: the failure stays counted in the total.
  }
}

}  // namespace brevant
