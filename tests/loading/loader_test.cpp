#include "loading/Loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "db/DatabaseOps.h"
#include "loading/LoaderTestSupport.h"
#include "loading/OpenPath.h"
#include "platform/ShellLink.h"

namespace gq {
namespace {

using test::LoadingBench;
using test::WritePicture;

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { m_Folder = test::FolderForThisTest("loader_"); }
  std::string Path(const std::string& name) const { return m_Folder + "/" + name; }
  // A folder with pictures a..e and a subfolder with two more.
  void MakeFolder(const std::string& name, int pictures, int size = 40) {
    mkdir(Path(name).c_str(), 0755);
    for (int i = 0; i < pictures; ++i) {
      WritePicture(Path(name + "/p" + std::to_string(i) + ".png"), size + i, size, i + 1);
    }
  }
  // A PNG picture under any name (the encoder goes by the name's extension).
  void WritePictureAs(const std::string& name, int width, unsigned seed) {
    WritePicture(Path("any.png"), width, 30, seed);
    ASSERT_EQ(std::rename(Path("any.png").c_str(), Path(name).c_str()), 0) << name;
  }
  bool Contains(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
  }

  std::string m_Folder;
};

TEST_F(LoaderTest, AFolderWithPicturesOtherFilesAndSubfolders) {
  MakeFolder("f", 3);
  MakeFolder("f/sub", 2);
  std::ofstream(Path("f/notes.txt.bak")) << "not a picture";
  WritePicture(Path("f/thin.png"), 2, 50, 9);
  LoadingBench bench(2);
  bench.Load(Path("f"));
  EXPECT_FALSE(bench.lastStopped);
  EXPECT_EQ(bench.db.Count(), 5);
  EXPECT_TRUE(Contains(bench.texts, "Error reading picture: \"" + Path("f/notes.txt.bak") + "\"."));
  EXPECT_TRUE(Contains(bench.texts, "Picture too small: " + Path("f/thin.png")));
  EXPECT_TRUE(Contains(bench.texts, "Finished loading pictures."));
  EXPECT_EQ(bench.Loading().m_Added, 5);
  ImageRecord* record = bench.db.FindByPath(Path("f/sub/p1.png"));
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_PictureWidth, 41);
  EXPECT_EQ(record->m_PictureHeight, 40);
  EXPECT_NE(record->m_ThumbPixels, nullptr);
  EXPECT_GT(record->m_FileTime, 0);
  EXPECT_EQ(g_LoaderState.activeLoaders, 0);
  EXPECT_EQ(g_LoaderState.total, 0);  // reset when no job is left
}

TEST_F(LoaderTest, LoadingAgainAddsNothingAndAChangedFileReplacesItsRecord) {
  MakeFolder("f", 4);
  LoadingBench bench(2);
  bench.Load(Path("f"));
  ASSERT_EQ(bench.db.Count(), 4);
  int32_t oldNumber = bench.db.FindByPath(Path("f/p2.png"))->m_LfdNr;
  bench.texts.clear();
  bench.Load(Path("f"));
  EXPECT_EQ(bench.db.Count(), 4);
  EXPECT_EQ(bench.Loading().m_Skipped, 4);
  for (const std::string& text : bench.texts) EXPECT_FALSE(IsLoadErrorText(text)) << text;

  WritePicture(Path("f/p2.png"), 60, 30, 99);
  test::SetFileTime(Path("f/p2.png"), 2000000000);
  bench.Load(Path("f"));
  ImageRecord* replaced = bench.db.FindByPath(Path("f/p2.png"));
  ASSERT_NE(replaced, nullptr);
  EXPECT_GT(replaced->m_LfdNr, oldNumber);
  EXPECT_EQ(replaced->m_PictureWidth, 60);
  EXPECT_EQ(bench.db.Count(), 4);

  // The picture to show when loading ends: a reloaded known file stays it, a new one not.
  test::SetFileTime(Path("f/p2.png"), 2000000100);
  bench.Load(Path("f/p2.png"));
  EXPECT_EQ(bench.db.m_LastCheckedLfdNr, bench.db.FindByPath(Path("f/p2.png"))->m_LfdNr);
  WritePicture(Path("f/new.png"), 40, 30, 5);
  bench.Load(Path("f/new.png"));
  EXPECT_EQ(bench.db.m_LastCheckedLfdNr, -1);
}

