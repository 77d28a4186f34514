// The picture viewer's decode worker: one thread of its own that decodes picture files
// and scales them (smoothly) to the rectangle they are shown in, so that neither ever
// blocks the user-interface thread. Only the newest request counts: a request that a
// newer one overtakes before its decode starts is dropped unseen. The last decoded
// picture is cached here and never leaves the worker (only its scaled copy does), so
// asking again for the same file (another window size, the zoom switched) only scales
// it again, and the next picture of the same size is decoded into the same memory. Request,
// DecodeCount and the destructor are called on one thread (the user-interface thread); the delivery
// runs on the worker thread and must hand the picture over (a queued call), never touch widgets
// itself.
#pragma once

#include <QImage>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "ui/ViewerRules.h"

namespace gq {

struct ViewerRequest {
  std::string path;
  int clientWidth = 0;  // the client area the picture is shown in
  int clientHeight = 0;
  bool doNotZoom = true;
  bool reset = false;  // decode the file again even when it is the cached one
};

// A decoded picture scaled for one client area.
struct ViewerPicture {
  std::string path;
  QSize size;           // the decoded picture's size; empty when it cannot be decoded
  QImage scaled;        // the picture scaled to place
  PictureRect place;    // where scaled goes in the client area
  int clientWidth = 0;  // the client area scaled was made for
  int clientHeight = 0;
  bool doNotZoom = true;
};

class ViewerDecoder {
 public:
  using Delivery = std::function<void(ViewerPicture picture)>;

  // Starts the worker; deliver receives each served request's picture in order.
  explicit ViewerDecoder(Delivery deliver);
  // Stops the worker: a decode under way runs to its end (nothing more is delivered
  // after this returns), then the thread is joined.
  ~ViewerDecoder();
  ViewerDecoder(const ViewerDecoder&) = delete;
  ViewerDecoder& operator=(const ViewerDecoder&) = delete;

  // Replaces any request that has not started yet.
  void Request(ViewerRequest request);
  // How many files have been decoded so far.
  int DecodeCount() const { return m_Decodes.load(); }

 private:
  void Run();
  ViewerPicture Serve(const ViewerRequest& request);

  const Delivery m_Deliver;
  std::mutex m_Mutex;
  std::condition_variable m_Changed;
  std::optional<ViewerRequest> m_Pending;  // guarded by m_Mutex
  bool m_Stopping = false;                 // guarded by m_Mutex
  std::atomic<int> m_Decodes{0};
  std::string m_CachedPath;    // worker thread only
  QImage m_Cached;             // worker thread only; never shared, so it is reused
  bool m_CachedValid = false;  // worker thread only: m_Cached holds m_CachedPath
  std::thread m_Thread;        // last: starts when everything else is ready
};

// Decodes a picture file as colour through the program's picture loader into picture
// (32 bits a pixel), reusing its memory when it is unshared and of the same size;
// false when the file cannot be read. Any thread.
bool DecodeForViewer(const std::string& path, QImage& picture);

}  // namespace gq
