#include "setup/EmbeddedFiles.h"

// Each file is included by the assembler between two hidden symbols. The paths come
// from the build (GQ_EMBED_*), which also rebuilds this unit when a file changes.
#define GQ_EMBED(name, file)                                                                    \
  asm(".section .rodata\n.balign 16\n.global gq_embed_" #name "_begin\n.hidden gq_embed_" #name \
      "_begin\ngq_embed_" #name "_begin:\n.incbin \"" file "\"\n.global gq_embed_" #name        \
      "_end\n.hidden gq_embed_" #name "_end\ngq_embed_" #name "_end:\n.byte 0\n.previous\n");   \
  extern "C" const char gq_embed_##name##_begin[];                                              \
  extern "C" const char gq_embed_##name##_end[];

GQ_EMBED(program, GQ_EMBED_PROGRAM)
GQ_EMBED(quickglance, GQ_EMBED_QUICKGLANCE)
GQ_EMBED(readme, GQ_EMBED_README)
GQ_EMBED(icon, GQ_EMBED_ICON)

namespace gq {
namespace {

std::string_view Between(const char* begin, const char* end) {
  return std::string_view(begin, static_cast<size_t>(end - begin));
}

}  // namespace

std::string_view EmbeddedFile(int id) {
  switch (id) {
    case kFileProgram:
      return Between(gq_embed_program_begin, gq_embed_program_end);
    case kFileQuickGlance:
      return Between(gq_embed_quickglance_begin, gq_embed_quickglance_end);
    case kFileReadMe:
      return Between(gq_embed_readme_begin, gq_embed_readme_end);
    case kFileIcon:
      return Between(gq_embed_icon_begin, gq_embed_icon_end);
    default:
      return {};
  }
}

}  // namespace gq
