#include "signature/SignatureVariants.h"

#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "signature/PictureMaker.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

// Pictures of every kind the region finder treats apart: noise (thousands of small
// regions), blocks in noise, thumbnails shrunk from larger pictures, plain areas, single
// rows and columns, and sides on both sides of the small number set's limit (253).
std::vector<PackedImage> MixedPictures() {
  std::mt19937 random(31);
  std::vector<PackedImage> pictures;
  std::uniform_int_distribution<int> side(1, 120);
  for (int k = 0; k < 60; ++k) {
    const int w = side(random), h = side(random);
    pictures.push_back(k % 2 == 0 ? testing::Noise(w, h, &random)
                                  : testing::Blocks(w, h, &random));
    const PackedImage large = testing::Blocks(5 * w, 5 * h, &random);
    PackedImage thumb;
    MakeThumbnail(large.width, large.height, large.stride(), large.pixels.data(),
                  kThumbnailSide, &thumb);
    pictures.push_back(std::move(thumb));
  }
  for (const auto& [w, h] : {std::pair{96, 96}, {1, 96}, {96, 1}, {253, 41}, {254, 40}, {9, 400}})
    pictures.push_back(testing::Blocks(w, h, &random));
  pictures.push_back(testing::Uniform(96, 64, 40, 200, 90));
  return pictures;
}

TEST(SignatureVariants, AllGiveTheSameBytes) {
  const auto variants = RunnableSignatureVariants();
  ASSERT_GE(variants.size(), 1u);
  EXPECT_STREQ(variants.front().name, "portable");
  if (variants.size() == 1) GTEST_SKIP() << "this processor runs the portable variant only";
  for (const PackedImage& picture : MixedPictures()) {
    Signature expected{};
    ASSERT_TRUE(variants.front().computeSignature(picture.width, picture.height,
                                                  picture.pixels.data(), 4000, 3000,
                                                  expected.data()));
    for (const SignatureVariant& variant : variants.subspan(1)) {
      Signature actual{};
      ASSERT_TRUE(variant.computeSignature(picture.width, picture.height,
                                           picture.pixels.data(), 4000, 3000, actual.data()));
      for (int i = 0; i < kComputedSignatureLength; ++i)
        ASSERT_EQ(actual[i], expected[i])
            << variant.name << ", value " << i << ", picture " << picture.width << " x "
            << picture.height;
    }
  }
}

}  // namespace
}  // namespace gq
