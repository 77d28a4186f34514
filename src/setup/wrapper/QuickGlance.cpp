// QuickGlance: shows the picture named by its first argument in the desktop's own
// picture viewer, through xdg-open. Exit code 0 when the viewer could be started,
// 1 otherwise (no argument, or xdg-open not found).
#include <spawn.h>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) return 1;
  char program[] = "xdg-open";
  char* arguments[] = {program, argv[1], nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, program, nullptr, nullptr, arguments, environ) != 0) return 1;
  return 0;
}
