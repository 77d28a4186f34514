// The run-time consistency check of the program. Where code finds a state that must
// not happen it reports through assertXL, naming the check point by source unit and
// line; the user may ignore that point for the rest of the run (Yes), this time (No),
// or end the program (Cancel). Reports may come from any thread: a process-wide spin
// lock (20 ms sleeps) serialises them, and the box is shown from a thread of its own.
// Check points chosen for ignoring live in a self-checking heap block (see .cpp).
#pragma once

#include <string>

namespace gq {

// Takes the report lock, then asks the user unless the check point is ignored.
// Returns with the lock held: every call is followed by assertXL_unlock().
void assertXL(const char* condition, const char* unit, const char* date, int line);

// Releases the report lock; a lock that was not held shows "assertXL_unlock() error".
void assertXL_unlock();

// The caption of the report box: the process's full command line.
void SetAssertXLCaption(const std::string& commandLine);

// Shows a box from a new thread and waits for it; if no thread can be made, beeps
// 1000 Hz for 1000 ms and shows it on the calling thread. Returns the button pressed.
int MessageBoxOnOwnThread(const std::string& text, const std::string& caption, unsigned flags);

// The ignore-list block, for tests that check its self-checking (null when empty).
unsigned char* AssertXLIgnoreListForTest();
// Forgets the ignore list (tests only; the block is freed).
void ResetAssertXLForTest();

}  // namespace gq

// Reports the failed condition under the given source unit name.
#define ASSERT_XL(condition, unit)                          \
  do {                                                      \
    if (!(condition)) {                                     \
      ::gq::assertXL(#condition, unit, __DATE__, __LINE__); \
      ::gq::assertXL_unlock();                              \
    }                                                       \
  } while (0)
