// The zero-separated file list that drags and clipboard copies are rendered from:
// each path followed by a zero byte, the whole list closed by one more zero byte.
// The list grows by a fixed rule (at least 263 bytes of room before each path,
// doubling when that is enough), and while the drag/copy/delete limit is on a list
// that would need more than 4 MiB of room is refused. A plain value; built just before
// a drag, copy or delete and dropped right after. Used on the user-interface thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace gq {

inline constexpr size_t kFileListRoom = 263;             // room made before each path
inline constexpr size_t kFileListLimitBytes = 0x400000;  // largest room with the limit on

class ZeroSepFileList {
 public:
  explicit ZeroSepFileList(bool limitOn) : m_LimitOn(limitOn) {}

  // Appends one path. False (the list unchanged) when the limit refuses the room.
  bool Add(const std::string& path);
  // Appends the closing zero byte; call once after the last path.
  void Close();

  const std::string& Bytes() const { return m_Bytes; }
  size_t Capacity() const { return m_Capacity; }
  int FileCount() const { return m_FileCount; }
  // The paths in the order they were added.
  std::vector<std::string> Paths() const;
  // The folder all paths lie in, with its trailing "/"; empty when they share none.
  std::string CommonFolder() const;

 private:
  bool m_LimitOn;
  std::string m_Bytes;
  size_t m_Capacity = 0;
  int m_FileCount = 0;
  std::string m_CommonPrefix;
};

// Builds and closes the list of paths; false when the limit refuses it.
bool BuildFileList(const std::vector<std::string>& paths, bool limitOn, ZeroSepFileList* list);

// The text of the box that says a selection is too large for the limit.
std::string LimitMessageText(bool limitOn);

// Shows that box ("Drag/Copy/Delete", error icon, brought to the foreground).
void ShowLimitMessage(bool limitOn);

// Whether the paths fit into one file list; shows the limit box when they do not.
// The thumbnail view asks this before it deletes a selection.
bool FileListAllowed(const std::vector<std::string>& paths, bool limitOn = true);

}  // namespace gq
