#include "platform/Process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/FullTransfer.h"

extern char** environ;

namespace gq {
namespace {

// Spawns argv in a process group of its own with stdin from /dev/null.
pid_t Spawn(const std::vector<std::string>& argv, std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    *error = "no program named";
    return -1;
  }
  std::vector<char*> args;
  for (const std::string& word : argv) args.push_back(const_cast<char*>(word.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t noSignals;
  sigemptyset(&noSignals);
  posix_spawnattr_setsigmask(&attributes, &noSignals);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    *error = std::string("cannot start ") + argv[0] + ": " + std::strerror(rc);
    return -1;
  }
  return pid;
}

void Reap(pid_t pid, ProcessResult* result) {
  int status = 0;
  RetryOnInterrupt([&] { return waitpid(pid, &status, 0); });
  if (!result->timedOut && WIFEXITED(status)) {
    result->exited = true;
    result->exitCode = WEXITSTATUS(status);
  }
}

}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, int timeoutMs) {
  ProcessResult result;
  pid_t pid = Spawn(argv, &result.error);
  if (pid < 0) return result;
  result.started = true;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto pause = std::chrono::microseconds(200);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
      }
      return result;
    }
    if (done < 0 && errno != EINTR) return result;
    if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    if (pause < std::chrono::milliseconds(10)) pause *= 2;
  }
  result.timedOut = true;
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  Reap(pid, &result);
  return result;
}

bool StartDetachedProcess(const std::vector<std::string>& argv, std::string* error) {
  std::string ignored;
  pid_t pid = Spawn(argv, error ? error : &ignored);
  if (pid < 0) return false;
  std::thread([pid] {
    ProcessResult unused;
    Reap(pid, &unused);
  }).detach();
  return true;
}

std::vector<std::string> SplitCommandWords(const std::string& commandTemplate) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : commandTemplate) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::vector<std::string> SubstitutePlaceholders(std::vector<std::string> words,
                                                const std::string& first,
                                                const std::string& second) {
  for (std::string& word : words) {
    std::string out;
    for (size_t i = 0; i < word.size(); ++i) {
      if (word[i] == '%' && i + 1 < word.size() && (word[i + 1] == '1' || word[i + 1] == '2')) {
        out += word[i + 1] == '1' ? first : second;
        ++i;
      } else {
        out += word[i];
      }
    }
    word = std::move(out);
  }
  return words;
}

}  // namespace gq
