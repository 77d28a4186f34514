// The command-line start with --client host:port: one request to a remote server, then
// the start ends. A query's answer (or its failure status) replaces the result file as
// a whole; the output of any other request goes to standard output. Socket details go
// to standard error. Runs on the main thread of that start; no window exists.
#pragma once

#include "frame/CommandLine.h"

namespace gq {

// Runs the request: with a query, sends it (criteria from g_criteriaFilePath, at most
// 4096 bytes) and stores the answer; otherwise loads each word of parsed.rest through
// the remote link, asking the server with "known" and sending "add" for what it lacks.
// The greeting carries g_instanceName.
void RunClientRequest(const ParsedCommand& parsed);

}  // namespace gq
