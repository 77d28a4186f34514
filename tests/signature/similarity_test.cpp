#include "signature/Similarity.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "signature/Criteria.h"
#include "signature/SearchResult.h"

namespace gq {
namespace {

TEST(BuildWeights, DefaultCriteria) {
  const WeightVector w = BuildWeights(DefaultCriteria());
  for (int i = 0; i < 36; ++i) EXPECT_DOUBLE_EQ(w[i], 0.25) << i;  // centre cell too
  for (int i = kSigTexture; i < kSigLocal; ++i) EXPECT_DOUBLE_EQ(w[i], 0.5) << i;
  for (int i = kSigLocal; i < kSigHue; ++i) EXPECT_DOUBLE_EQ(w[i], 0.2) << i;
  for (int i = kSigHue; i < kSigFormat; ++i) EXPECT_DOUBLE_EQ(w[i], 0.5) << i;
  EXPECT_EQ(w[kSigFormat], 1.0);
  EXPECT_EQ(w[kSigWidth], 1.0);
  EXPECT_EQ(w[kSigHeight], 1.0);
  EXPECT_EQ(w[kSigFilePath], 0.0);
}

TEST(BuildWeights, CentreAgainstTheOtherCells) {
  Criteria c = DefaultCriteria();
  c.value[kCoarseCentre] = 100;
  c.value[kCoarseColour] = 100;
  const WeightVector w = BuildWeights(c);
  for (int cell = 0; cell < 9; ++cell)
    for (int k = 0; k < 4; ++k) {
      const double expected = cell != kSigCentreCell ? 0.0 : (k < 2 ? 1.0 : 0.5);
      EXPECT_DOUBLE_EQ(w[4 * cell + k], expected) << "cell " << cell << " value " << k;
    }
}

TEST(BuildWeights, NormalisesToTheLargest) {
  Criteria c = DefaultCriteria();
  c.value[kFormat] = 100;  // raw 10.0
  WeightVector w = BuildWeights(c);
  EXPECT_EQ(w[kSigFormat], 1.0);
  EXPECT_DOUBLE_EQ(w[kSigWidth], 0.1);
  EXPECT_DOUBLE_EQ(w[kSigTexture], 0.05);
  EXPECT_DOUBLE_EQ(w[0], 0.025);

  c = DefaultCriteria();
  c.value[kFilePath] = 1;  // raw 1.0: already as heavy as format and size
  w = BuildWeights(c);
  EXPECT_EQ(w[kSigFilePath], 1.0);
  c.value[kFilePath] = 100;
  w = BuildWeights(c);
  EXPECT_EQ(w[kSigFilePath], 1.0);
  EXPECT_DOUBLE_EQ(w[kSigFormat], 0.01);

  // A largest raw weight whose reciprocal does not round back: still exactly 1.0.
  c = DefaultCriteria();
  c.value[kTexture] = 70;
  c.value[kFormat] = 0;
  c.value[kSize] = 0;
  w = BuildWeights(c);
  EXPECT_EQ(w[kSigTexture], 1.0);
  for (double weight : w) EXPECT_LE(weight, 1.0);
}

TEST(BuildWeights, AllZeroWeighsEverythingEqually) {
  Criteria c;
  c.value.fill(0);
  for (double weight : BuildWeights(c)) EXPECT_EQ(weight, 1.0);
  // Criteria that only act as multipliers still leave every weight 0.
  c.value[kRed] = 100;
  c.value[kCoarseCentre] = 100;
  for (double weight : BuildWeights(c)) EXPECT_EQ(weight, 1.0);
}

TEST(BuildWeights, ColourMultipliersSelectTheirValues) {
  Criteria c;
  c.value.fill(0);
  c.value[kPlace] = 100;
  c.value[kArea] = 50;
  c.value[kIntensity] = 25;
  c.value[kRed + 2] = 100;  // green
  const WeightVector w = BuildWeights(c);
  for (int i = 0; i < kSignatureLength; ++i) {
    double expected = 0;
    const int green = kSigLocal + 2 * kLocalValuesPerColour;
    if (i == green || i == green + 1) expected = 1.0;
    if (i == green + 2 || i == green + 4) expected = 0.5;
    if (i == green + 3) expected = 0.25;
    EXPECT_DOUBLE_EQ(w[i], expected) << i;
  }
}

TEST(DefaultWeights, Table) {
  const WeightVector w = DefaultWeights();
  for (int i = 0; i < 36; ++i) EXPECT_EQ(w[i], 0.5) << i;
  for (int i = kSigTexture; i < kSigLocal; ++i) EXPECT_EQ(w[i], 1.0) << i;
  for (int i = kSigLocal; i < kSigHue; ++i) EXPECT_EQ(w[i], 0.0) << i;
  for (int i = kSigHue; i <= kSigFormat; ++i) EXPECT_EQ(w[i], 1.0) << i;
  EXPECT_EQ(w[kSigWidth], 0.0);
  EXPECT_EQ(w[kSigHeight], 0.0);
  EXPECT_EQ(w[kSigFilePath], 0.0);
}

TEST(Distance, WeightedAbsoluteDifferences) {
  Signature a{}, b{};
  WeightVector w{};
  w.fill(1.0);
  EXPECT_EQ(Distance(a, a, w), 0.0);
  a[0] = 32767;
  b[0] = -32767;  // the difference needs more than 16 bits
  a[103] = 5;
  b[103] = 9;
  w[103] = 0.5;
  EXPECT_EQ(Distance(a, b, w), 65534.0 + 2.0);
  EXPECT_EQ(Distance(b, a, w), Distance(a, b, w));
  for (int i = 0; i < kSignatureLength; ++i) {
    a[i] = static_cast<int16_t>(i);
    b[i] = 0;
    w[i] = 0.25;
  }
  EXPECT_EQ(Distance(a, b, w), 0.25 * (103 * 104 / 2));
}

TEST(CompareResults, DistanceThenPathWithoutCase) {
  SearchResult near{1.0, "b.jpg"}, far{2.0, "a.jpg"};
  EXPECT_LT(CompareResults(near, far), 0);
  EXPECT_GT(CompareResults(far, near), 0);
  SearchResult a{1.0, "Folder/a.jpg"}, b{1.0, "folder/B.jpg"}, none{1.0, nullptr};
  EXPECT_LT(CompareResults(a, b), 0);
  EXPECT_LT(CompareResults(none, a), 0);
  SearchResult upper{1.0, "ÄRGER.JPG"}, lower{1.0, "ärger.jpg"};
  EXPECT_EQ(CompareResults(upper, lower), 0);
}

TEST(SortResults, TiesTakeTheRightRunFirst) {
  // Two results that compare equal (paths differing only in case): the merge of runs of
  // one puts the right-hand element first.
  SearchResult first{3.0, "pic.JPG"}, second{3.0, "PIC.jpg"}, best{1.0, "z"};
  std::vector<SearchResult*> list = {&first, &second, &best};
  ASSERT_EQ(SortResults(list.data(), list.size()), 0);
  EXPECT_EQ(list[0], &best);
  EXPECT_EQ(list[1], &second);
  EXPECT_EQ(list[2], &first);
}

class CriteriaOperations : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCurrentCriteria(DefaultCriteria());
    SetCriteriaHooks({[this](const Criteria& c) { sliders.push_back(c); }, [this] { ++searches; }});
  }
  void TearDown() override {
    SetCriteriaHooks({});
    SetCurrentCriteria(DefaultCriteria());
  }
  std::vector<Criteria> sliders;
  int searches = 0;
};

