// The query a running instance answers for a later start on the same machine: the
// hand-off's "/q" text (first rank, last rank, result file, picture) and its criteria
// file are answered into the result file, which is replaced as a whole. Runs on the
// user-interface thread, inside the hand-off receiver.
#pragma once

#include <string>
#include <string_view>

#include "remote/RemoteCommand.h"

namespace gq {

// Writes the status line (0 followed by the result list, or 100, 101 or 102) into the
// result file named by the query text; criteriaFile "" uses the current criteria, which
// a named file never changes. Returns whether status 0 and the list were written; a
// query whose result file cannot even be named writes nothing.
bool LocalQuery(std::string_view queryText, const std::string& criteriaFile,
                RemoteContext& context);

}  // namespace gq