TEST_F(LoaderTest, ListsWithDirectivesNestingAndBadLines) {
  MakeFolder("f", 2);
  WritePicture(Path("single.png"), 30, 30, 5);
  std::string nested = Path("nested.txt");
  std::string top = Path("top.txt");
  std::ofstream(nested, std::ios::binary) << Path("single.png") << "\n" << top << "\n";
  std::ofstream(top, std::ios::binary) << "\xff\xfe"
                                       << "!filecount=99\n"
                                       << "\"" << Path("f") << "\"\r\n"
                                       << "\n"
                                       << "!unknown directive\n"
                                       << "  " << Path("missing.png") << "  \r\n"
                                       << nested << "\n"
                                       << top << "\n";  // names itself: followed one level only
  LoadingBench bench(2);
  bench.Load(top);
  EXPECT_EQ(bench.db.Count(), 3);
  // The list read a second time through its own line reports the missing file again.
  EXPECT_EQ(bench.Count("Picture does not exist: \"" + Path("missing.png") + "\"."), 2u);
  bench.Load(Path("absent-list.txt"));
  EXPECT_TRUE(Contains(bench.texts, "Can't open input file: \"" + Path("absent-list.txt") + "\"."));
}

// Keeps the shared progress counters of a job when it ends, as a second running job does.
class HeldProgress {
 public:
  HeldProgress() { ++g_LoaderState.activeLoaders; }
  ~HeldProgress() {
    --g_LoaderState.activeLoaders;
    g_LoaderState.total = 0;
    g_LoaderState.done = 0;
  }
};

TEST_F(LoaderTest, TheCounterCountsWhatTheLoaderVisits) {
  MakeFolder("f", 2);
  MakeFolder("f/sub", 1);
  WritePicture(Path("one.png"), 30, 30, 1);
  std::ofstream(Path("nested.txt"), std::ios::binary) << Path("one.png") << "\r\n"
                                                      << Path("f/sub") << "\n"
                                                      << Path("top.txt") << "\n";
  std::ofstream(Path("top.txt"), std::ios::binary)
      << "!update  \r\n"       // a directive with blanks after it
      << "  !filecount=1  \n"  // blanks before: a path line, not a directive
      << Path("f") << "\n"
      << Path("nested.txt") << "\n"
      << "\"" << Path("missing.png") << "\"\r\n";
  LoadingBench bench(2);
  HeldProgress held;
  bench.Load(Path("top.txt"));
  EXPECT_EQ(bench.Count("Preparing loading for update..."), 1u);
  EXPECT_EQ(bench.Count("Updating..."), 1u);
  // The path line, f's three files, one.png and missing.png; f/sub is entered once.
  EXPECT_EQ(g_LoaderState.done, 6);
  EXPECT_EQ(g_LoaderState.total, g_LoaderState.done);
}

TEST_F(LoaderTest, ADroppedSetOfAFolderAPictureAndAList) {
  MakeFolder("f", 2);
  WritePicture(Path("one.png"), 30, 30, 7);
  WritePicture(Path("two.png"), 31, 30, 8);
  std::ofstream(Path("list.txt")) << Path("two.png") << "\n";
  LoadingBench bench(2);
  bench.loader->StartDropJob({Path("f"), "", Path("one.png"), Path("list.txt")});
  bench.RunUntilJobsDone(1);
  EXPECT_EQ(bench.db.Count(), 4);
}

TEST_F(LoaderTest, ShellLinksToPicturesLoadTheTargetAndLinksToFoldersAreReported) {
  MakeFolder("f", 1);
  WritePicture(Path("target.png"), 30, 30, 3);
  std::ofstream(Path("pic.lnk"), std::ios::binary) << MakeShellLinkBytes(Path("target.png"));
  std::ofstream(Path("folder.lnk"), std::ios::binary) << MakeShellLinkBytes(Path("f"));
  std::ofstream(Path("broken.lnk"), std::ios::binary) << "not a link";
  std::ofstream(Path("desk.desktop"))
      << "[Desktop Entry]\nType=Link\nURL=file://" << Path("target.png") << "\n";
  LoadingBench bench(1);
  bench.Load(Path("pic.lnk"));
  EXPECT_NE(bench.db.FindByPath(Path("target.png")), nullptr);
  EXPECT_EQ(bench.db.FindByPath(Path("pic.lnk")), nullptr);
  bench.Load(Path("folder.lnk"));
  EXPECT_TRUE(Contains(bench.texts, "Shell link is directory: \"" + Path("f") + "\"."));
  EXPECT_EQ(bench.db.Count(), 1);
  bench.Load(Path("broken.lnk"));
  EXPECT_TRUE(Contains(bench.texts, "Shell link undefined: \"" + Path("broken.lnk") + "\"."));
  bench.Load(Path("desk.desktop"));
  EXPECT_EQ(bench.db.Count(), 1);  // the same target, unchanged
}

