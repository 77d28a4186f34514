// A named mutex between processes of this user: an flock on a lock file in the
// program's private runtime folder ($XDG_RUNTIME_DIR/GlimmerQuorum, or
// /tmp/GlimmerQuorum-<uid>, mode 0700). "Already existed" means another live process
// holds it; the operating system releases it when the holder ends.
#pragma once

#include <string>

namespace gq {

// The private runtime folder, created with mode 0700 when missing; empty when it
// cannot be made or is not owned by this user with mode 0700.
std::string RuntimeFolder();

// The short private folder /tmp/GlimmerQuorum-<uid> (same rules), for paths that must
// stay short (socket addresses) and as the fallback of RuntimeFolder.
std::string ShortRuntimeFolder();

// A file name for an arbitrary name, different for different names: "%", "/", control
// bytes and a leading "." become "%XX". An encoding longer than maxBytes keeps its
// first part and ends in "%h" and a 64-bit hash of the whole name.
std::string EncodeFileName(const std::string& name, size_t maxBytes = 200);

class NamedMutex {
 public:
  enum class Result { Created, AlreadyExisted, Failed };

  NamedMutex() = default;
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the mutex for the life of this object (or of the process).
  Result Create(const std::string& name);
  void Release();

 private:
  int m_Fd = -1;
};

}  // namespace gq
