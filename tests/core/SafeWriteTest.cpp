// Every file the program writes, under the failures a user meets: the earlier file must survive
// byte for byte, no temporary file may be left behind, and the message must name the file.
// The writers are listed beside the layer they belong to (FileWriters.cpp here, the batch results
// in tests/cli), as each test binary links only its own layers.
#include <gmock/gmock.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "ErrorMessage.h"
#include "SafeWrite.h"
#include "TempFolder.h"

namespace orvek {
namespace {

namespace fs = std::filesystem;
using test::Writer;
using test::Writers;

// Lowers the largest file this process may write, so that a write stops part-way as on a full
// disk (EFBIG instead of ENOSPC); unlike permission bits, the limit binds an administrator too.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved);
    const rlimit limited{bytes, saved.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
  }
  rlimit saved{};
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);  // the default action ends the process
};

const char* const kFailures[] = {
    "ReadOnlyFolder",    // refused up front: the writer checks the folder's permission bits itself
    "ReadOnlyFile",      // the same for the file's own bits
    "MissingFolder",     // the target's folder does not exist
    "FolderOfThatName",  // the target is a folder
    "DiskFullMidFile",   // the temporary file is created, then a write fails part-way
    "NoTemporaryFile",   // the temporary file cannot be named (its name exceeds 255 bytes)
    "ReadByCommand",     // the target is a file the command reads, spelled another way
    "Fifo"};             // the target is a FIFO: renaming over it would replace the node

struct Case {
  const Writer* writer;
  std::string failure;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.writer->Name << " " << c.failure; }

std::vector<Case> AllCases() {
  std::vector<Case> cases;
  for (const Writer& writer : Writers())
    for (const char* failure : kFailures) cases.push_back({&writer, failure});
  return cases;
}

class SafeWriteTest : public ::testing::TestWithParam<Case> {};

TEST_P(SafeWriteTest, FailureLeavesTheEarlierFileAndNamesIt) {
  const Writer& writer = *GetParam().writer;
  const std::string& failure = GetParam().failure;
  test::TempFolder folder;
  // 250 bytes: the file itself can exist, the temporary name beside it (10 more) cannot.
  const std::string name = failure == "NoTemporaryFile"
                               ? std::string(250 - writer.File.size(), 'L') + writer.File
                               : writer.File;
  fs::path file = folder.Path() / name;
  if (failure == "Fifo")
    ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
  else if (failure == "FolderOfThatName")
    fs::create_directory(file);
  else
    folder.Write(name, writer.Earlier);
  // Other files the command reads: only ReadByCommand names the target among them.
  ReadFiles reads = {folder.Path() / "input.ORV", folder.Path() / "." / "missing.PRM"};
  std::ofstream(reads[0]) << "input";
  // The rewriting writers read the target first; a missing or folder target stops that read.
  std::string reason = "it is a FIFO (named pipe), not a regular file", readReason;
  std::optional<FileSizeLimit> limit;
  if (failure == "ReadOnlyFolder") {
    fs::permissions(folder.Path(),
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    reason = "read-only";
  } else if (failure == "ReadOnlyFile") {
    fs::permissions(file, fs::perms::owner_read);
    reason = "the file is read-only";
  } else if (failure == "MissingFolder") {
    file = folder.Path() / "nowhere" / name;  // the earlier file beside it stays
    reason = "does not exist";
    readReason = std::generic_category().message(ENOENT);
  } else if (failure == "FolderOfThatName") {
    reason = "a folder of that name exists";
    readReason = "it is a folder";
  } else if (failure == "DiskFullMidFile") {
    limit.emplace(16);
    reason = std::generic_category().message(EFBIG);
  } else if (failure == "NoTemporaryFile") {
    reason = std::generic_category().message(ENAMETOOLONG);
  } else if (failure == "ReadByCommand") {
    reads.push_back(folder.Path() / "." / name);
    reason = "it is \"" + reads.back().string() + "\", which this command reads";
  }
  const std::string message = MessageOf([&] { writer.Write(file, reads); });
  limit.reset();
  EXPECT_THAT(message, ::testing::HasSubstr("\"" + file.string() + "\""));
  EXPECT_TRUE(message.find(reason) != std::string::npos ||
              (!readReason.empty() && message.find(readReason) != std::string::npos))
      << message;
  if (failure == "Fifo")
    EXPECT_TRUE(fs::is_fifo(file)) << "the FIFO was replaced";
  else if (failure == "FolderOfThatName")
    EXPECT_TRUE(fs::is_empty(file)) << "the folder was replaced or written into";
  else
    EXPECT_EQ(test::TempFolder::Read(folder.Path() / name), writer.Earlier);
  EXPECT_EQ(test::TempFolder::Read(reads[0]), "input");
  EXPECT_EQ(folder.EntryCount(), 2) << "a temporary file was left behind";
}

INSTANTIATE_TEST_SUITE_P(Writers, SafeWriteTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return info.param.writer->Name + "_" + info.param.failure;
                         });

// The same calls succeed where nothing fails, so the failures above come from the trigger alone.
TEST(SafeWrite, EveryWriterReplacesTheEarlierFileWithoutLeftovers) {
  for (const Writer& writer : Writers()) {
    SCOPED_TRACE(writer.Name);
    test::TempFolder folder;
    const fs::path file = folder.Write(writer.File, writer.Earlier);
    EXPECT_NO_THROW(writer.Write(file, {folder.Path() / "input.ORV"}));
    const std::string written = test::TempFolder::Read(file);
    EXPECT_NE(written, writer.Earlier);
    EXPECT_GT(written.size(), 16u) << "too short for the disk-full case to cut it";
    EXPECT_EQ(folder.EntryCount(), 1);
  }
}

}  // namespace
}  // namespace orvek
