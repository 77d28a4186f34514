// GlimmerQuorum: the program. Wires the subsystems into the entry's hooks and runs the
// Qt host when a display can be had, the headless host otherwise.
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramHost.h"
#include "app/ProgramWindow.h"
#include "frame/Entry.h"
#include "frame/HandOff.h"
#include "remote/ClientRequest.h"
#include "ui/QtHost.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<gq::ProgramHost> program;
  std::unique_ptr<gq::MainWindow> window;
  gq::ProgramHooks hooks;
  hooks.parse.handOver = gq::SendHandOff;
  hooks.parse.clientRequest = gq::RunClientRequest;
  hooks.makeHost = []() -> std::unique_ptr<gq::MessageHost> {
    if (gq::QtHost::DisplayAvailable()) return std::make_unique<gq::QtHost>();
    return std::make_unique<gq::HeadlessHost>();
  };
  hooks.startProgram = [&](const gq::ParsedCommand& parsed, gq::MessageHost& host) {
    program = std::make_unique<gq::ProgramHost>(host);
    if (dynamic_cast<gq::QtHost*>(&host)) {
      window = gq::OpenProgramWindow(*program, host, parsed.minimize);
    }
    return program->Start(parsed);
  };
  hooks.shutDown = [&] {
    if (program) program->ShutDown();
    // The window refers to the program's database and the program to the host: the
    // window goes first, then the program, while the host still exists.
    window.reset();
    program.reset();
  };
  return gq::ProgramEntry(arguments, hooks);
}
