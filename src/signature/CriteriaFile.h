// The criteria file: the 20 criteria as text, each written " %d" in index order with no
// line end (59 characters for the defaults). Reading accepts any white space between
// the numbers and ignores what follows the twentieth. Used by the criteria dialog, the
// command line and remote queries; pure file and text functions, callable from any
// thread (the record passed in belongs to the caller).
#pragma once

#include <string>

#include "signature/Criteria.h"

namespace gq {

// The text of a criteria file for the record.
std::string CriteriaText(const Criteria& criteria);
// Writes the file; on failure shows "Can't write file." (error box) and returns false.
bool WriteCriteriaFile(const std::string& path, const Criteria& criteria);
// Reads the whole file and parses it. False when the file cannot be read or holds fewer
// than 20 numbers; the numbers read before the failure are stored already.
bool ReadCriteriaFile(const std::string& path, Criteria* criteria);
// Scans 20 signed decimal numbers into the record in index order, failing at the first
// that cannot be read. Values are stored as read, outside 0-100 too.
bool ParseCriteriaText(const std::string& text, Criteria* criteria);

}  // namespace gq
