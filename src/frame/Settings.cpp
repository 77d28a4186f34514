#include "frame/Settings.h"

#include <mutex>

#include "platform/RegStore.h"

namespace gq {

ProgramSettings g_settings;

namespace {

std::mutex g_hookMutex;  // guards g_scrollBarSideHook
std::function<void(bool)> g_scrollBarSideHook;

// The store of this user; a missing store is created empty.
RegStore OpenStore() {
  RegStore store;
  if (!store.Load(RegStore::DefaultPath())) store.Save(RegStore::DefaultPath());
  return store;
}

void Flag(RegStore& store, bool save, const char* name, bool& value) {
  if (save) {
    store.SetDword(name, value ? 1 : 0);
  } else if (auto stored = store.GetDword(name)) {
    value = *stored != 0;
  }
}

void Word(RegStore& store, bool save, const char* name, uint32_t& value) {
  if (save) {
    store.SetDword(name, value);
  } else if (auto stored = store.GetDword(name)) {
    value = *stored;
  }
}

void Text(RegStore& store, bool save, const char* name, std::string& value) {
  if (save) {
    store.SetString(name, value);
  } else if (auto stored = store.GetString(name)) {
    value = *stored;
  }
}

std::string HistoryName(int index) { return std::string("hist") + static_cast<char>('a' + index); }

}  // namespace

uint32_t SystemWindowColor() { return 0x00FFFFFF; }

void LoadOrSaveSettings(bool save) {
  RegStore store = OpenStore();
  ProgramSettings& s = g_settings;
  Flag(store, save, "VTB", s.showToolBar);
  Flag(store, save, "VTA", s.showTabs);
  Flag(store, save, "VSB", s.showStatusBar);
  Text(store, save, "ImportCmd", s.importCommand);
  Text(store, save, "ImportTypes", s.importTypes);
  Word(store, save, "BackColor", s.backColor);
  Flag(store, save, "NoZoom", s.noZoom);
  Flag(store, save, "SDC", s.compactDuplicates);
  Word(store, save, "SSN", s.similarCount);
  Flag(store, save, "SBL", s.scrollBarLeft);
  if (save) store.Save(RegStore::DefaultPath());

  std::function<void(bool)> hook;
  {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    hook = g_scrollBarSideHook;
  }
  if (hook) hook(s.scrollBarLeft);
}

std::string ReadHistoryEntry(int index) {
  if (index < 0 || index > 3) return {};
  return OpenStore().GetString(HistoryName(index)).value_or(std::string());
}

void WriteHistoryEntry(int index, const std::string& path) {
  if (index < 0 || index > 3) return;
  RegStore store = OpenStore();
  store.SetString(HistoryName(index), path);
  store.Save(RegStore::DefaultPath());
}

void SetScrollBarSideHook(std::function<void(bool left)> hook) {
  std::lock_guard<std::mutex> lock(g_hookMutex);
  g_scrollBarSideHook = std::move(hook);
}

}  // namespace gq
