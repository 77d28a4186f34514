#include "app/ProgramHost.h"

#include <sys/stat.h>

#include <cstdio>

#include "base/FileKind.h"
#include "db/DatabaseOps.h"
#include "base/Text.h"
#include "base/Words.h"
#include "loading/OpenPath.h"
#include "platform/MessageBox.h"
#include "remote/LocalQuery.h"
#include "signature/CriteriaFile.h"

namespace gq {
namespace {

constexpr int kShutDownStopMs = 1000;
// Posted by the hand-off receiver, so that the box never holds up the answer the
// later start waits for.
constexpr unsigned kMsgCriteriaFileUnreadable = kMessageBase + 0x100;

void ReportCriteriaFileUnreadable() {
  MessageBox("Can't read criterias file.", kProgramCaption, MB_OK | MB_ICONERROR);
}

}  // namespace

ProgramHost::ProgramHost(MessageHost& host) : m_Host(host), m_LoadingHost(m_Db, m_Status) {
  m_Db.Host().statusText = [this](const std::string& text, int holdMs) {
    m_Status.Show(text, holdMs);
  };
  m_Engine = std::make_unique<SearchEngine>(m_Db);
  m_Loader = std::make_unique<Loader>(std::make_shared<WindowSink>(m_Host.Target()), 0);
  m_Loader->discardQueued = [this] { LoadingHost::DiscardQueuedHandOvers(m_Host.Window()); };
  m_Db.Host().stopLoading = [this](int ms) { return m_Loader->Stop(false, ms); };
  m_LoadingHost.Install(m_Host);
  m_Remote = std::make_unique<RemoteContext>(
      RemoteContext{m_Db, *m_Engine, [this](ImageRecord* record) {
                      return m_LoadingHost.OnRecordLoaded(reinterpret_cast<intptr_t>(record)) == 1;
                    }});
  InstallRemoteHandlers(m_Host, *m_Remote);
  m_Host.SetHandler(kMsgCopyData, [this](unsigned, uintptr_t wParam, intptr_t lParam) {
    return OnCopyData(wParam, *reinterpret_cast<const CopyData*>(lParam));
  });
  m_Host.SetHandler(kMsgCriteriaFileUnreadable, [](unsigned, uintptr_t, intptr_t) {
    ReportCriteriaFileUnreadable();
    return intptr_t{0};
  });
}

ProgramHost::~ProgramHost() {
  m_Server.reset();
  m_Channel.Stop();
  m_Loader.reset();
  m_Engine.reset();
}

bool ProgramHost::Start(const ParsedCommand& parsed) {
  if (!g_criteriaFilePath.empty()) {
    if (!LoadCriteriaFile(g_criteriaFilePath)) ReportCriteriaFileUnreadable();
    g_criteriaFilePath.clear();
  }
  std::string why;
  if (!g_instanceName.empty() && !m_Channel.Start(g_mainWindowClassName, m_Host.Target(), &why)) {
    std::fprintf(stderr, "GlimmerQuorum: later starts cannot hand over to this instance: %s\n",
                 why.c_str());
  }
  if (!parsed.databasePath.empty()) OpenDatabaseOption(parsed.databasePath);
  if (parsed.rest.find_first_not_of(' ') != std::string::npos) {
    OpenPath(m_Db, *m_Loader, parsed.rest, !parsed.databasePath.empty());
  }
  if (parsed.serverPort != 0) {
    m_Server = std::make_unique<Server>(m_Host.Target(), g_instanceName);
    m_Server->Start(parsed.serverPort);
  }
  return true;
}

void ProgramHost::OpenDatabaseOption(const std::string& option) {
  std::string path = NormalizePath(option);
  if (IsFolder(path)) path = NormalizePath(path + "/tmp");
  if (!EndsWithNoCase(path, ".gqdb")) path = NormalizePath(path + ".gqdb");
  if (IsFile(path)) {
    OpenPath(m_Db, *m_Loader, "\"" + path + "\"", false);
  } else {
    m_Db.File().SetName(path);
  }
}

bool ProgramHost::LoadCriteriaFile(const std::string& path) {
  Criteria criteria;
  if (!ReadCriteriaFile(path, &criteria)) return false;
  SetCurrentCriteria(criteria);
  return true;
}

void ProgramHost::ShutDown() {
  m_Server.reset();
  m_Channel.Stop();
  m_Loader->Stop(false, kShutDownStopMs);
  CloseDatabase(m_Db, false);
}

intptr_t ProgramHost::OnCopyData(uintptr_t wParam, const CopyData& block) {
  HandOffRequest request;
  if (!ParseHandOff(static_cast<uint32_t>(wParam), block.tag, block.data, g_instanceName,
                    &request)) {
    return 0;
  }
  if (request.query) {
    LocalQuery(request.queryText, request.criteriaFile, *m_Remote);
    return 1;
  }
  g_selectFlag = request.select;
  g_activateFlag = request.activate;
  if (!request.criteriaFile.empty() && !LoadCriteriaFile(request.criteriaFile)) {
    m_Host.Target().Post(kMsgCriteriaFileUnreadable);
  }
  if (!request.deletePath.empty()) {
    if (ImageRecord* record = m_Db.FindByPath(request.deletePath)) {
      m_Db.RemoveRecord(record);
      if (m_Db.Host().changeListener) m_Db.Host().changeListener();
    }
    return 1;
  }
  g_countBeforeHandOff = m_Db.Count();
  if (request.rest.find_first_not_of(' ') != std::string::npos) {
    OpenPath(m_Db, *m_Loader, request.rest, true);
  }
  return 1;
}

}  // namespace gq
