// Values 82-99 of one build: the hue, chroma and white-level histograms.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "signature/Signature.h"
#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {

void GlobalValues(const Channels& c, int16_t* sig) {
  const uint64_t n = c.hue.size();
  // Counted into two copies of each histogram, even and odd pixels apart, so that runs
  // of one bin do not make every step wait for the one before.
  uint64_t hue[256] = {}, chroma[256] = {}, white[256] = {};
  uint64_t hue2[256] = {}, chroma2[256] = {}, white2[256] = {};
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    hue[c.hue[i]] += c.chroma[i];
    ++chroma[c.chroma[i]];
    ++white[c.white[i]];
    hue2[c.hue[i + 1]] += c.chroma[i + 1];
    ++chroma2[c.chroma[i + 1]];
    ++white2[c.white[i + 1]];
  }
  if (i < n) {
    hue[c.hue[i]] += c.chroma[i];
    ++chroma[c.chroma[i]];
    ++white[c.white[i]];
  }
  for (int i = 0; i < 256; ++i) {
    hue[i] += hue2[i];
    chroma[i] += chroma2[i];
    white[i] += white2[i];
    hue[i] = hue[i] * 512 / n;
    chroma[i] = chroma[i] * 32768 / (n + 1);
    white[i] = white[i] * 32768 / (n + 1);
  }
  for (int k = 0; k < 6; ++k) {
    const int centre = 31 * k;
    uint64_t sum = 0;
    for (int d = -31; d <= 31; ++d) sum += hue[(centre + d + 192) % 192];
    sig[kSigHue + k] = static_cast<int16_t>(std::min<uint64_t>(sum >> 1, 32767));
  }
  for (int k = 0; k < 6; ++k) {
    const int centre = 21 + 42 * k;
    uint64_t chromaSum = 0, whiteSum = 0;
    for (int bin = std::max(centre - 42, 0); bin <= std::min(centre + 42, 255); ++bin) {
      chromaSum += chroma[bin];
      whiteSum += white[bin];
    }
    sig[kSigChroma + k] = static_cast<int16_t>(std::min<uint64_t>(chromaSum, 32767));
    sig[kSigWhite + k] = static_cast<int16_t>(std::min<uint64_t>(whiteSum, 32767));
  }
}

}  // namespace gq::GQ_SIGNATURE_VARIANT
