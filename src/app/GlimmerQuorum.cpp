// GlimmerQuorum: the program. Wires the subsystems into the entry's hooks.
#include <string>
#include <vector>

#include "frame/Entry.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  gq::ProgramHooks hooks;
  return gq::ProgramEntry(arguments, hooks);
}
