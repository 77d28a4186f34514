#include "loading/DecodePool.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <system_error>

#include "loading/LoadPicture.h"
#include "loading/OpenCvHighGui/decode_memory.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

void DecodeFile(DecodedFile* file) {
  DecodeMemoryHold hold;  // the picture's buffer counts until it is freed below
  IplImage* image = IsRegularFile(file->path) ? LoadPicture(file->path.c_str(), 1) : nullptr;
  if (!image) {
    file->result = DecodedFile::kUnreadable;
    return;
  }
  PackedImage thumbnail;
  bool made =
      MakeThumbnail(image->width, image->height, image->widthStep,
                    reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumbnail);
  file->pictureWidth = image->width;
  file->pictureHeight = image->height;
  cvReleaseImage(&image);
  if (!made || thumbnail.width <= 2 || thumbnail.height <= 2) {
    file->result = DecodedFile::kTooSmall;
    return;
  }
  int16_t signature[kSignatureLength] = {};
  ComputeSignature(thumbnail.width, thumbnail.height, thumbnail.pixels.data(), file->pictureWidth,
                   file->pictureHeight, signature);
  std::memcpy(file->signature, signature, sizeof file->signature);
  file->pixels = static_cast<uint8_t*>(std::malloc(thumbnail.pixels.size()));
  if (!file->pixels) {
    file->result = DecodedFile::kUnreadable;
    return;
  }
  std::memcpy(file->pixels, thumbnail.pixels.data(), thumbnail.pixels.size());
  file->thumbWidth = thumbnail.width;
  file->thumbHeight = thumbnail.height;
  file->result = DecodedFile::kDone;
}

DecodePool::DecodePool(int workers) {
  try {
    for (int i = 0; i < workers; ++i) m_Threads.emplace_back([this] { Work(); });
  } catch (const std::system_error&) {
    // The system gave fewer threads: work with those (or on the loader thread).
  }
}

DecodePool::~DecodePool() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Shutdown = true;
    for (auto& task : m_Queue) task->result = DecodedFile::kCancelled;
    m_Queue.clear();
  }
  m_Wake.notify_all();
  m_Done.notify_all();
  for (std::thread& thread : m_Threads) thread.join();
}

void DecodePool::Give(std::shared_ptr<DecodedFile> task) {
  if (m_Threads.empty()) {
    Decode(task);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Queue.push_back(std::move(task));
  }
  m_Wake.notify_one();
}

void DecodePool::Work() {
  for (;;) {
    std::shared_ptr<DecodedFile> task;
    {
      std::unique_lock<std::mutex> lock(m_Mutex);
      m_Wake.wait(lock, [&] { return m_Shutdown || !m_Queue.empty(); });
      if (m_Shutdown) return;
      task = m_Queue.front();
      m_Queue.pop_front();
    }
    Decode(task);
  }
}

void DecodePool::Decode(const std::shared_ptr<DecodedFile>& task) {
  DecodedFile result = *task;
  if (g_LoaderState.stop) {
    result.result = DecodedFile::kCancelled;
  } else {
    DecodeFile(&result);
  }
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    *task = result;
  }
  m_Done.notify_all();
}

void DecodePool::WaitFor(const std::shared_ptr<DecodedFile>& task) {
  std::unique_lock<std::mutex> lock(m_Mutex);
  m_Done.wait(lock, [&] { return task->result != DecodedFile::kPending; });
}

bool DecodePool::IsReady(const std::shared_ptr<DecodedFile>& task) {
  std::lock_guard<std::mutex> lock(m_Mutex);
  return task->result != DecodedFile::kPending;
}

}  // namespace gq
