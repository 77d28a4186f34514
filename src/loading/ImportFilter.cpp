#include "loading/ImportFilter.h"

#include <stdlib.h>

#include <atomic>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/Text.h"
#include "loading/OpenCvHighGui/loadsave.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

namespace gq {
namespace {

std::atomic<int> g_timeLimitMs{60000};

// A new folder "import..." in the system's temporary directory, mode 0700; removed with
// everything in it when the object goes.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/importXXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) m_path = pattern;
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  bool ok() const { return !m_path.empty(); }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

}  // namespace

std::mutex& ImportFilterLock() {
  static std::mutex lock;
  return lock;
}

void SetImportFilterTimeLimit(int milliseconds) { g_timeLimitMs.store(milliseconds); }
int ImportFilterTimeLimit() { return g_timeLimitMs.load(); }

bool ExtensionInTypeList(std::string_view path, std::string_view typeList) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = path.substr(dot + 1);
  size_t start = 0;
  while (start < typeList.size()) {
    size_t end = typeList.find(' ', start);
    if (end == std::string_view::npos) end = typeList.size();
    if (EqualsNoCase(typeList.substr(start, end - start), extension)) return true;
    if (end == typeList.size()) break;
    start = end + 1;
  }
  return false;
}

std::string NormaliseTypeList(std::string_view typeList) {
  static constexpr std::string_view kSeparators = "\\/:*?\"<>|.,;";
  std::string out;
  bool pendingSpace = false;
  for (char c : typeList) {
    const bool blank = kSeparators.find(c) != std::string_view::npos ||
                       std::isspace(static_cast<unsigned char>(c));
    if (blank) {
      pendingSpace = !out.empty();
      continue;
    }
    if (pendingSpace) out += ' ';
    pendingSpace = false;
    out += c;
  }
  if (pendingSpace) out += ' ';
  return out;
}

std::string ExpandImportCommand(std::string_view commandTemplate, std::string_view picture,
                                std::string_view output) {
  std::string out;
  auto append = [&out](std::string_view text) {
    out.append(text.substr(0, kMaxImportCommandText - out.size()));
  };
  for (size_t i = 0; i < commandTemplate.size() && out.size() < kMaxImportCommandText; ++i) {
    const char c = commandTemplate[i];
    if (c == '%' && i + 1 < commandTemplate.size() &&
        (commandTemplate[i + 1] == '1' || commandTemplate[i + 1] == '2')) {
      append(commandTemplate[i + 1] == '1' ? picture : output);
      ++i;
    } else {
      out += c;
    }
  }
  return out;
}

IplImage* RunImportFilter(const char* path, int iscolor, const std::string& commandTemplate,
                          std::string* commandOut) {
  const std::string picture = path ? path : "";
  TemporaryFolder folder;
  if (!folder.ok()) return nullptr;
  const std::string output = folder.path() + "/tmp.bmp";
  // The words are split before the paths go in, so no path can change the words.
  const std::vector<std::string> argv =
      SubstitutePlaceholders(SplitCommandWords(commandTemplate), picture, output);
  const ProcessResult run = RunProcess(argv, ImportFilterTimeLimit());
  if (commandOut) *commandOut = ExpandImportCommand(commandTemplate, picture, output);
  if (!run.started || run.timedOut) return nullptr;
  std::error_code error;
  if (!std::filesystem::is_regular_file(output, error)) return nullptr;
  return cvLoadImage(output.c_str(), iscolor);
}

bool TestImportFilter(std::string* typeField, const std::string& command) {
  *typeField = NormaliseTypeList(*typeField);
  std::string expanded;
  bool ok = false;
  {
    TemporaryFolder folder;
    if (folder.ok()) {
      const std::string testFile = folder.path() + "/t e s t.ppm";
      if (FILE* f = std::fopen(testFile.c_str(), "w")) {
        std::string text = "P3\n32 32\n255\n";
        for (int i = 0; i < 32 * 32; ++i) text += "255 9 0 ";
        const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
        if (std::fclose(f) == 0 && written) {
          std::lock_guard<std::mutex> lock(ImportFilterLock());
          IplImage* image = RunImportFilter(testFile.c_str(), 1, command, &expanded);
          ok = image != nullptr;
          cvReleaseImage(&image);
        }
      }
    }
  }
  if (ok) {
    MessageBox("Test OK", kProgramCaption, MB_OK | MB_ICONINFORMATION);
  } else {
    MessageBox(
        "Test failed.\n\nUsed 32x32 picture of type PPM (ASCII).\n\nCommand was:\n\n" + expanded,
        kProgramCaption, MB_OK | MB_ICONERROR);
  }
  return ok;
}

}  // namespace gq
