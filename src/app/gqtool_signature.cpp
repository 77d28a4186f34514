#include <cstdint>

#include "app/gqtool.h"
#include "loading/LoadPicture.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

// Loads one picture and prints its two lines; returns false after printing the error line.
bool PrintSignature(const std::string& path, std::ostream& out) {
  IplImage* image = LoadPicture(path.c_str(), 1);
  if (image == nullptr) {
    out << "error: cannot read picture \"" << path << "\"\n";
    return false;
  }
  PackedImage thumbnail;
  const bool made =
      MakeThumbnail(image->width, image->height, image->widthStep,
                    reinterpret_cast<const uint8_t*>(image->imageData), kThumbnailSide, &thumbnail);
  const int pictureWidth = image->width;
  const int pictureHeight = image->height;
  cvReleaseImage(&image);
  if (!made || thumbnail.width <= 2 || thumbnail.height <= 2) {
    out << "error: picture too small \"" << path << "\"\n";
    return false;
  }
  Signature signature{};
  ComputeSignature(thumbnail.width, thumbnail.height, thumbnail.pixels.data(), pictureWidth,
                   pictureHeight, signature.data());
  out << "thumb " << thumbnail.width << ' ' << thumbnail.height << '\n';
  for (int i = 0; i < kComputedSignatureLength; ++i) out << (i ? " " : "") << signature[i];
  out << '\n';
  return true;
}

}  // namespace

int RunSignatureCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << "gqtool signature: no picture given; usage: gqtool signature FILE...\n";
    return 2;
  }
  bool allRead = true;
  for (const std::string& path : args) allRead = PrintSignature(path, out) && allRead;
  out.flush();
  return allRead ? 0 : 1;
}

}  // namespace gq
