#include <gtest/gtest.h>

#include <fstream>

#include "TempFolder.h"
#include "waveform/FileNames.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

TEST(FileNames, ResolvesEachComponentIgnoringCase) {
  const test::TempFolder folder;
  const fs::path root = folder.Path();
  fs::create_directories(root / "Dat" / "Hearing Protectors");
  std::ofstream(root / "Dat" / "Hearing Protectors" / "Seed_REAT_Values_Earmuff.txt") << "x";
  std::ofstream(root / "a.orv") << "lower";
  std::ofstream(root / "A.ORV") << "upper";
  const struct {
    const char* name;
    fs::path expected;
  } cases[] = {
      {"DAT\\hearing protectors\\SEED_reat_values_earmuff.TXT",
       root / "Dat" / "Hearing Protectors" / "Seed_REAT_Values_Earmuff.txt"},
      {"dat/Hearing Protectors/", root / "Dat" / "Hearing Protectors"},
      {"A.ORV", root / "A.ORV"},  // an exact match wins
      {"a.orv", root / "a.orv"},
      {"A.orv", root / "A.ORV"},  // otherwise the smallest name
      {"DAT\\missing\\X.TXT", root / "Dat" / "missing" / "X.TXT"},
      {"Nothing.txt", root / "Nothing.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResolveInFolder(root, c.name), c.expected) << c.name;
}

TEST(FileNames, BaseNameAndExtensionTag) {
  const struct {
    const char* file;
    const char* base;
    const char* tag;
  } cases[] = {{"run2.dat", "RUN2", ".DAT"},
               {"/x/y.z/Run2.Dat.orv", "RUN2", ".ORV"},
               {"shot.wavefile", "SHOT", ".WAV"},
               {"noext", "NOEXT", ""},
               {"a.b.tx", "A", ".TX"},
               {"M\xe4nner.orv", "M\xe4NNER", ".ORV"}};
  for (const auto& c : cases) {
    EXPECT_EQ(UpperBaseName(c.file), c.base) << c.file;
    EXPECT_EQ(ExtensionTag(c.file), c.tag) << c.file;
  }
}

TEST(FileNames, FolderWritableNeedsAnExistingFolderThatTakesFiles) {
  const test::TempFolder folder;
  std::ofstream(folder.Path() / "file.txt") << "x";
  fs::create_directory(folder.Path() / "locked");
  fs::permissions(folder.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(FolderWritable(folder.Path()));
  EXPECT_FALSE(FolderWritable(folder.Path() / "missing"));
  EXPECT_FALSE(FolderWritable(folder.Path() / "file.txt"));
  EXPECT_FALSE(FolderWritable(folder.Path() / "locked"));
  EXPECT_EQ(folder.EntryCount(), 2);  // the probe file is gone
}

TEST(FileNames, CreateUniqueFileMakesDistinctNewFiles) {
  const test::TempFolder folder;
  std::error_code error;
  const fs::path first = CreateUniqueFile(folder.Path(), ".x.", error);
  const fs::path second = CreateUniqueFile(folder.Path(), ".x.", error);
  EXPECT_FALSE(error);
  EXPECT_NE(first, second);
  EXPECT_TRUE(fs::is_regular_file(first) && fs::is_regular_file(second));
  EXPECT_EQ(first.filename().string().rfind(".x.", 0), 0u);
  EXPECT_TRUE(CreateUniqueFile(folder.Path() / "missing", ".x.", error).empty());
  EXPECT_TRUE(error);
}

}  // namespace
}  // namespace orvek
