#include "ui/ViewerDecoder.h"

#include "loading/LoadPicture.h"

namespace gq {

QImage DecodeForViewer(const std::string& path) {
  IplImage* image = LoadPicture(path.c_str(), 1);
  if (image == nullptr) return QImage();
  QImage picture;
  if (image->nChannels == 3) {
    const QImage view(reinterpret_cast<const uchar*>(image->imageData), image->width, image->height,
                      image->widthStep, QImage::Format_BGR888);
    picture = view.convertToFormat(QImage::Format_RGB32);
  }
  cvReleaseImage(&image);
  return picture;
}

ViewerDecoder::ViewerDecoder(Delivery deliver)
    : m_Deliver(std::move(deliver)), m_Thread([this] { Run(); }) {}

ViewerDecoder::~ViewerDecoder() {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Stopping = true;
  }
  m_Changed.notify_all();
  m_Thread.join();
}

void ViewerDecoder::Request(ViewerRequest request) {
  {
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Pending = std::move(request);
  }
  m_Changed.notify_all();
}

void ViewerDecoder::Run() {
  std::unique_lock<std::mutex> lock(m_Mutex);
  for (;;) {
    m_Changed.wait(lock, [this] { return m_Stopping || m_Pending.has_value(); });
    if (m_Stopping) return;
    const ViewerRequest request = std::move(*m_Pending);
    m_Pending.reset();
    lock.unlock();
    ViewerPicture picture = Serve(request);
    m_Deliver(std::move(picture));
    lock.lock();
  }
}

ViewerPicture ViewerDecoder::Serve(const ViewerRequest& request) {
  if (request.reset || request.path != m_CachedPath) {
    m_Cached = QImage();  // the old picture goes before the new one is decoded
    m_Cached = DecodeForViewer(request.path);
    m_CachedPath = request.path;
    ++m_Decodes;
  }
  ViewerPicture result;
  result.path = request.path;
  result.picture = m_Cached;
  result.clientWidth = request.clientWidth;
  result.clientHeight = request.clientHeight;
  result.doNotZoom = request.doNotZoom;
  result.place = PictureTarget(m_Cached.width(), m_Cached.height(), request.clientWidth,
                               request.clientHeight, request.doNotZoom);
  const QSize size(result.place.width, result.place.height);
  if (m_Cached.isNull() || size.isEmpty() || size == m_Cached.size()) {
    result.scaled = m_Cached;
  } else {
    result.scaled = m_Cached.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  return result;
}

}  // namespace gq
