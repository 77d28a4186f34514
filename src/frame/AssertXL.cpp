#include "frame/AssertXL.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/Beep.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

// The ignore list is one heap block that checks itself:
//   offset  0: total size n in bytes (u32, the marker not counted)
//   offset  4: checksum (u32): XOR of all u32 words of the first n bytes rounded up
//              to 4, taken with the checksum word as 0
//   offset  8: entry count (u32)
//   offset 16: self reference (the block's own address)
//   offset 24: entries of 16 bytes: line (i32), 4 zero bytes, text reference
//   then the source-unit texts, each with its zero byte; then the marker "X" at n.
constexpr size_t kSizeOffset = 0;
constexpr size_t kChecksumOffset = 4;
constexpr size_t kCountOffset = 8;
constexpr size_t kSelfOffset = 16;
constexpr size_t kEntriesOffset = 24;
constexpr size_t kEntrySize = 16;

std::atomic<uint32_t> g_reportLock{0};
unsigned char* g_ignoreList = nullptr;  // guarded by g_reportLock
std::mutex g_captionMutex;              // guards g_caption
std::string g_caption;

const char* kReportFormat =
    "\nUnexpected Program Behavior\n\nFor a bug-report include the following information:\n\n"
    "File: %.128s\nLine: %d\nDate: %s\n\nTry to ignore this behavior for the rest of this "
    "session?\n\nNot terminating the program now may result in undefined behavior.\n"
    "Terminating the program now may result in data loss.\n\nYes:\tignore this strange "
    "behavior from now on\nNo:\tignore this strange behavior this time\nCancel:\tterminate "
    "program; program data may be lost!!!\n";

uint32_t Load32(const unsigned char* at) {
  uint32_t value;
  std::memcpy(&value, at, 4);
  return value;
}
void Store32(unsigned char* at, uint32_t value) { std::memcpy(at, &value, 4); }
const void* LoadPointer(const unsigned char* at) {
  const void* value;
  std::memcpy(&value, at, sizeof value);
  return value;
}
void StorePointer(unsigned char* at, const void* value) { std::memcpy(at, &value, sizeof value); }

size_t RoundUp4(size_t n) { return (n + 3) & ~size_t{3}; }

uint32_t Checksum(const unsigned char* block) {
  size_t words = RoundUp4(Load32(block + kSizeOffset)) / 4;
  uint32_t sum = 0;
  for (size_t i = 0; i < words; ++i) {
    if (i * 4 != kChecksumOffset) sum ^= Load32(block + i * 4);
  }
  return sum;
}

bool Consistent(const unsigned char* block, bool withChecksum) {
  uint32_t n = Load32(block + kSizeOffset);
  if (LoadPointer(block + kSelfOffset) != block || block[n] != 'X') return false;
  return !withChecksum || Checksum(block) == Load32(block + kChecksumOffset);
}

