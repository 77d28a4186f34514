// The filters of gqtool index over the entries of walked folders: globs on the path
// relative to the named folder (a glob without '/' matches the entry's name alone),
// hidden folders (a name starting with '.') unless they are asked for, files smaller
// than a number of bytes, and pictures with fewer pixels than a number on the shorter
// side (read from the picture's header; a file whose header cannot be read is kept for
// the loader to judge). Each entry is judged once and counted once, though the loader's
// and the counter's walks both ask. Used from the walking threads at once.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "loading/InputWalker.h"

namespace gq {

struct IndexFilterOptions {
  std::vector<std::string> excludes;  // globs
  bool hidden = false;                // walk hidden folders too
  int64_t minSize = 0;                // bytes
  int32_t minPixels = 0;              // on the shorter side
};

class IndexFilters {
 public:
  explicit IndexFilters(IndexFilterOptions options) : m_Options(std::move(options)) {}

  // Whether the entry is left out of the walk.
  bool LeaveOut(const WalkedEntry& entry);
  // The paths of the files and folders left out so far, in byte order.
  std::vector<std::string> LeftOutPaths() const;

 private:
  bool Judge(const WalkedEntry& entry) const;
  bool Excluded(const WalkedEntry& entry) const;
  bool TooSmall(const std::string& path) const;

  const IndexFilterOptions m_Options;
  mutable std::mutex m_Mutex;  // guards m_Judged
  std::unordered_map<std::string, bool> m_Judged;
};

}  // namespace gq
