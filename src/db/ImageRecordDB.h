// The one picture database of the process: records indexed by running number (owning)
// and by path, the duplicate group list and the selection set, the flags that say what
// is stale, the thumbnail budget, and the open database file. Used only on the
// user-interface thread; the loader hands records over by message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/BusyScope.h"
#include "db/DatabaseFile.h"
#include "db/DatabaseHost.h"
#include "db/ImageRecord.h"
#include "db/ListWindow.h"
#include "db/iavl.h"

namespace gq {

// Order modes of positions and cursors.
enum OrderMode {
  kOrderByLfdNr = 0,
  kOrderByPath = 1,
  kOrderGroups = 2,
  kOrderListWindow = 3,  // any other value: the list window of the search
};

// Selection choices.
enum SelectChoice { kDeselect = 0, kSelect = 1, kToggle = -1 };

inline constexpr int kDefaultThumbBudget = 250;

class ImageRecordDB {
 public:
  ImageRecordDB();
  ~ImageRecordDB();
  ImageRecordDB(const ImageRecordDB&) = delete;
  ImageRecordDB& operator=(const ImageRecordDB&) = delete;

  DatabaseHost& Host() { return m_Host; }
  DatabaseFile& File() { return m_File; }
  int32_t Count() const { return static_cast<int32_t>(m_TreeByLfdNr.count); }

  // Flags.
  bool IsClean() const { return m_Clean; }
  // Sets the clean flag; a change tells the host, and becoming clean deletes the
  // recovery journal.
  void SetClean(bool clean);
  // Whether the similarity index was built from the records as they are now.
  bool IndexValid() const { return m_IndexValid; }
  void SetIndexValid(bool valid) { m_IndexValid = valid; }
  // Whether the group list holds every duplicate group of the records as they are now.
  bool DuplicatesComplete() const { return m_DuplicatesComplete; }
  void SetDuplicatesComplete(bool complete) { m_DuplicatesComplete = complete; }

  // Adds a record and takes ownership. A record with the same path is removed first,
  // so a reloaded file replaces its old record. Runs the thumbnail budget; with notify
  // calls the change listener.
  void AddRecord(ImageRecord* record, bool notify);
  // Saves recovery information, takes the record out of every tree and list, counts
  // its stored thumbnail as unused bytes and destroys it.
  void RemoveRecord(ImageRecord* record);
  // Saves recovery information and gives the record a new path.
  void RenameRecord(ImageRecord* record, const std::string& newPath);

  ImageRecord* FindByLfdNr(int32_t lfdNr) const;
  ImageRecord* FindByPath(const std::string& path) const;

  // Positions in an order mode; -1 when absent.
  int32_t PositionOf(const ImageRecord* record, int mode) const;
  int32_t PositionOfLfdNr(int32_t lfdNr, int mode) const;
  // The running number at a position; beyond the end the last one, or -1 with exact.
  int32_t LfdNrAt(int32_t position, int mode, bool exact) const;
  int32_t CountIn(int mode) const;
  ImageRecord* RecordAt(int32_t position, int mode) const;

  // The running number of the next (or previous) record matching the texts after (or
  // before) start in the order mode; with wrap the walk goes on from the other end up
  // to start. -1 when none matches.
  int32_t FindText(int32_t startLfdNr, const std::string& folderText, const std::string& nameText,
                   bool forward, bool wrap, int mode) const;

  // Selection by running number.
  void Select(int32_t lfdNr, int choice);
  // Applies choice to every record strictly between the two in the order mode.
  void SelectRange(int32_t fromLfdNr, int32_t toLfdNr, int choice, int mode);
  bool IsSelected(int32_t lfdNr) const;
  void ClearSelection();
  int32_t SelectionCount() const {
    return m_Selection ? static_cast<int32_t>(m_Selection->count) : 0;
  }
  // The selected records in running-number order.
  std::vector<ImageRecord*> SelectedRecords() const;

  // Writes pending data, closes the file and empties everything; afterwards the
  // database is clean, unnamed and empty.
  void ClearAll();

  // Update marks: marks (negates) every file time above 1, of all records or of the
  // selected ones; unmarks all; removes records still marked whose file is gone.
  void MarkForUpdate(bool selectedOnly);
  void UnmarkAll();
  void RemoveUnconfirmed();

  // The loader's question: true = load the file (unknown, or its time changed).
  bool CheckFile(const std::string& path, int32_t fileTime);
  int32_t m_LastCheckedLfdNr = -1;

  // Thumbnails.
  bool LoadThumbnail(ImageRecord* record);
  bool PageOut(ImageRecord* record);
  // Pages thumbnails out while more than the budget (plus extra) are in memory.
  void ThumbnailBudgetStep(int extra);
  int32_t m_ThumbBudget = kDefaultThumbBudget;
  int32_t m_PageOutCursor = 0;

  // Every record in running-number order.
  std::vector<ImageRecord*> Records() const;
  // Every record in path order.
  std::vector<ImageRecord*> RecordsByPath() const;

  // The trees, for readers that address records by rank (the search subsystem).
  const iavl& TreeByLfdNr() const { return m_TreeByLfdNr; }
  const iavl& TreeByPath() const { return m_TreeByPath; }
  // The duplicate groups in group order; the duplicate search builds it. Within a group
  // the members follow MemberOrder.
  const iavl& GroupList() const { return m_GroupList; }
  iavl& GroupList() { return m_GroupList; }

  // The search picture of Search Similar; null when none is chosen.
  ImageRecord* SearchPicture() const { return m_SearchPicture; }
  void SetSearchPicture(ImageRecord* record) { m_SearchPicture = record; }
  // The list window the thumbnail view shows.
  const ListWindow& List() const { return m_List; }
  // The same for the search engine, which alone fills it.
  ListWindow& ListForSearch() { return m_List; }
  // Empties the list window and asks the search to rebuild it.
  void ResetListWindow();
  // Takes a record out of the group list (its group number becomes -1).
  void RemoveFromGroups(ImageRecord* record);
  // Empties the group list.
  void ClearGroups();

 private:
  void InitTrees();
  iavl* SelectionTree();
  const iavl* TreeOf(int mode) const;

  bool m_Clean = true;
  bool m_IndexValid = true;
  bool m_DuplicatesComplete = false;
  iavl m_TreeByLfdNr;
  iavl m_TreeByPath;
  iavl m_GroupList;
  iavl* m_Selection = nullptr;  // made on first use
  ImageRecord* m_SearchPicture = nullptr;
  ListWindow m_List;
  DatabaseHost m_Host;
  DatabaseFile m_File;
};

// The order of the members of one duplicate group: <0, 0, >0 as a comes before, is,
// or comes after b. Paths ignoring case, then their bytes.
int MemberOrder(const ImageRecord& a, const ImageRecord& b);

}  // namespace gq
