#include "frame/HandOff.h"

#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "base/FileKind.h"
#include "base/Words.h"
#include "platform/InstanceChannel.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

constexpr int kAttempts = 100;
constexpr auto kPause = std::chrono::milliseconds(100);
// No attempt starts after it; a window that took the block gets as long again to answer.
constexpr auto kRetryPeriod = kAttempts * kPause;

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t cursor = 0;
  SkipSpaces(text, &cursor);
  while (cursor < text.size()) words.push_back(ReadWord(text, &cursor));
  return words;
}

// Consumes prefix at the cursor when it stands there exactly.
bool Take(const std::string& text, size_t* cursor, const char* prefix) {
  size_t length = std::strlen(prefix);
  if (text.compare(*cursor, length, prefix) != 0) return false;
  *cursor += length;
  return true;
}

}  // namespace

std::string BuildHandOffText(const ParsedCommand& parsed) {
  std::string text = g_instanceName + "\n";
  if (parsed.minimize) text += "/m ";
  if (!g_criteriaFilePath.empty()) text += "/c \"" + NormalizePath(g_criteriaFilePath) + "\" ";
  if (parsed.queryFirst >= 0) {
    text +=
        "/q " + std::to_string(parsed.queryFirst) + " " + std::to_string(parsed.queryLast) + " ";
  } else {
    if (g_selectFlag) text += "/s ";
    if (g_activateFlag) text += "/a ";
    if (parsed.deleteFlag) text += "/d ";
  }
  for (const std::string& word : Words(parsed.rest)) {
    text += "\"" + NormalizePath(word) + "\" ";
  }
  return text;
}

bool SendHandOff(const ParsedCommand& parsed, const std::string&) {
  if (parsed.deleteFlag) {
    std::vector<std::string> words = Words(parsed.rest);
    if (words.empty()) {
      MessageBox("Option delete needs an argument.", kProgramCaption, MB_OK);
      return true;
    }
    if (words.size() > 1 || IsFolder(NormalizePath(words[0]))) {
      MessageBox("Option delete only allowed for single picture.", kProgramCaption, MB_OK);
      return true;
    }
  }
  std::string text = BuildHandOffText(parsed);
  text.push_back('\0');
  auto deadline = std::chrono::steady_clock::now() + kRetryPeriod;
  for (int attempt = 0; attempt < kAttempts && std::chrono::steady_clock::now() < deadline;
       ++attempt) {
    if (SendCopyData(g_mainWindowClassName, 0, kHandOffTag, text, kRetryPeriod) == 1) return true;
    std::this_thread::sleep_for(kPause);
  }
  return false;
}

bool ParseHandOff(uint32_t wParam, uint32_t tag, const std::string& data,
                  const std::string& ownInstance, HandOffRequest* request) {
  if (wParam != 0 || tag != kHandOffTag) return false;
  std::string text(data.c_str(), strnlen(data.c_str(), data.size()));
  if (text.compare(0, ownInstance.size(), ownInstance) != 0 || text.size() <= ownInstance.size() ||
      text[ownInstance.size()] != '\n') {
    return false;
  }
  size_t cursor = ownInstance.size() + 1;
  request->minimize = Take(text, &cursor, "/m ");
  if (Take(text, &cursor, "/c ")) request->criteriaFile = ReadWord(text, &cursor);
  if (Take(text, &cursor, "/q ")) {
    request->query = true;
    request->queryText = text.substr(cursor);
    return true;
  }
  request->select = Take(text, &cursor, "/s ");
  request->activate = Take(text, &cursor, "/a ");
  if (Take(text, &cursor, "/d ")) request->deletePath = ReadWord(text, &cursor);
  request->rest = text.substr(cursor);
  return true;
}

}  // namespace gq
