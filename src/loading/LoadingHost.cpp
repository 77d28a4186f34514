#include "loading/LoadingHost.h"

#include <cstring>

#include "db/BusyScope.h"
#include "frame/Messages.h"
#include "platform/ShellLink.h"

namespace gq {

void LoadingHost::Install(MessageHost& host) {
  host.SetHandler(MsgStatusText,
                  [this](unsigned, uintptr_t w, intptr_t l) { return OnStatusText(w, l); });
  host.SetHandler(MsgCheckKnownFile,
                  [this](unsigned, uintptr_t w, intptr_t l) { return OnCheckKnownFile(w, l); });
  host.SetHandler(MsgRecordLoaded,
                  [this](unsigned, uintptr_t, intptr_t l) { return OnRecordLoaded(l); });
  host.SetHandler(MsgLoadingDone,
                  [this](unsigned, uintptr_t w, intptr_t) { return OnLoadingDone(w != 0); });
  host.SetHandler(MsgUpdateDone,
                  [this](unsigned, uintptr_t w, intptr_t) { return OnUpdateDone(w != 0); });
  host.SetHandler(MsgResolveShellLink,
                  [this](unsigned, uintptr_t w, intptr_t l) { return OnResolveShellLink(w, l); });
}

intptr_t LoadingHost::OnStatusText(uintptr_t text, intptr_t holdMs) {
  return m_Status.Offer(reinterpret_cast<const char*>(text), static_cast<int>(holdMs));
}

intptr_t LoadingHost::OnCheckKnownFile(uintptr_t path, intptr_t fileTime) {
  bool load = m_Db.CheckFile(reinterpret_cast<const char*>(path), static_cast<int32_t>(fileTime));
  if (!load) ++m_Skipped;
  return load ? 1 : 0;
}

intptr_t LoadingHost::OnRecordLoaded(intptr_t record) {
  if (g_BusyCount > 0) return 0;  // the loader offers it again in 100 ms
  auto* taken = reinterpret_cast<ImageRecord*>(record);
  // A file found known before stays the last-loaded picture only when this is its reload.
  const ImageRecord* known = m_Db.FindByLfdNr(m_Db.m_LastCheckedLfdNr);
  const bool reload = known && known->m_Path == taken->m_Path;
  if (m_Db.FindByPath(taken->m_Path)) ++m_Replaced;
  {
    BusyScope busy;
    m_Db.AddRecord(taken, true);
  }
  m_Db.m_LastCheckedLfdNr = reload ? taken->m_LfdNr : -1;
  ++m_Added;
  return 1;
}

intptr_t LoadingHost::OnLoadingDone(bool stopped) {
  m_Status.Show(stopped ? "Stopped loading pictures." : "Finished loading pictures.", 0);
  if (onLoadingDone) onLoadingDone(stopped);
  return 0;
}

intptr_t LoadingHost::OnUpdateDone(bool stopped) {
  g_LoaderState.updateRunning = false;
  if (stopped) {
    m_Db.UnmarkAll();
  } else {
    m_Db.RemoveUnconfirmed();
  }
  m_Status.Show(stopped ? "Stopped updating." : "Finished updating.", 0);
  if (onUpdateDone) onUpdateDone(stopped);
  return 0;
}

intptr_t LoadingHost::OnResolveShellLink(uintptr_t buffer, intptr_t sizeAndFlag) {
  auto* path = reinterpret_cast<char*>(buffer);
  size_t size = static_cast<size_t>(sizeAndFlag / 2);
  std::string target;
  if (!ResolveShellLink(path, &target) || target.empty() || target.size() >= size) return -1;
  std::memcpy(path, target.c_str(), target.size() + 1);
  return 1;
}

void LoadingHost::DiscardQueuedHandOvers(MessageWindow& window) {
  Message message;
  while (window.Peek(&message, MsgRecordLoaded, MsgRecordLoaded, true)) {
    DestroyRecord(reinterpret_cast<ImageRecord*>(message.lParam));
  }
}

}  // namespace gq
