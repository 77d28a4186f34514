// GlimmerQuorum: the program. Wires the subsystems into the entry's hooks and runs the
// program without a user interface (the headless host).
#include <memory>
#include <string>
#include <vector>

#include "app/ProgramHost.h"
#include "frame/Entry.h"
#include "frame/HandOff.h"
#include "remote/ClientRequest.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  std::unique_ptr<gq::ProgramHost> program;
  gq::ProgramHooks hooks;
  hooks.parse.handOver = gq::SendHandOff;
  hooks.parse.clientRequest = gq::RunClientRequest;
  hooks.startProgram = [&](const gq::ParsedCommand& parsed, gq::MessageHost& host) {
    program = std::make_unique<gq::ProgramHost>(host);
    return program->Start(parsed);
  };
  hooks.shutDown = [&] {
    if (program) program->ShutDown();
    program.reset();  // while the host it refers to still exists
  };
  return gq::ProgramEntry(arguments, hooks);
}
