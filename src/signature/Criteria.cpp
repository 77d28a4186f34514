#include "signature/Criteria.h"

#include <algorithm>
#include <utility>

namespace gq {

const std::array<CriterionDescriptor, kCriteriaCount> kCriteriaDescriptors = {{
    {"Coarse", "Color", 1000, 50, PresetGroup::kCoarse, 0.01},
    {"Coarse", "Saturation", 1001, 50, PresetGroup::kCoarse, 0.01},
    {"Coarse", "Brightness", 1002, 50, PresetGroup::kCoarse, 0.01},
    {"Coarse", "- Center -", 1003, 50, PresetGroup::kNone, 0.01},
    {"Global", "Texture", 1004, 50, PresetGroup::kGlobal, 0.01},
    {"Other", "Format", 1005, 10, PresetGroup::kNone, 0.1},
    {"Local", "Place", 1006, 40, PresetGroup::kLocal, 0.01},
    {"Local", "Area", 1007, 40, PresetGroup::kLocal, 0.01},
    {"Local", "Intensity", 1008, 40, PresetGroup::kLocal, 0.01},
    {"Other", "Size", 1009, 10, PresetGroup::kNone, 0.1},
    {"Local", "- Red -", 1010, 50, PresetGroup::kLocal, 0.01},
    {"Local", "- Yellow -", 1011, 50, PresetGroup::kLocal, 0.01},
    {"Local", "- Green -", 1012, 50, PresetGroup::kLocal, 0.01},
    {"Local", "- Cyan -", 1013, 50, PresetGroup::kLocal, 0.01},
    {"Local", "- Blue -", 1014, 50, PresetGroup::kLocal, 0.01},
    {"Local", "- Magenta -", 1015, 50, PresetGroup::kLocal, 0.01},
    {"Global", "Color", 1037, 50, PresetGroup::kGlobal, 0.01},
    {"Global", "Saturation", 1038, 50, PresetGroup::kGlobal, 0.01},
    {"Global", "Brightness", 1039, 50, PresetGroup::kGlobal, 0.01},
    {"Other", "File Path", 1018, 0, PresetGroup::kNone, 1.0},
}};

const std::array<PresetRow, 3> kPresetRows = {{
    {PresetGroup::kCoarse, 1016, 1017, 1019},
    {PresetGroup::kLocal, 1020, 1021, 1022},
    {PresetGroup::kGlobal, 1026, 1027, 1028},
}};

namespace {

// The current record and the hooks: user-interface thread only.
Criteria g_currentCriteria = DefaultCriteria();
CriteriaHooks g_criteriaHooks;

void NotifyChanged() {
  if (g_criteriaHooks.moveSliders) g_criteriaHooks.moveSliders(g_currentCriteria);
  if (g_criteriaHooks.repeatSearch) g_criteriaHooks.repeatSearch();
}

}  // namespace

Criteria DefaultCriteria() {
  Criteria criteria;
  for (int i = 0; i < kCriteriaCount; ++i) criteria.value[i] = kCriteriaDescriptors[i].defaultValue;
  return criteria;
}

int CriterionOfSlider(int sliderControl) {
  for (int i = 0; i < kCriteriaCount; ++i)
    if (kCriteriaDescriptors[i].sliderControl == sliderControl) return i;
  return -1;
}

void SetCriteriaHooks(CriteriaHooks hooks) { g_criteriaHooks = std::move(hooks); }

const Criteria& CurrentCriteria() { return g_currentCriteria; }

void SetCurrentCriteria(const Criteria& criteria) { g_currentCriteria = criteria; }

void ApplyPreset(PresetGroup group, PresetLevel level) {
  for (int i = 0; i < kCriteriaCount; ++i) {
    const CriterionDescriptor& d = kCriteriaDescriptors[i];
    if (group == PresetGroup::kNone || d.preset != group) continue;
    switch (level) {
      case PresetLevel::kIgnore:
        g_currentCriteria.value[i] = 0;
        break;
      case PresetLevel::kNormal:
        g_currentCriteria.value[i] = d.defaultValue;
        break;
      case PresetLevel::kImportant:
        g_currentCriteria.value[i] = 100;
        break;
    }
  }
  if (group == PresetGroup::kCoarse && level == PresetLevel::kNormal)
    g_currentCriteria.value[kCoarseCentre] = 50;
  NotifyChanged();
}

void ResetCriteria() {
  for (int i = 0; i < kCriteriaCount; ++i)
    if (g_currentCriteria.value[i] != 0)
      g_currentCriteria.value[i] = kCriteriaDescriptors[i].defaultValue;
  NotifyChanged();
}

bool SetCriterion(int index, int32_t value) {
  if (index < 0 || index >= kCriteriaCount) return false;
  value = std::clamp<int32_t>(value, 0, 100);
  if (g_currentCriteria.value[index] == value) return false;
  g_currentCriteria.value[index] = value;
  if (g_criteriaHooks.repeatSearch) g_criteriaHooks.repeatSearch();
  return true;
}

}  // namespace gq
