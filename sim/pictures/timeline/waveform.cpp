// The recorded audio under the lanes, read back from the finished WAV file with libsndfile: for each
// pixel column the lowest and highest sample of its time slice (channels mixed), drawn around a centre
// line. Only the strip's window is read.
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "timeline/timeline_parts.h"

namespace sim::timeline {

bool drawWaveform(const Canvas& canvas, const std::string& wavPath, std::int64_t from, std::int64_t to, double y,
                  double height) {
  SF_INFO info{};
  SNDFILE* file = sf_open(wavPath.c_str(), SFM_READ, &info);
  if (file == nullptr) return false;
  const double left = kGutter;
  const int columns = static_cast<int>(std::ceil((to - from) * kPixelsPerSecond / 1000.0));
  std::vector<float> low(columns, 0), high(columns, 0);
  const sf_count_t first = from * info.samplerate / 1000;
  const sf_count_t last = std::min<sf_count_t>(info.frames, to * info.samplerate / 1000);
  if (first < last && sf_seek(file, first, SEEK_SET) == first) {
    const int channels = std::max(1, info.channels);
    std::vector<float> block(4096 * static_cast<size_t>(channels));
    sf_count_t frame = first;
    while (frame < last) {
      sf_count_t want = std::min<sf_count_t>(4096, last - frame);
      sf_count_t got = sf_readf_float(file, block.data(), want);
      if (got <= 0) break;
      for (sf_count_t f = 0; f < got; ++f, ++frame) {
        float sum = 0;
        for (int c = 0; c < channels; ++c) sum += block[static_cast<size_t>(f * channels + c)];
        float value = sum / channels;
        int column = static_cast<int>(static_cast<double>(frame - first) * kPixelsPerSecond / info.samplerate);
        column = std::clamp(column, 0, columns - 1);
        low[column] = std::min(low[column], value);
        high[column] = std::max(high[column], value);
      }
    }
  }
  sf_close(file);

  const double middle = y + height / 2;
  canvas.fillRect(left, y, columns, height, rgb(247, 247, 250));
  canvas.fillRect(left, middle - 0.5, columns, 1, rgb(200, 204, 212));
  for (int x = 0; x < columns; ++x) {
    if (high[x] - low[x] < 1e-4f) continue;
    double top = middle - std::clamp(high[x], -1.0f, 1.0f) * height / 2;
    double bottom = middle - std::clamp(low[x], -1.0f, 1.0f) * height / 2;
    canvas.fillRect(left + x, top, 1, std::max(1.0, bottom - top), rgb(60, 72, 96));
  }
  return true;
}

}  // namespace sim::timeline