TEST_F(LoaderTest, AFileDeletedBeforeItsTurnIsReported) {
  LoadingBench bench(1);
  bench.Load(Path("gone.png"));
  EXPECT_TRUE(Contains(bench.texts, "Picture does not exist: \"" + Path("gone.png") + "\"."));
  EXPECT_EQ(g_LoaderState.failed > 0, true);
}

TEST_F(LoaderTest, OneOrManyWorkersGiveTheSameRecordsNumbersAndTexts) {
  MakeFolder("f", 12, 24);
  std::ofstream(Path("f/bad.png")) << "broken";
  WritePicture(Path("f/small.png"), 50, 2, 4);
  auto run = [&](int workers) {
    LoadingBench bench(workers);
    bench.Load(Path("f"));
    std::vector<std::string> texts;
    for (const std::string& text : bench.texts) {
      if (text != "Preparing loading..." && text != "Loading...") texts.push_back(text);
    }
    std::vector<int32_t> numbers;
    for (ImageRecord* record : bench.db.Records()) numbers.push_back(record->m_LfdNr);
    int32_t first = numbers.empty() ? 0 : numbers.front();
    for (int32_t& n : numbers) n -= first;
    return std::make_tuple(bench.Paths(), numbers, texts);
  };
  EXPECT_EQ(run(1), run(4));
}

TEST_F(LoaderTest, PauseHoldsNewFilesUntilResume) {
  MakeFolder("f", 20, 24);
  LoadingBench bench(1);
  bench.loader->SetPause(true);
  bench.loader->StartPathJob(Path("f"));
  // While paused the loader shows its text and starts nothing.
  for (int i = 0; i < 100 && bench.Count("Loading paused.") == 0; ++i) {
    WaitHandlingSent([] { return false; }, std::chrono::milliseconds(20));
    bench.Pump();
  }
  EXPECT_EQ(bench.Count("Loading paused."), 1u);
  int done = g_LoaderState.done;
  WaitHandlingSent([] { return false; }, std::chrono::milliseconds(500));
  EXPECT_EQ(g_LoaderState.done, done);
  EXPECT_EQ(bench.db.Count(), 0);
  bench.loader->SetPause(false);
  bench.RunUntilJobsDone(1);
  EXPECT_EQ(bench.db.Count(), 20);
  EXPECT_EQ(bench.Count("Loading resumed..."), 1u);
}

TEST_F(LoaderTest, StopEndsTheJobAndNothingIsAddedAfterwards) {
  MakeFolder("f", 40, 24);
  LoadingBench bench(2);
  bench.loader->StartPathJob(Path("f"));
  WaitHandlingSent([&] { return bench.db.Count() > 0; }, std::chrono::seconds(20));
  ASSERT_TRUE(bench.loader->Stop(false));
  int count = bench.db.Count();
  bench.RunUntilJobsDone(1);
  EXPECT_TRUE(bench.lastStopped);
  EXPECT_EQ(bench.db.Count(), count);
  EXPECT_TRUE(std::find(bench.texts.begin(), bench.texts.end(), "Stopped loading pictures.") !=
              bench.texts.end());
}

TEST_F(LoaderTest, UpdateRemovesVanishedFilesAndReloadsChangedOnes) {
  MakeFolder("f", 4);
  LoadingBench bench(2);
  bench.Load(Path("f"));
  ASSERT_EQ(bench.db.Count(), 4);
  unlink(Path("f/p1.png").c_str());
  WritePicture(Path("f/p3.png"), 70, 30, 50);
  test::SetFileTime(Path("f/p3.png"), 2000000000);
  bool updated = false;
  bench.Loading().onUpdateDone = [&](bool) { updated = true; };
  ASSERT_TRUE(UpdateFromDisk(bench.db, *bench.loader, false, false, -1));
  bench.RunUntil([&] { return updated; });  // the update ends after its load job
  EXPECT_EQ(bench.db.Count(), 3);
  EXPECT_EQ(bench.db.FindByPath(Path("f/p1.png")), nullptr);
  EXPECT_EQ(bench.db.FindByPath(Path("f/p3.png"))->m_PictureWidth, 70);
  EXPECT_TRUE(std::find(bench.texts.begin(), bench.texts.end(), "Finished updating.") !=
              bench.texts.end());
  for (ImageRecord* record : bench.db.Records()) EXPECT_GE(record->m_FileTime, -1);
}

