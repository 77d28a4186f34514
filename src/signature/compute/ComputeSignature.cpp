// ComputeSignature of one build: the feature groups in turn.
#include <cstdint>
#include <utility>

#include "signature/compute/Features.h"

namespace gq::GQ_SIGNATURE_VARIANT {

bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature) {
  if (thumbWidth <= 0 || thumbHeight <= 0 || pixels == nullptr || signature == nullptr)
    return false;
  CoarseValues(thumbWidth, thumbHeight, pixels, signature);
  Channels channels = SplitChannels(thumbWidth, thumbHeight, pixels);
  TextureValues(std::move(channels.grey), thumbWidth, thumbHeight, signature);
  LocalValues(channels, signature);
  GlobalValues(channels, signature);
  SizeValues(pictureWidth, pictureHeight, signature);
  return true;
}

}  // namespace gq::GQ_SIGNATURE_VARIANT
