#include "ui/ViewerRules.h"

namespace gq {

PictureRect PictureTarget(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight,
                          bool doNotZoom) {
  if (pictureWidth <= 0 || pictureHeight <= 0 || clientWidth <= 0 || clientHeight <= 0) return {};
  const int64_t w = pictureWidth, h = pictureHeight, cw = clientWidth, ch = clientHeight;
  PictureRect fit;
  if (h * cw < w * ch) {
    fit = {0, 0, clientWidth, static_cast<int>(h * cw / w)};
    fit.y = (clientHeight - fit.height) / 2;
  } else {
    fit = {0, 0, static_cast<int>(w * ch / h), clientHeight};
    fit.x = (clientWidth - fit.width) / 2;
  }
  if (doNotZoom && (pictureWidth < fit.width || pictureHeight < fit.height)) {
    return {(clientWidth - pictureWidth) / 2, (clientHeight - pictureHeight) / 2, pictureWidth,
            pictureHeight};
  }
  return fit;
}

std::string ViewerTitle(const std::string& path, uint64_t fileBytes) {
  return "GlimmerQuorum - " + path + " " + std::to_string((fileBytes + 1023) / 1024) + " KB";
}

std::optional<ViewerAction> ActionForCommand(int command, std::optional<ViewerKind> visible,
                                             ViewerKind last) {
  switch (command) {
    case kCmdPictureInWindow:
      if (visible == ViewerKind::kFramed) return ViewerAction{true};
      return ViewerAction{false, ViewerKind::kFramed};
    case kCmdPictureFullscreen:
      if (visible == ViewerKind::kFullScreen) return ViewerAction{true};
      return ViewerAction{false, ViewerKind::kFullScreen};
    case kCmdPictureToggle:
      if (visible) return ViewerAction{true};
      return ViewerAction{false, last};
    case kCmdPictureSwitchKind:
      return ViewerAction{false, visible == ViewerKind::kFullScreen ? ViewerKind::kFramed
                                                                    : ViewerKind::kFullScreen};
    default:
      return std::nullopt;
  }
}

}  // namespace gq
