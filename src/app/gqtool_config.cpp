// gqtool config: reads and writes the settings a user of the tool may need, in the
// user's settings file, without hand-editing it.
#include <mutex>

#include "app/ToolSettings.h"
#include "app/gqtool.h"
#include "loading/ImportFilter.h"
#include "platform/RegStore.h"

namespace gq {
namespace {

int Usage(std::ostream& err) {
  err << "gqtool config: usage: gqtool config get NAME | gqtool config set NAME VALUE (NAME: "
      << ToolSettingNames() << ")\n";
  return 2;
}

// Writes one value into the settings file (which the tool's start created when it was
// missing); every other line of the file stays as it was.
bool StoreSetting(const ToolSetting& setting, const std::string& value, std::ostream& err) {
  const std::string path = RegStore::DefaultPath();
  RegStore store;
  if (!store.Load(path)) {
    err << "gqtool config: cannot read " << path << "\n";
    return false;
  }
  store.SetString(setting.name, value);
  if (store.Save(path)) return true;
  err << "gqtool config: cannot write " << path << "\n";
  return false;
}

}  // namespace

int RunConfigCommand(const ToolArguments& args, std::ostream& out, std::ostream& err) {
  const bool get = args.size() == 2 && args[0] == "get";
  const bool set = args.size() == 3 && args[0] == "set";
  if (!get && !set) return Usage(err);
  const ToolSetting* setting = FindToolSetting(args[1]);
  if (setting == nullptr) {
    err << "gqtool config: unknown setting \"" << args[1] << "\" (known: " << ToolSettingNames()
        << ")\n";
    return 2;
  }
  std::lock_guard<std::mutex> lock(ImportFilterLock());
  if (get) {
    out << g_settings.*setting->value << "\n";
    return 0;
  }
  std::string stored;
  std::string problem;
  if (!setting->accept(args[2], &stored, &problem)) {
    err << "gqtool config: " << setting->name << " " << problem << "\n";
    return 2;
  }
  if (!StoreSetting(*setting, stored, err)) return 1;
  g_settings.*setting->value = stored;
  return 0;
}

}  // namespace gq
