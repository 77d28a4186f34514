// Loading pictures in the background. A job walks a file, a folder, a text list, a set
// of named paths or the records of an update on a loader thread, with a counter thread
// beside it that counts the files for the progress fraction. For each file the loader
// asks the sink whether it is new or changed, has it decoded, thumbnailed and signed by
// a pool of worker threads, and hands the finished records to the sink in walk order,
// so that running numbers, status texts and hand-overs come exactly as one loader
// thread would make them. The Loader object lives on the user-interface thread, which
// starts, pauses and stops jobs; it owns the job threads and joins them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loading/LoadSink.h"

namespace gq {

// Shared by every job, the window and the progress display.
struct LoaderState {
  std::atomic<int> activeLoaders{0};
  std::atomic<int> activeCounters{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> pause{false};
  std::atomic<bool> updateRunning{false};
  std::atomic<int> total{0};   // files the counters found
  std::atomic<int> done{0};    // files the loaders started
  std::atomic<int> failed{0};  // files that could not be loaded; only tools reset it

  // done / total, clamped to 0..1 (0 while total is 0).
  double Progress() const;
};

extern LoaderState g_LoaderState;

// Waits while the pause flag is set, showing "Loading paused." and then "Loading
// resumed..." through sink; beforePause (when given) runs first. False when the job must
// end (the stop flag is set). Called by the loader and counter threads.
bool WaitWhilePaused(LoadSink& sink, const std::function<void()>& beforePause);

// Per-file mode.
enum LoadMode { kModeExplicit = 0, kModeBatch = 1, kModeUpdate = 2 };

// The path message of a failure: prefix, path, "\".".
std::string PathMessage(const char* prefix, const std::string& path);
// The message of a list line the loader refuses: "List line <number> <what>: \"<list>\".".
std::string ListLineMessage(int number, const char* what, const std::string& list);
// Whether a status text reports a file or folder that could not be loaded.
bool IsLoadErrorText(const std::string& text);

// The decoding threads of a job for a requested number: one per core when none is
// asked for, and never more than four per core.
int DecodeWorkers(int requested);

// Removes the temporary lists ("loadlist*.txt", "pastelist*.txt", "updatelist*.txt")
// that runs ended by force left in the temporary folder: those of this user that were
// last changed an hour ago or earlier. Called when a loader is made.
void RemoveStaleTemporaryLists();

// Runs a path job on the calling thread with the given sink (remote mode: the command
// line client hands its files to a server; no window and no loader thread exist).
// Returns when the job ended; false when it was stopped (for instance by the sink).
bool RunPathJobHere(std::shared_ptr<LoadSink> sink, const std::string& path, int workers);

struct JobInput;

class Loader {
 public:
  // workers: decoding threads per job (as DecodeWorkers gives them).
  Loader(std::shared_ptr<LoadSink> sink, int workers);
  // Stops every job, handling sent messages meanwhile for up to 1000 ms, and joins the
  // jobs that ended; a job that does not end (stuck in a system call) is left to run
  // out on its own, holding what it uses.
  ~Loader();
  Loader(const Loader&) = delete;
  Loader& operator=(const Loader&) = delete;

  // The Start functions return false when the job's thread cannot be created (nothing
  // runs then, and no end message comes).
  // A file, folder or list.
  bool StartPathJob(const std::string& path);
  // A set of paths named at once (dropped, or given as arguments), each as a path job's.
  bool StartDropJob(std::vector<std::string> paths);
  // An update job: the files (or folders) of the records to check, each in update
  // mode and never read as a list; the update-finished message comes at its end.
  bool StartUpdateJob(std::vector<std::string> paths);

  // Stops every job (asking "Loading still in progress. Stop?" first when ask is set).
  // Waits up to 5000 ms, handling the messages the loaders send; records handed over
  // by posted message meanwhile are destroyed through discardQueued. False when the
  // user said No or the loaders did not end ("Could not stop loading." is shown).
  bool Stop(bool ask, int timeoutMs = 5000);
  void SetPause(bool paused);
  bool IsLoading() const;

  // Removes records queued for the window by posted message (set by the host).
  std::function<void()> discardQueued;

 private:
  bool Launch(JobInput input);
  void JoinFinished();

  std::shared_ptr<LoadSink> m_Sink;
  int m_Workers;
  struct JobThread {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  std::list<JobThread> m_Jobs;  // user-interface thread only
};

}  // namespace gq