TEST_F(CriteriaOperations, ImportantOnTheGlobalRow) {
  ApplyPreset(PresetGroup::kGlobal, PresetLevel::kImportant);
  Criteria expected = DefaultCriteria();
  expected.value[kTexture] = 100;
  expected.value[kGlobalColour] = expected.value[kGlobalSaturation] =
      expected.value[kGlobalBrightness] = 100;
  EXPECT_EQ(CurrentCriteria(), expected);
  ASSERT_EQ(sliders.size(), 1u);
  EXPECT_EQ(sliders[0], expected);
  EXPECT_EQ(searches, 1);
}

TEST_F(CriteriaOperations, ResetAfterIgnoringTheLocalRowKeepsThemAtZero) {
  ApplyPreset(PresetGroup::kLocal, PresetLevel::kIgnore);
  SetCriterion(kFormat, 80);
  SetCriterion(kCoarseColour, 0);
  ResetCriteria();
  const Criteria& c = CurrentCriteria();
  for (int i = 0; i < kCriteriaCount; ++i) {
    if (kCriteriaDescriptors[i].preset == PresetGroup::kLocal || i == kCoarseColour)
      EXPECT_EQ(c.value[i], 0) << i;
    else
      EXPECT_EQ(c.value[i], kCriteriaDescriptors[i].defaultValue) << i;
  }
}

TEST_F(CriteriaOperations, NormalCoarseRestoresTheCentreAndPresetsSpareTheOthers) {
  SetCriterion(kCoarseCentre, 90);
  SetCriterion(kFormat, 70);
  SetCriterion(kSize, 60);
  SetCriterion(kFilePath, 3);
  ApplyPreset(PresetGroup::kCoarse, PresetLevel::kIgnore);
  EXPECT_EQ(CurrentCriteria().value[kCoarseCentre], 90);
  EXPECT_EQ(CurrentCriteria().value[kCoarseColour], 0);
  ApplyPreset(PresetGroup::kCoarse, PresetLevel::kNormal);
  EXPECT_EQ(CurrentCriteria().value[kCoarseCentre], 50);
  EXPECT_EQ(CurrentCriteria().value[kCoarseColour], 50);
  for (PresetGroup g : {PresetGroup::kLocal, PresetGroup::kGlobal})
    for (PresetLevel l : {PresetLevel::kIgnore, PresetLevel::kImportant}) ApplyPreset(g, l);
  EXPECT_EQ(CurrentCriteria().value[kFormat], 70);
  EXPECT_EQ(CurrentCriteria().value[kSize], 60);
  EXPECT_EQ(CurrentCriteria().value[kFilePath], 3);
}

TEST_F(CriteriaOperations, SetCriterionRepeatsTheSearchOnlyOnChange) {
  EXPECT_FALSE(SetCriterion(kTexture, 50));
  EXPECT_EQ(searches, 0);
  EXPECT_TRUE(SetCriterion(kTexture, 51));
  EXPECT_EQ(searches, 1);
  EXPECT_TRUE(sliders.empty());  // the slider already stands there
  EXPECT_TRUE(SetCriterion(kTexture, 250));
  EXPECT_EQ(CurrentCriteria().value[kTexture], 100);
  EXPECT_FALSE(SetCriterion(kCriteriaCount, 5));
  EXPECT_FALSE(SetCriterion(-1, 5));
  EXPECT_EQ(CriterionOfSlider(1037), kGlobalColour);
  EXPECT_EQ(CriterionOfSlider(1018), kFilePath);
  EXPECT_EQ(CriterionOfSlider(1016), -1);
}

}  // namespace
}  // namespace gq