void TakeLock() {
  while (g_reportLock.exchange(1) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Checks the list; an inconsistent one is dropped (not freed: it cannot be trusted)
// and reported at this unit's line 103, with the lock released around that report.
void CheckIgnoreList(bool withChecksum) {
  if (!g_ignoreList || Consistent(g_ignoreList, withChecksum)) return;
  g_ignoreList = nullptr;
  assertXL_unlock();
  assertXL("assertXL: inconsistency detected; internal reset performed", "assertXL", __DATE__, 103);
  assertXL_unlock();
  TakeLock();
}

bool IsIgnored(const char* unit, int line) {
  CheckIgnoreList(false);
  if (!g_ignoreList) return false;
  uint32_t count = Load32(g_ignoreList + kCountOffset);
  for (uint32_t i = count; i-- > 0;) {
    const unsigned char* entry = g_ignoreList + kEntriesOffset + i * kEntrySize;
    if (static_cast<int32_t>(Load32(entry)) != line) continue;
    if (std::strcmp(static_cast<const char*>(LoadPointer(entry + 8)), unit) == 0) return true;
  }
  return false;
}

void AddToIgnoreList(const char* unit, int line) {
  CheckIgnoreList(true);
  uint32_t oldCount = g_ignoreList ? Load32(g_ignoreList + kCountOffset) : 0;
  size_t oldTexts = 0;
  for (uint32_t i = 0; i < oldCount; ++i) {
    const unsigned char* entry = g_ignoreList + kEntriesOffset + i * kEntrySize;
    oldTexts += std::strlen(static_cast<const char*>(LoadPointer(entry + 8))) + 1;
  }
  size_t unitLength = std::strlen(unit) + 1;
  size_t n = kEntriesOffset + (oldCount + 1) * kEntrySize + unitLength + oldTexts;
  auto* block = static_cast<unsigned char*>(std::calloc(RoundUp4(n + 1), 1));
  if (!block) return;  // the check point is simply not ignored

  Store32(block + kSizeOffset, static_cast<uint32_t>(n));
  Store32(block + kCountOffset, oldCount + 1);
  StorePointer(block + kSelfOffset, block);
  unsigned char* text = block + kEntriesOffset + (oldCount + 1) * kEntrySize;
  Store32(block + kEntriesOffset, static_cast<uint32_t>(line));
  StorePointer(block + kEntriesOffset + 8, text);
  std::memcpy(text, unit, unitLength);
  text += unitLength;
  for (uint32_t i = 0; i < oldCount; ++i) {
    const unsigned char* oldEntry = g_ignoreList + kEntriesOffset + i * kEntrySize;
    unsigned char* entry = block + kEntriesOffset + (i + 1) * kEntrySize;
    const char* oldText = static_cast<const char*>(LoadPointer(oldEntry + 8));
    size_t length = std::strlen(oldText) + 1;
    Store32(entry, Load32(oldEntry));
    StorePointer(entry + 8, text);
    std::memcpy(text, oldText, length);
    text += length;
  }
  block[n] = 'X';
  std::free(g_ignoreList);
  g_ignoreList = block;
  Store32(block + kChecksumOffset, Checksum(block));
}

std::string Caption() {
  std::lock_guard<std::mutex> lock(g_captionMutex);
  return g_caption;
}

}  // namespace

void assertXL(const char* condition, const char* unit, const char* date, int line) {
  (void)condition;  // kept for debuggers; the user sees unit, line and date
  TakeLock();
  if (IsIgnored(unit, line)) return;
  char text[1024];
  std::snprintf(text, sizeof text, kReportFormat, unit, line, date);
  int answer = MessageBoxOnOwnThread(
      text, Caption(),
      MB_YESNOCANCEL | MB_ICONSTOP | MB_DEFBUTTON2 | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND);
  if (answer == IDYES) {
    AddToIgnoreList(unit, line);
  } else if (answer != IDNO) {
    std::_Exit(-1);
  }
}

void assertXL_unlock() {
  if (g_reportLock.exchange(0) != 1) MessageBox("assertXL_unlock() error", "", MB_OK);
}

void SetAssertXLCaption(const std::string& commandLine) {
  std::lock_guard<std::mutex> lock(g_captionMutex);
  g_caption = commandLine;
}

int MessageBoxOnOwnThread(const std::string& text, const std::string& caption, unsigned flags) {
  int answer = IDCANCEL;
  try {
    std::thread shower([&] { answer = MessageBox(text, caption, flags); });
    shower.join();
  } catch (const std::system_error&) {
    Beep(1000, 1000);
    answer = MessageBox(text, caption, flags);
  }
  return answer;
}

unsigned char* AssertXLIgnoreListForTest() { return g_ignoreList; }

void ResetAssertXLForTest() {
  std::free(g_ignoreList);
  g_ignoreList = nullptr;
  g_reportLock.store(0);
}

}  // namespace gq
