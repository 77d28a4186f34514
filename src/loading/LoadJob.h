// One load job on its loader thread: walks its input (through the input walker), checks
// each file, has it decoded by the job's decoding pool, and hands the finished records
// over in walk order. A counter thread beside it counts the same input. Made by the
// Loader (or run on the calling thread in remote mode); internal to loading.
#pragma once

#include <sys/stat.h>

#include <deque>
#include <memory>
#include <set>
#include <string>

#include "loading/DecodePool.h"
#include "loading/InputWalker.h"
#include "loading/Loader.h"

namespace gq {

class LoadJob : private InputVisitor {
 public:
  LoadJob(std::shared_ptr<LoadSink> sink, int workers, JobInput input);
  // The whole job, on its loader thread.
  void Run();

 private:
  // The visits of the walk.
  bool GoOn() override;
  void File(const std::string& path, LoadMode mode, bool walked) override;
  void Refused(const std::string& text, bool beep) override;
  void UpdateDirective() override;
  bool FileCount(int count) override;

  // Waits briefly for the counters, then shows "Updating...".
  void StartUpdating();
  // walked: found in a folder, where a symbolic link counts as a link file.
  void LoadOneFile(std::string path, LoadMode mode, bool walked);
  // A link file: replaces path by its target and info by its facts; false (reported)
  // when the target is missing or a folder.
  bool ResolveLink(std::string* path, LoadMode mode, struct stat* info);

  // A status text in walk order: everything before it is handed over first.
  void StatusInOrder(const std::string& text, int holdMs);

  void Dispatch(std::shared_ptr<DecodedFile> task);
  // Completes the finished tasks at the head of the pipeline (all of them with wait).
  void CompleteReady(bool wait);
  void Complete(const std::shared_ptr<DecodedFile>& task);
  void Drain() { CompleteReady(true); }
  bool HandOver(ImageRecord* record);

  std::shared_ptr<LoadSink> m_Sink;
  JobInput m_Input;
  InputWalker m_Walker{*this};
  DecodePool m_Pool;
  size_t m_MaxInFlight;
  std::deque<std::shared_ptr<DecodedFile>> m_InFlight;  // walk order
  std::multiset<std::string> m_InFlightPaths;
};

}  // namespace gq