// Bytes of text as UTF-16 (little-endian) with the mark 0xFF 0xFE, as Windows writes lists.
std::string Utf16List(const std::u16string& text) {
  std::string bytes = "\xff\xfe";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::u16string Utf16(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

TEST_F(LoaderTest, ZeroBytesNeverReachAPathAndUtf16ListsAreReadAsText) {
  WritePicture(Path("a.png"), 30, 30, 1);
  WritePicture(Path("\xc3\xa9t\xc3\xa9.png"), 31, 30, 2);  // "été.png"
  WritePicture(Path("c.png"), 32, 30, 3);
  std::ofstream(Path("wide.txt"), std::ios::binary)
      << Utf16List(Utf16("\"" + Path("a.png") + "\"\r\n" + Path("")) + u"\u00e9t\u00e9.png\r\n");
  std::ofstream(Path("zero.txt"), std::ios::binary) << Path("a.png") << "\n"
                                                    << Path("") << std::string("\0x", 2) << "\n"
                                                    << Path("c.png") << "\n";
  LoadingBench bench(2);
  bench.Load(Path("wide.txt"));
  EXPECT_EQ(bench.db.Count(), 2);
  EXPECT_NE(bench.db.FindByPath(Path("\xc3\xa9t\xc3\xa9.png")), nullptr);
  bench.Load(Path("zero.txt"));
  EXPECT_EQ(bench.db.Count(), 3);
  EXPECT_EQ(bench.Count("List line 2 holds a zero byte: \"" + Path("zero.txt") + "\"."), 1u);
}

TEST_F(LoaderTest, NamesAListCannotCarryAreUpdatedAndExportedWhole) {
  MakeFolder("f", 0);
  // Each is a picture whose name a list line once cut or misread.
  const std::vector<std::string> names = {"x.txt", "a\"b.png", "q\"b.png ", " lead.png", "t.png "};
  for (size_t i = 0; i < names.size(); ++i) WritePictureAs("f/" + names[i], 30, i + 1);
  WritePicture(Path("f/line\nbreak.png"), 30, 30, 9);
  LoadingBench bench(2);
  bench.Load(Path("f"));
  ASSERT_EQ(bench.db.Count(), static_cast<int>(names.size()));
  EXPECT_EQ(bench.Count("Name holds a line break: \"" + Path("f/line\nbreak.png") + "\"."), 1u);

  std::vector<std::string> unlisted;
  ASSERT_TRUE(WriteList(bench.db, Path("export.txt"), false, false, "", -1, &unlisted));
  EXPECT_EQ(unlisted, std::vector<std::string>({Path("f/q\"b.png "), Path("f/x.txt")}));
  LoadingBench reader(1);
  reader.Load(Path("export.txt"));
  EXPECT_EQ(reader.Paths().size(), names.size() - unlisted.size());
  for (const std::string& path : reader.Paths()) EXPECT_NE(bench.db.FindByPath(path), nullptr);

  for (size_t i = 0; i < names.size(); ++i) {
    WritePictureAs("f/" + names[i], 60, i + 20);
    test::SetFileTime(Path("f/" + names[i]), 2000000000);
  }
  bool updated = false;
  bench.Loading().onUpdateDone = [&](bool) { updated = true; };
  ASSERT_TRUE(UpdateFromDisk(bench.db, *bench.loader, false, false, -1));
  bench.RunUntil([&] { return updated; });
  for (const std::string& name : names) {
    ImageRecord* record = bench.db.FindByPath(Path("f/" + name));
    ASSERT_NE(record, nullptr) << name;
    EXPECT_EQ(record->m_PictureWidth, 60) << name;
  }
}

TEST_F(LoaderTest, SymbolicLinksInAFolderAreLinksAndNoFolderIsEnteredTwice) {
  MakeFolder("f", 1);
  MakeFolder("f/sub", 1);
  ASSERT_EQ(symlink("..", Path("f/up").c_str()), 0);
  ASSERT_EQ(symlink("p0.png", Path("f/same.png").c_str()), 0);
  ASSERT_EQ(symlink("nowhere.png", Path("f/broken.png").c_str()), 0);
  LoadingBench bench(2);
  bench.loader->StartDropJob({Path("f"), Path("f/sub")});
  bench.RunUntilJobsDone(1);
  EXPECT_EQ(bench.Paths(), std::vector<std::string>({Path("f/p0.png"), Path("f/sub/p0.png")}));
  EXPECT_EQ(bench.Count("Shell link is directory: \"" + m_Folder + "\"."), 1u);
  EXPECT_EQ(bench.Count("Shell link undefined: \"" + Path("f/broken.png") + "\"."), 1u);
  EXPECT_EQ(bench.Loading().m_Skipped, 1);  // the link to p0.png; f/sub is not walked again
}

TEST_F(LoaderTest, NamedPipesAreRefusedWithoutBlocking) {
  MakeFolder("f", 1);
  ASSERT_EQ(mkfifo(Path("pipe.txt").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Path("f/pipe.png").c_str(), 0600), 0);
  LoadingBench bench(1);
  bench.loader->StartDropJob({Path("pipe.txt"), Path("f")});
  bench.RunUntilJobsDone(1);
  EXPECT_EQ(bench.db.Count(), 1);
  EXPECT_EQ(bench.Count("Can't open input file: \"" + Path("pipe.txt") + "\"."), 1u);
  EXPECT_EQ(bench.Count("Error reading picture: \"" + Path("f/pipe.png") + "\"."), 1u);
}

TEST_F(LoaderTest, ALoaderWhoseJobCannotEndIsDestroyedAnyway) {
  WritePicture(Path("p.png"), 30, 30, 1);
  // The job talks to a window whose thread does not answer until released.
  std::promise<MessageTarget> target;
  std::promise<void> release;
  std::weak_ptr<LoadSink> sinkInUse;
  std::thread deaf([&] {
    MessageWindow window([](unsigned, uintptr_t, intptr_t) -> intptr_t { return 0; });
    target.set_value(window.Target());
    release.get_future().wait();
    WaitHandlingSent([&] { return sinkInUse.expired(); }, std::chrono::minutes(5));
  });
  {
    test::ScriptedMessageBox boxes;
    auto sink = std::make_shared<WindowSink>(target.get_future().get());
    sinkInUse = sink;
    Loader loader(sink, 1);
    sink.reset();
    ASSERT_TRUE(loader.StartPathJob(Path("p.png")));
    EXPECT_FALSE(loader.Stop(false, 50));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>({"Could not stop loading."}));
  }  // the destructor returns although the job still waits for the window
  release.set_value();
  deaf.join();
  EXPECT_EQ(g_LoaderState.activeLoaders, 0);
}

TEST_F(LoaderTest, FileTimesBefore1970AndAfter2038AreKeptInRange) {
  MakeFolder("f", 2);
  test::SetFileTime(Path("f/p0.png"), -100000000);
  test::SetFileTime(Path("f/p1.png"), 5000000000);
  LoadingBench bench(2);
  bench.Load(Path("f"));
  ASSERT_EQ(bench.db.Count(), 2);
  EXPECT_EQ(bench.db.FindByPath(Path("f/p0.png"))->m_FileTime, 2);
  EXPECT_EQ(bench.db.FindByPath(Path("f/p1.png"))->m_FileTime, INT32_MAX);
  bench.Load(Path("f"));
  EXPECT_EQ(bench.Loading().m_Skipped, 2);
  unlink(Path("f/p0.png").c_str());
  bool updated = false;
  bench.Loading().onUpdateDone = [&](bool) { updated = true; };
  ASSERT_TRUE(UpdateFromDisk(bench.db, *bench.loader, true, false, -1));
  bench.RunUntil([&] { return updated; });
  EXPECT_EQ(bench.Paths(), std::vector<std::string>({Path("f/p1.png")}));
  EXPECT_TRUE(bench.boxes.Texts().empty());
}

TEST_F(LoaderTest, StaleTemporaryListsOfEarlierRunsAreRemoved) {
  MakeFolder("tmp", 0);
  setenv("TMPDIR", Path("tmp").c_str(), 1);
  for (const char* name :
       {"loadlistA1.txt", "updatelistB2.txt", "pastelistC3.txt", "keep.txt", "loadlistD4.txt"}) {
    std::ofstream(Path("tmp/") + name) << "x";
    if (std::string(name) != "loadlistD4.txt") test::SetFileTime(Path("tmp/") + name, 1000000000);
  }
  { LoadingBench bench(1); }
  unsetenv("TMPDIR");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(Path("tmp")))
    left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, std::vector<std::string>({"keep.txt", "loadlistD4.txt"}));
}

TEST_F(LoaderTest, AListOfOneHundredThousandLinesOfOnePicture) {
  WritePicture(Path("p.png"), 30, 30, 1);
  {
    std::ofstream list(Path("big.txt"));
    for (int i = 0; i < 100000; ++i) list << Path("p.png") << "\n";
  }
  LoadingBench bench(2);
  bench.Load(Path("big.txt"));
  EXPECT_EQ(bench.db.Count(), 1);
  EXPECT_EQ(bench.Loading().m_Skipped, 99999);
}

}  // namespace
}  // namespace gq
