#include <gtest/gtest.h>

#include <fstream>

#include "TempFolder.h"
#include "base/FileNames.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;

TEST(FileNames, ResolvesEachComponentIgnoringCase) {
  const test::TempFolder folder;
  const fs::path root = folder.Path(), protectors = root / "Dat" / "Hearing Protectors";
  fs::create_directories(protectors);
  std::ofstream(protectors / "Seed_REAT_Values_Earmuff.txt") << "x";
  std::ofstream(root / "a.orv") << "lower";
  std::ofstream(root / "A.ORV") << "upper";
  const std::pair<const char*, fs::path> cases[] = {
      {"DAT\\hearing protectors\\SEED_reat_values_earmuff.TXT",
       protectors / "Seed_REAT_Values_Earmuff.txt"},
      {"dat/Hearing Protectors/", protectors},
      {"A.ORV", root / "A.ORV"},  // an exact match wins
      {"a.orv", root / "a.orv"},
      {"A.orv", root / "A.ORV"},  // otherwise the smallest name
      {"DAT\\missing\\X.TXT", root / "Dat" / "missing" / "X.TXT"},
      {"Nothing.txt", root / "Nothing.txt"},
  };
  for (const auto& [name, expected] : cases)
    EXPECT_EQ(ResolveInFolder(root, name), expected) << name;
}

TEST(FileNames, BaseNameAndExtensionTag) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"run2.dat", "RUN2", ".DAT"},
      {"/x/y.z/Run2.Dat.orv", "RUN2.DAT", ".ORV"},
      {"blast_2.5m.ORV", "BLAST_2.5M", ".ORV"},
      {"shot.wavefile", "SHOT", ".WAV"},
      {"noext", "NOEXT", ""},
      {"a.b.tx", "A.B", ".TX"},
      {"M\xe4nner.orv", "M\xe4NNER", ".ORV"}};
  for (const auto& [file, base, tag] : cases) {
    EXPECT_EQ(UpperBaseName(file), base) << file;
    EXPECT_EQ(ExtensionTag(file), tag) << file;
  }
}

TEST(FileNames, FolderWritableAndCreateUniqueFile) {
  const test::TempFolder folder;
  std::ofstream(folder.Path() / "file.txt") << "x";
  fs::create_directory(folder.Path() / "locked");
  fs::permissions(folder.Path() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_TRUE(FolderWritable(folder.Path()));
  EXPECT_FALSE(FolderWritable(folder.Path() / "missing"));
  EXPECT_FALSE(FolderWritable(folder.Path() / "file.txt"));
  EXPECT_FALSE(FolderWritable(folder.Path() / "locked"));
  EXPECT_EQ(folder.EntryCount(), 2);  // the probe file is gone

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
