// JSON text for gqtool's script output. File names are bytes: a byte that is not part
// of well-formed UTF-8 is written as the lone surrogate escape \udcXX (XX its value),
// which no UTF-8 text can hold, so the escape is reversible (Python's
// os.fsencode(json.loads(...)) gives the original bytes back). Pure functions.
#pragma once

#include <string>

namespace gq {

// The JSON string literal of text, quotes included.
std::string JsonString(const std::string& text);

}  // namespace gq
