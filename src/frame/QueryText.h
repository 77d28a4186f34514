// The query arguments as a command line, a hand-off message and a server request give
// them: first rank, last rank (not below the first), result-file word, picture word,
// and nothing after the picture. Pure; callable from any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gq {

struct QueryText {
  bool ok = false;  // the whole text parsed
  int first = -1;
  int last = -1;
  bool haveResultFile = false;  // a non-empty result-file word was read
  std::string resultFile;
  std::string picture;          // may be empty: "Picture not in database." comes later
  size_t resultFileCursor = 0;  // where the result-file word starts
};

// Parses text from *cursor; *cursor ends after what was read.
QueryText ParseQueryText(std::string_view text, size_t* cursor);

}  // namespace gq
