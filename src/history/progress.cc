#include "history/progress.h"

#include "output/output.h"

namespace {

// Wide enough for the longest line drawn.
constexpr int kLineWidth = 64;

}  // namespace

void progress_begin(Progress *progress, bool enabled, int64_t found) {
  progress->enabled = enabled;
  progress->drawn = false;
  progress->found = found;
  progress->started = std::chrono::steady_clock::now();
  progress->drawn_at = progress->started;
}

void progress_tick(Progress *progress, int64_t read) {
  if (!progress->enabled) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - progress->started < std::chrono::seconds(1)) return;
  if (progress->drawn && now - progress->drawn_at < std::chrono::milliseconds(100)) return;
  progress->drawn = true;
  progress->drawn_at = now;
  err_format("\rsessions read: %lld of %lld", static_cast<long long>(read),
             static_cast<long long>(progress->found));
}

void progress_end(Progress *progress) {
  if (!progress->drawn) return;
  err_format("\r%*s\r", kLineWidth, "");
  progress->drawn = false;
}
