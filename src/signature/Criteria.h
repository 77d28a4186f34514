// The similarity criteria: 20 user weights 0-100, each bound to a slider of the criteria
// dialog, with their fixed descriptors (dialog label, slider control, default, preset
// group, scale to weight), the presets of the dialog's three radio rows, and the one
// current criteria record of the program. The current record and the operations that
// change it belong to the user-interface thread; the descriptors are constant.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace gq {

inline constexpr int kCriteriaCount = 20;

// Indices of the criteria; this order is also the order of the criteria file.
enum CriterionIndex {
  kCoarseColour = 0,
  kCoarseSaturation = 1,
  kCoarseBrightness = 2,
  kCoarseCentre = 3,
  kTexture = 4,
  kFormat = 5,
  kPlace = 6,
  kArea = 7,
  kIntensity = 8,
  kSize = 9,
  kRed = 10,  // the six colour multipliers follow in the signature's colour order
  kGlobalColour = 16,
  kGlobalSaturation = 17,
  kGlobalBrightness = 18,
  kFilePath = 19,
};

// A criteria record: each value 0-100 through the dialog; values read from criteria
// files or protocol text are taken as they are.
struct Criteria {
  std::array<int32_t, kCriteriaCount> value{};
  bool operator==(const Criteria&) const = default;
};

enum class PresetGroup { kNone, kCoarse, kLocal, kGlobal };
enum class PresetLevel { kIgnore, kNormal, kImportant };

struct CriterionDescriptor {
  const char* dialogGroup;  // "Coarse", "Global", "Local" or "Other"
  const char* label;        // the slider's label, e.g. "- Center -"
  int sliderControl;        // control id of the slider
  int32_t defaultValue;
  PresetGroup preset;
  double scale;  // criterion * scale is the raw weight factor
};
extern const std::array<CriterionDescriptor, kCriteriaCount> kCriteriaDescriptors;

// The radio buttons of one preset row of the dialog: ignore, normal, important.
struct PresetRow {
  PresetGroup group;
  int ignoreControl;
  int normalControl;
  int importantControl;
};
extern const std::array<PresetRow, 3> kPresetRows;

// Every criterion at its default.
Criteria DefaultCriteria();

// The index of the criterion bound to a slider control, or -1.
int CriterionOfSlider(int sliderControl);

// What the owner of the dialog and the views do after a change: move the sliders to
// the new record, and repeat the current search with it. Either may be empty.
struct CriteriaHooks {
  std::function<void(const Criteria&)> moveSliders;
  std::function<void()> repeatSearch;
};
void SetCriteriaHooks(CriteriaHooks hooks);

// The current criteria record (all defaults at start).
const Criteria& CurrentCriteria();
// Replaces the current record without notifying (start-up, criteria files).
void SetCurrentCriteria(const Criteria& criteria);

// Sets every criterion of the group to 0 (ignore), its default (normal) or 100
// (important); "normal" on the Coarse row also sets "- Center -" to 50. Criteria of
// no group never change. Then moves the sliders and repeats the search.
void ApplyPreset(PresetGroup group, PresetLevel level);

// Sets every criterion that is not 0 back to its default (a criterion at 0 stays 0),
// then moves the sliders and repeats the search.
void ResetCriteria();

// A slider moved: criterion index takes value (clamped to 0-100). Repeats the search
// only when the value changed; returns whether it did. An index out of range is ignored.
bool SetCriterion(int index, int32_t value);

}  // namespace gq
