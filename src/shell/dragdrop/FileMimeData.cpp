#include "shell/dragdrop/FileMimeData.h"

#include <QByteArray>

#include "shell/dragdrop/RenderData.h"

namespace gq {
namespace {

QByteArray Bytes(const std::string& text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QMimeData* MakeDragMimeData(const ZeroSepFileList& list) {
  auto* data = new QMimeData;
  data->setData("text/uri-list", Bytes(RenderUriList(list)));
  return data;
}

QMimeData* MakeClipboardMimeData(const ZeroSepFileList& list, bool cut) {
  QMimeData* data = MakeDragMimeData(list);
  data->setData("text/plain", Bytes(RenderText(list)));
  data->setData("x-special/gnome-copied-files", Bytes(RenderGnomeCopiedFiles(list, cut)));
  data->setData("application/x-kde-cutselection", Bytes(RenderKdeCutSelection(cut)));
  return data;
}

}  // namespace gq
