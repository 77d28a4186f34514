#include "db/ImageRecordDB.h"

#include <sys/stat.h>

#include <cstddef>
#include <cstring>

#include "base/Text.h"
#include "db/BusyScope.h"
#include "db/FindWalk.h"
#include "db/PathOrder.h"
#include "frame/AssertXL.h"
#include "platform/MessageBox.h"

namespace gq {

std::atomic<int> g_BusyCount{0};

namespace {

const ImageRecord* AsRecord(const void* item) { return static_cast<const ImageRecord*>(item); }

int CompareLfdNr(const void* key, const void* item, void*) {
  int32_t a = AsRecord(key)->m_LfdNr;
  int32_t b = AsRecord(item)->m_LfdNr;
  return a < b ? -1 : a > b ? 1 : 0;
}

int ComparePath(const void* key, const void* item, void*) {
  return ComparePaths(AsRecord(key)->m_Path, AsRecord(item)->m_Path);
}

int CompareGroup(const void* key, const void* item, void*) {
  const ImageRecord* a = AsRecord(key);
  const ImageRecord* b = AsRecord(item);
  if (a->m_GroupNr != b->m_GroupNr) return a->m_GroupNr < b->m_GroupNr ? -1 : 1;
  return MemberOrder(*a, *b);
}

// m_TreeByLfdNr owns the records: clearing it unlinks and destroys each.
void DestroyOwnedRecord(void* item, void*) {
  auto* record = static_cast<ImageRecord*>(item);
  record->m_NodeByLfdNr.iavl_data = nullptr;
  record->m_NodeByPath.iavl_data = nullptr;
  DestroyRecord(record);
}

void UngroupRecord(void* item, void*) { static_cast<ImageRecord*>(item)->m_GroupNr = -1; }

ImageRecord KeyWithLfdNr(int32_t lfdNr) {
  ImageRecord key;
  key.m_LfdNr = lfdNr;
  return key;
}

// Every record of a tree, in the tree's order.
std::vector<ImageRecord*> InOrder(const iavl& tree) {
  std::vector<ImageRecord*> records;
  records.reserve(tree.count);
  iavl_iterator it;
  iavl_iter_init(&it, const_cast<iavl*>(&tree));
  for (void* item = iavl_iter_first(&it); item; item = iavl_iter_next(&it)) {
    records.push_back(static_cast<ImageRecord*>(item));
  }
  return records;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

int MemberOrder(const ImageRecord& a, const ImageRecord& b) {
  const int order = CompareNoCase(a.m_Path, b.m_Path);
  if (order != 0) return order;
  const int bytes = a.m_Path.compare(b.m_Path);
  return bytes < 0 ? -1 : bytes > 0 ? 1 : 0;
}

ImageRecordDB::ImageRecordDB() : m_File(*this) { InitTrees(); }

ImageRecordDB::~ImageRecordDB() {
  iavl_destroy(&m_GroupList, UngroupRecord);
  if (m_Selection) iavl_destroy(m_Selection, nullptr);
  iavl_destroy(&m_TreeByPath, nullptr);
  iavl_destroy(&m_TreeByLfdNr, DestroyOwnedRecord);
}

void ImageRecordDB::InitTrees() {
  iavl_create(&m_TreeByLfdNr, CompareLfdNr, this, kIavlUnique, nullptr,
              static_cast<int32_t>(offsetof(ImageRecord, m_NodeByLfdNr)));
  iavl_create(&m_TreeByPath, ComparePath, this, kIavlUnique, nullptr,
              static_cast<int32_t>(offsetof(ImageRecord, m_NodeByPath)));
  iavl_create(&m_GroupList, CompareGroup, this, kIavlUnique, nullptr, kIavlSeparateNodes);
}

void ImageRecordDB::SetClean(bool clean) {
  if (clean) m_File.Journal().Delete(m_File.Name(), false);
  if (m_Clean == clean) return;
  m_Clean = clean;
  if (m_Host.stateChanged) m_Host.stateChanged();
}

void ImageRecordDB::AddRecord(ImageRecord* record, bool notify) {
  SetClean(false);
  m_IndexValid = false;
  m_DuplicatesComplete = false;
  iavl_insert(&m_TreeByLfdNr, record, kIavlUnique);
  auto* older = static_cast<ImageRecord*>(iavl_insert(&m_TreeByPath, record, kIavlInsertReplace));
  if (older && older != record) RemoveRecord(older);
  ThumbnailBudgetStep(0);
  if (notify && m_Host.changeListener) m_Host.changeListener();
}

void ImageRecordDB::RemoveRecord(ImageRecord* record) {
  m_File.Journal().Save(m_File);
  SetClean(false);
  if (m_SearchPicture == record) m_SearchPicture = nullptr;
  m_IndexValid = false;
  iavl_remove(&m_TreeByLfdNr, record, 1);
  record->m_NodeByLfdNr.iavl_data = nullptr;
  // A record displaced by a newer one of the same path is no longer in the path tree.
  iavl_remove(&m_TreeByPath, record, 1);
  record->m_NodeByPath.iavl_data = nullptr;
  RemoveFromGroups(record);
  if (m_Selection) iavl_remove(m_Selection, record, 0);
  ResetListWindow();
  if (record->m_ThumbOffset >= 0) {
    int64_t bytes = m_File.StoredThumbnailBytes(*record);
    if (bytes > 0) m_File.AddUnusedBytes(bytes);
  }
  DestroyRecord(record);
}

void ImageRecordDB::RenameRecord(ImageRecord* record, const std::string& newPath) {
  m_File.Journal().Save(m_File);
  SetClean(false);
  iavl_remove(&m_TreeByPath, record, 1);
  record->m_NodeByPath.iavl_data = nullptr;
  record->m_Path = newPath;
  auto* older = static_cast<ImageRecord*>(iavl_insert(&m_TreeByPath, record, kIavlInsertReplace));
  if (older && older != record) RemoveRecord(older);
}

ImageRecord* ImageRecordDB::FindByLfdNr(int32_t lfdNr) const {
  ImageRecord key = KeyWithLfdNr(lfdNr);
  return static_cast<ImageRecord*>(iavl_find(&m_TreeByLfdNr, &key, 0));
}

ImageRecord* ImageRecordDB::FindByPath(const std::string& path) const {
  ImageRecord key;
  key.m_Path = path;
  return static_cast<ImageRecord*>(iavl_find(&m_TreeByPath, &key, 0));
}

const iavl* ImageRecordDB::TreeOf(int mode) const {
  switch (mode) {
    case kOrderByLfdNr:
      return &m_TreeByLfdNr;
    case kOrderByPath:
      return &m_TreeByPath;
    case kOrderGroups:
      return &m_GroupList;
    default:
      return nullptr;
  }
}

int32_t ImageRecordDB::CountIn(int mode) const {
  const iavl* tree = TreeOf(mode);
  return tree ? static_cast<int32_t>(tree->count) : m_List.Size();
}

ImageRecord* ImageRecordDB::RecordAt(int32_t position, int mode) const {
  if (const iavl* tree = TreeOf(mode)) {
    return static_cast<ImageRecord*>(iavl_select(tree, position));
  }
  return m_List.AtPosition(position);
}

int32_t ImageRecordDB::PositionOf(const ImageRecord* record, int mode) const {
  if (!record) return -1;
  if (mode == kOrderGroups && record->m_GroupNr < 0) return -1;
  if (const iavl* tree = TreeOf(mode))
    return iavl_rank_of(tree, record, mode == kOrderGroups ? 0 : 1);
  return m_List.PositionOf(record);
}

int32_t ImageRecordDB::PositionOfLfdNr(int32_t lfdNr, int mode) const {
  return PositionOf(FindByLfdNr(lfdNr), mode);
}

int32_t ImageRecordDB::LfdNrAt(int32_t position, int mode, bool exact) const {
  int32_t count = CountIn(mode);
  if (count <= 0 || position < 0) return -1;
  int32_t last = (TreeOf(mode) ? 0 : m_List.First()) + count - 1;
  if (position > last) {
    if (exact) return -1;
    position = last;
  }
  ImageRecord* record = RecordAt(position, mode);
  return record ? record->m_LfdNr : -1;
}

int32_t ImageRecordDB::FindText(int32_t startLfdNr, const std::string& folderText,
                                const std::string& nameText, bool forward, bool wrap,
                                int mode) const {
  const int32_t found =
      FindWalk(TreeOf(mode) ? 0 : m_List.First(), CountIn(mode), PositionOfLfdNr(startLfdNr, mode),
               forward, wrap, [&](int32_t position) {
                 const ImageRecord* record = RecordAt(position, mode);
                 return record && MatchesText(*record, folderText, nameText);
               });
  return found < 0 ? -1 : RecordAt(found, mode)->m_LfdNr;
}

iavl* ImageRecordDB::SelectionTree() {
  if (!m_Selection) {
    m_Selection =
        iavl_create(nullptr, CompareLfdNr, this, kIavlUnique, nullptr, kIavlSeparateNodes);
  }
  return m_Selection;
}

void ImageRecordDB::Select(int32_t lfdNr, int choice) {
  ImageRecord* record = FindByLfdNr(lfdNr);
  if (!record) return;
  bool selected = IsSelected(lfdNr);
  bool want = choice == kToggle ? !selected : choice == kSelect;
  if (want == selected) return;
  iavl* tree = SelectionTree();
  if (!tree) return;
  if (want) {
    iavl_insert(tree, record, kIavlUnique);
  } else {
    iavl_remove(tree, record, 0);
  }
}

void ImageRecordDB::SelectRange(int32_t fromLfdNr, int32_t toLfdNr, int choice, int mode) {
  int32_t a = PositionOfLfdNr(fromLfdNr, mode);
  int32_t b = PositionOfLfdNr(toLfdNr, mode);
  if (a < 0 || b < 0) return;
  if (a > b) std::swap(a, b);
  for (int32_t p = a + 1; p < b; ++p) {
    if (ImageRecord* record = RecordAt(p, mode)) Select(record->m_LfdNr, choice);
  }
}

bool ImageRecordDB::IsSelected(int32_t lfdNr) const {
  if (!m_Selection) return false;
  ImageRecord key = KeyWithLfdNr(lfdNr);
  return iavl_find(m_Selection, &key, 0) != nullptr;
}

void ImageRecordDB::ClearSelection() {
  if (m_Selection) iavl_destroy(m_Selection, nullptr);
  m_Selection = nullptr;
}

std::vector<ImageRecord*> ImageRecordDB::SelectedRecords() const {
  return m_Selection ? InOrder(*m_Selection) : std::vector<ImageRecord*>();
}

void ImageRecordDB::ResetListWindow() {
  m_List.Clear();
  if (m_Host.rebuildListWindow) m_Host.rebuildListWindow();
}

void ImageRecordDB::RemoveFromGroups(ImageRecord* record) {
  if (record->m_GroupNr < 0) return;
  iavl_remove(&m_GroupList, record, 0);
  record->m_GroupNr = -1;
}

void ImageRecordDB::ClearGroups() { iavl_destroy(&m_GroupList, UngroupRecord); }

void ImageRecordDB::ClearAll() {
  if (m_File.IsOpen() && !m_File.Save()) {
    m_File.Journal().Abandon();  // the journal stays for the next load
  } else {
    m_File.Journal().Delete(m_File.Name(), false);
  }
  m_File.Forget();
  ClearSelection();
  m_IndexValid = true;
  m_DuplicatesComplete = false;
  m_List.Clear();
  m_List.Place(0, m_List.Columns(), m_List.Mode());
  m_SearchPicture = nullptr;
  ClearGroups();
  iavl_destroy(&m_TreeByPath, nullptr);
  iavl_destroy(&m_TreeByLfdNr, DestroyOwnedRecord);
  m_PageOutCursor = 0;
  m_ThumbBudget = kDefaultThumbBudget;
  SetClean(true);
  if (m_Host.discardMosaic) m_Host.discardMosaic();
}

void ImageRecordDB::MarkForUpdate(bool selectedOnly) {
  std::vector<ImageRecord*> records = selectedOnly ? SelectedRecords() : Records();
  for (ImageRecord* record : records) {
    if (record->m_FileTime > 1) record->m_FileTime = -record->m_FileTime;
  }
}

void ImageRecordDB::UnmarkAll() {
  for (ImageRecord* record : Records()) {
    if (record->m_FileTime < -1) record->m_FileTime = -record->m_FileTime;
  }
}

void ImageRecordDB::RemoveUnconfirmed() {
  for (ImageRecord* record : Records()) {
    if (record->m_FileTime >= -1) continue;
    if (IsRegularFile(record->m_Path)) {
      record->m_FileTime = -record->m_FileTime;
    } else {
      RemoveRecord(record);
    }
  }
}

bool ImageRecordDB::CheckFile(const std::string& path, int32_t fileTime) {
  ImageRecord* record = FindByPath(path);
  if (!record) return true;
  m_LastCheckedLfdNr = record->m_LfdNr;
  if (record->m_FileTime < -1) record->m_FileTime = -record->m_FileTime;
  return record->m_FileTime != fileTime;
}

bool ImageRecordDB::LoadThumbnail(ImageRecord* record) {
  if (record->m_ThumbPixels) return true;
  ThumbnailBudgetStep(1);
  if (m_File.ReadThumbnail(record)) return true;
  record->m_ThumbWidth = 0;
  record->m_ThumbHeight = 0;
  if (m_Host.statusText) m_Host.statusText("Error reading DB.", 4000);
  return false;
}

bool ImageRecordDB::PageOut(ImageRecord* record) {
  if (record->m_ThumbOffset < 0 && !m_File.AppendThumbnail(record)) {
    if (m_File.IsOpen()) {
      BusyScope busy;
      MessageBox("Problems writing to disk. Is your disk full?\n", kProgramCaption,
                 MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SYSTEMMODAL);
    }
    return false;
  }
  FreeRecordPixels(record);
  return true;
}

void ImageRecordDB::ThumbnailBudgetStep(int extra) {
  for (int attempt = 0; attempt < 2 && m_NrThumbsLoaded + extra > m_ThumbBudget; ++attempt) {
    iavl_iterator it;
    iavl_iter_init(&it, &m_TreeByLfdNr);
    auto* record = static_cast<ImageRecord*>(iavl_iter_seek_rank(&it, m_PageOutCursor));
    while (record && !record->m_ThumbPixels)
      record = static_cast<ImageRecord*>(iavl_iter_next(&it));
    if (!record) {
      m_PageOutCursor = 0;
      continue;
    }
    m_PageOutCursor = iavl_iter_rank(&it) + 1;
    m_ThumbBudget = PageOut(record) ? kDefaultThumbBudget : m_ThumbBudget * 2;
  }
}

std::vector<ImageRecord*> ImageRecordDB::Records() const { return InOrder(m_TreeByLfdNr); }

std::vector<ImageRecord*> ImageRecordDB::RecordsByPath() const { return InOrder(m_TreeByPath); }

}  // namespace gq
