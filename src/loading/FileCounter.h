// The counter of a load job: walks the job's input as the loader does and adds one to
// the shared total for each file it meets (or a list's "!filecount=" number, which ends
// the counting of that list), so that progress shows as a fraction. Started by its load
// job on a counter thread of its own, which it alone uses; it shares only the loader's
// atomic state and the sink.
#pragma once

#include <memory>

#include "loading/InputWalker.h"
#include "loading/LoadSink.h"

namespace gq {

class FileCounter : private InputVisitor {
 public:
  FileCounter(std::shared_ptr<LoadSink> sink, JobInput input)
      : m_Sink(std::move(sink)), m_Input(std::move(input)) {}
  // The whole count, with its status texts and the active-counter count around it.
  void Run();

 private:
  bool GoOn() override;
  void File(const std::string& path, LoadMode mode, bool walked) override;
  void Refused(const std::string& text, bool beep) override;
  void UpdateDirective() override;
  bool FileCount(int count) override;

  std::shared_ptr<LoadSink> m_Sink;
  JobInput m_Input;
};

}  // namespace gq
