// The picture viewer's rules that need no window: where a picture goes in the client
// area, the framed window's title, and what the main window's viewer commands do with
// the viewer's visibility. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace gq {

// The viewer's two windows.
enum class ViewerKind { kFramed, kFullScreen };

// Commands of the main window that drive the viewer.
inline constexpr int kCmdPictureToggle = 33843;      // Space
inline constexpr int kCmdPictureFullscreen = 33845;  // Shift+Space in the View menu
inline constexpr int kCmdPictureInWindow = 33846;
inline constexpr int kCmdPictureSwitchKind = 33847;  // Shift+Space
inline constexpr int kCmdZoomSmallPictures = 33883;  // Shift+Z

struct PictureRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const PictureRect&) const = default;
};

// The rectangle of a picture of pictureWidth x pictureHeight in a client area: fitted
// into it keeping the aspect (centred in the direction with room left); with doNotZoom
// a picture smaller than its fitted size in either direction keeps its own size,
// centred both ways. Empty for an empty picture or client area.
PictureRect PictureTarget(int pictureWidth, int pictureHeight, int clientWidth, int clientHeight,
                          bool doNotZoom);

// "GlimmerQuorum - " + path + " N KB", N the file size in KiB rounded up.
std::string ViewerTitle(const std::string& path, uint64_t fileBytes);

// What a viewer command asks for: hide the viewer, or show it in a kind.
struct ViewerAction {
  bool hide = false;
  ViewerKind kind = ViewerKind::kFramed;
  bool operator==(const ViewerAction&) const = default;
};

// visible: the kind shown now, none while hidden; last: the kind used last. Nothing
// for a command that is not one of the four show commands.
std::optional<ViewerAction> ActionForCommand(int command, std::optional<ViewerKind> visible,
                                             ViewerKind last);

}  // namespace gq
