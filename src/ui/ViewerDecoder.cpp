#include "ui/ViewerDecoder.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "loading/LoadPicture.h"

namespace gq {

namespace {

// Converts into the 32-bit picture that Qt paints and scales fastest (its bytes are
// blue, green, red, 255); OpenCV does it several times faster than QImage.
bool ToRgb32(const IplImage& image, QImage& picture) {
  if (image.nChannels != 3) return false;
  if (picture.size() != QSize(image.width, image.height)) {
    picture = QImage();  // the old buffer goes before the new one is had
    picture = QImage(image.width, image.height, QImage::Format_RGB32);
    if (picture.isNull()) return false;
  }
  try {
    const cv::Mat bgr(image.height, image.width, CV_8UC3, image.imageData, image.widthStep);
    cv::Mat bgra(image.height, image.width, CV_8UC4, picture.bits(), picture.bytesPerLine());
    cv::cvtColor(bgr, bgra, cv::COLOR_BGR2BGRA);
  } catch (const cv::Exception&) {
    return false;
  }
  return true;
}

}  // namespace

bool DecodeForViewer(const std::string& path, QImage& picture) {
  IplImage* image = LoadPicture(path.c_str(), 1);
  if (image == nullptr) return false;
  const bool decoded = ToRgb32(*image, picture);
  cvReleaseImage(&image);
  return decoded;
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
    m_CachedValid = DecodeForViewer(request.path, m_Cached);
    m_CachedPath = request.path;
    ++m_Decodes;
  }
  ViewerPicture result;
  result.path = request.path;
  result.clientWidth = request.clientWidth;
  result.clientHeight = request.clientHeight;
  result.doNotZoom = request.doNotZoom;
  if (!m_CachedValid) return result;
  result.size = m_Cached.size();
  result.place = PictureTarget(m_Cached.width(), m_Cached.height(), request.clientWidth,
                               request.clientHeight, request.doNotZoom);
  const QSize size(result.place.width, result.place.height);
  if (size == m_Cached.size()) {
    result.scaled = m_Cached.copy();  // a copy: the cached buffer must stay unshared
  } else if (!size.isEmpty()) {
    result.scaled = m_Cached.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  return result;
}

}  // namespace gq
