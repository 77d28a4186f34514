#include "frame/QueryText.h"

#include "base/Words.h"

namespace gq {

QueryText ParseQueryText(std::string_view text, size_t* cursor) {
  QueryText query;
  if (!ReadNumber(text, cursor, &query.first) || !ReadNumber(text, cursor, &query.last) ||
      query.last < query.first) {
    return query;
  }
  query.resultFileCursor = *cursor;
  query.resultFile = ReadWord(text, cursor);
  query.haveResultFile = !query.resultFile.empty();
  if (!query.haveResultFile) return query;
  query.picture = ReadWord(text, cursor);
  query.ok = *cursor >= text.size();
  return query;
}

}  // namespace gq
