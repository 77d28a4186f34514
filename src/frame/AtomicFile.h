// A result file that readers only ever see old or complete: the text is written to a
// temporary file ("AtomicFile*.txt" in the temporary folder), and commit replaces the
// target with it in one rename after an fsync. The file gets the mode a new file of the
// user gets (0666 less the umask). With an empty target, commit copies the text to
// standard output instead. Short-lived; owned by the operation that writes a
// result; one thread at a time.
#pragma once

#include <cstdio>
#include <string>

namespace gq {

class AtomicFile {
 public:
  // target: the file to replace at commit; empty = standard output.
  explicit AtomicFile(std::string target);
  ~AtomicFile();  // commits when still open
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // The open temporary file, created on first call; null when it cannot be created.
  FILE* Open();
  // The descriptor of the temporary file, flushed (for writers that use a command
  // stream); -1 when none can be created.
  int Descriptor();
  // Closes and deletes the temporary file; the target is untouched.
  void Discard();
  // Closes the temporary file and replaces the target (or copies to standard output
  // and deletes it). False when nothing was open or a step failed; then the target
  // is untouched and the temporary file is gone.
  bool Commit();

  const std::string& Target() const { return m_Target; }
  // Why the last Open or Commit failed ("can't replace <target>: <reason>").
  const std::string& Error() const { return m_Error; }
  const std::string& TemporaryPath() const { return m_TemporaryPath; }

 private:
  bool ReplaceTarget();
  bool CopyToStandardOutput();

  FILE* m_File = nullptr;
  std::string m_TemporaryPath;
  std::string m_Target;
  std::string m_Error;
};

// Tells on standard error that the file's target was not written, and why: a scripted
// caller that finds no result file learns nothing else.
void ReportLostResultFile(const AtomicFile& file);

// The system's temporary folder ($TMPDIR or /tmp), without a trailing "/".
std::string TemporaryFolder();

}  // namespace gq
