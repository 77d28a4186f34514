#include "loading/LoadPicture.h"

#include <mutex>

#include "frame/Settings.h"
#include "loading/ImportFilter.h"
#include "loading/OpenCvHighGui/loadsave.h"

namespace gq {

IplImage* LoadPicture(const char* path, int colour) {
  IplImage* image = nullptr;
  {
    std::lock_guard<std::mutex> lock(ImportFilterLock());
    if (path != nullptr && !g_settings.importCommand.empty() && !g_settings.importTypes.empty() &&
        ExtensionInTypeList(path, g_settings.importTypes))
      image = RunImportFilter(path, colour, g_settings.importCommand, nullptr);
  }
  if (image != nullptr) return image;

  image = cvLoadImage(path, colour);
  if (image != nullptr) {
    if (image->origin == IPL_ORIGIN_BL && cvFlip(image, nullptr, 0) != CV_StsOk)
      cvReleaseImage(&image);
    return image;
  }

  std::lock_guard<std::mutex> lock(ImportFilterLock());
  if (path != nullptr && *path != '\0' && !g_settings.importCommand.empty() &&
      g_settings.importTypes.empty())
    image = RunImportFilter(path, colour, g_settings.importCommand, nullptr);
  return image;
}

}  // namespace gq
