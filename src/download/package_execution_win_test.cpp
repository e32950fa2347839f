// Package execution against Wine's real files and processes: ZIPs written here with
// zlib, and the exit_with helper as the installer that runs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "download/package_check.h"
#include "download/package_execution.h"
#include "system/digest.h"
#include "system/text_convert.h"
#include "system/system_error_text.h"
#include "testing/zip_builder.h"
#include "testing/kit_paths.h"
#include "testing/wine_check.h"

namespace ostrane {
namespace {

using testing::ZipBuilder;

std::wstring HelperPath() {
  return testing::TestFilePath(OSTRANE_EXIT_WITH_PATH);
}

std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A folder of this run under the temp folder, removed with all it holds.
class PackageExecutionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    scratch_ = std::wstring(temp) + L"ostrane-exec-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(scratch_.c_str(), nullptr));
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_, ignored);
    EXPECT_FALSE(Exists(scratch_));
  }

  std::wstring Path(const std::wstring& name) const { return scratch_ + L"\\" + name; }

  std::wstring Write(const std::wstring& name, const std::vector<unsigned char>& bytes) const {
    const std::wstring path = Path(name);
    WriteBytes(path, bytes);
    return path;
  }

  std::wstring scratch_;
};

TEST_F(PackageExecutionTest, ArchiveTypeFromTheFileOnDisk) {
  const struct {
    const wchar_t* name;
    std::vector<unsigned char> bytes;
    ArchiveType type;
  } cases[] = {
      {L"a.zip", ZipBuilder().Add("x.txt", "x").Build(), ArchiveType::Zip},
      {L"four.zip", {0x50, 0x4B, 0x03, 0x04}, ArchiveType::Zip},
      {L"a.7z", {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C, 0x00, 0x04}, ArchiveType::SevenZip},
      {L"short", {0x50, 0x4B, 0x03}, ArchiveType::None},
      {L"empty", {}, ArchiveType::None},
      {L"program.exe", {'M', 'Z', 0x90, 0x00, 0x03, 0x00, 0x00, 0x00}, ArchiveType::None},
  };
  for (const auto& c : cases) EXPECT_EQ(GetArchiveType(Write(c.name, c.bytes)), c.type) << c.name;
  EXPECT_EQ(GetArchiveType(Path(L"missing.zip")), ArchiveType::None);
}

// An archive unpacks only into a new folder of its own: never into the work folder
// where the other packages' files are, nor into a folder that was there before (on
// Windows perhaps a junction to any folder of the user's, which the removal of a
// refused archive's folder would then empty).
TEST_F(PackageExecutionTest, ExtractionFolderIsANewOneOfItsOwnOrNone) {
  const std::wstring zip = L"D:\\downloads\\tool.v2.zip";
  EXPECT_EQ(MakeExtractionFolder(zip, scratch_), Path(L"tool.v2"));
  EXPECT_TRUE(IsFolder(Path(L"tool.v2")));
  const std::wstring second = MakeExtractionFolder(zip, scratch_);
  EXPECT_NE(second, Path(L"tool.v2")) << "a folder that is there is never taken";
  EXPECT_TRUE(second.starts_with(Path(L"tool.v2-"))) << WideToUtf8(second);
  EXPECT_TRUE(IsFolder(second));

  const std::wstring unreachable = Path(L"missing\\deeper");
  EXPECT_EQ(MakeExtractionFolder(zip, unreachable), L"");
  EXPECT_FALSE(Exists(unreachable));
  ASSERT_TRUE(::CloseHandle(::CreateFileW(Path(L"taken").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr)));
  const std::wstring besideFile = MakeExtractionFolder(L"D:\\taken.zip", scratch_);
  EXPECT_TRUE(besideFile.starts_with(Path(L"taken-"))) << "a file of that name is no folder of ours";
  EXPECT_EQ(MakeExtractionFolder(L"D:\\.zip", scratch_), L"") << "nothing left to name the folder";
}

// Wine 8 cannot make a junction, so a plain folder stands in for the one planted where
// the archive would unpack: its contents are left alone, and the archive goes to a new
// folder beside it.
TEST_F(PackageExecutionTest, APlantedExtractionFolderIsLeftAlone) {
  ASSERT_TRUE(::CreateDirectoryW(Path(L"p").c_str(), nullptr));
  ASSERT_TRUE(::CreateDirectoryW(Path(L"p\\setup").c_str(), nullptr));
  WriteBytes(Path(L"p\\setup\\precious.txt"), {'k', 'e', 'e', 'p'});
  // A program that is not signed, in an archive whose digest is not named: refused,
  // and what it unpacked is removed.
  const auto zip = Write(L"p\\setup.zip", ZipBuilder().Add("setup.exe", ReadBytes(HelperPath())).Build());
  const CheckedDownload checked = CheckDownload({true, L"", zip}, {}, false);
  ASSERT_TRUE(checked.result.ok) << WideToUtf8(checked.result.text);
  const StartablePackage start = PrepareToStart(checked.package, {});
  EXPECT_EQ(start.failurePrefix, "DOWNLOAD FAILED: ");
  EXPECT_EQ(ReadBytes(Path(L"p\\setup\\precious.txt")), "keep");
  EXPECT_FALSE(Exists(Path(L"p\\setup\\setup.exe")));
}

TEST_F(PackageExecutionTest, AZipYieldsItsFirstProgramNotAFolderNamedLikeOne) {
  const std::string program = ReadBytes(HelperPath());
  ASSERT_FALSE(program.empty());
  // ZIP64 too: the check before the Shell copies reads it, and so does our reader.
  for (const bool zip64 : {false, true}) {
    SCOPED_TRACE(zip64 ? "ZIP64" : "plain");
    ZipBuilder builder;
    builder.Add({.name = "b.exe/", .zip64 = zip64})
        .Add({.name = "b.exe/inner.txt", .data = "not a program", .zip64 = zip64})
        .Add({.name = "readme.txt", .data = "text", .zip64 = zip64})
        .Add({.name = "a.exe", .data = program, .zip64 = zip64});
    const std::vector<unsigned char> bytes = zip64 ? builder.BuildZip64() : builder.Build();
    const std::wstring name = zip64 ? L"setup64" : L"setup";
    const auto zip = Write(name + L".zip", bytes);
    // The helper is not signed: the campaign vouches for the archive by its digest.
    const TrustRequirements vouched{false, Sha256Hex(std::string(bytes.begin(), bytes.end())), ""};
    const CheckedDownload checked = CheckDownload({true, L"", zip}, vouched, false);
    ASSERT_TRUE(checked.result.ok) << WideToUtf8(checked.result.text);
    const StartablePackage start = PrepareToStart(checked.package, vouched);
    ASSERT_EQ(start.failurePrefix, "") << WideToUtf8(start.failure);
    EXPECT_EQ(start.program, Path(name + L"\\a.exe"));
    EXPECT_TRUE(IsFolder(Path(name + L"\\b.exe")));

    const ExecResult result = RunExecutable(start.program, L"7", true, ProcessStarter::System(), start.holds);
    EXPECT_EQ(result.exitCode, 7u) << "the unpacked program is intact";
    EXPECT_EQ(result.text, L"exit code = 7");
  }
  EXPECT_EQ(FindFirstExecutable(Path(L"nowhere")), L"");
}

TEST_F(PackageExecutionTest, AnEntryLeavingTheFolderRefusesTheArchive) {
  ASSERT_TRUE(::CreateDirectoryW(Path(L"downloads").c_str(), nullptr));
  const auto zip =
      Write(L"downloads\\evil.zip",
            ZipBuilder().Add("good.exe", "MZ").Add("../../escaped.exe", "MZ").Add("..\\up.exe", "MZ").Build());
  // Checked before the Shell could copy anything. Wine's Shell cannot open an
  // archive, so here our reader would refuse it anyway; on Windows the Shell would
  // have copied the entries without this check.
  const zip::ExtractionResult checked = CheckZip(zip);
  EXPECT_FALSE(checked.ok);
  EXPECT_NE(checked.error.find(L"../../escaped.exe"), std::wstring::npos) << WideToUtf8(checked.error);
  EXPECT_FALSE(ExtractZip(zip, Path(L"downloads")));
  const zip::ExtractionResult direct = ExtractZipWithReader(zip, Path(L"downloads\\evil"));
  EXPECT_FALSE(direct.ok);
  EXPECT_NE(direct.error.find(L"../../escaped.exe"), std::wstring::npos) << direct.error;
  for (const wchar_t* name : {L"escaped.exe", L"downloads\\up.exe", L"downloads\\evil\\good.exe"})
    EXPECT_FALSE(Exists(Path(name))) << name;
  // The download's check refuses it before anything is unpacked, and the file goes.
  const CheckedDownload download = CheckDownload({true, L"", zip}, {}, false);
  EXPECT_FALSE(download.result.ok);
  EXPECT_NE(download.result.text.find(L"../../escaped.exe"), std::wstring::npos) << WideToUtf8(download.result.text);
  EXPECT_FALSE(Exists(zip));
}

TEST_F(PackageExecutionTest, OurReaderNamesFilesAsTheArchiveDeclares) {
  const auto zip = Write(L"names.zip", ZipBuilder()
                                           .Add({.name = "\xC3\xA9t\xC3\xA9.txt", .data = "utf8", .flags = 1 << 11})
                                           .Add("plain/file.txt", "plain")
                                           .Build());
  const auto result = ExtractZipWithReader(zip, scratch_);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(ReadBytes(Path(L"\u00e9t\u00e9.txt")), "utf8");
  EXPECT_EQ(ReadBytes(Path(L"plain\\file.txt")), "plain");

  const auto damaged =
      Write(L"damaged.zip", ZipBuilder().Add({.name = "bad.bin", .data = "data", .declaredCrc = 1}).Build());
  EXPECT_FALSE(ExtractZipWithReader(damaged, scratch_).ok);
  EXPECT_FALSE(Exists(Path(L"bad.bin"))) << "a damaged file is removed";
  EXPECT_FALSE(ExtractZipWithReader(Path(L"missing.zip"), scratch_).ok);
}

// The Shell's steps before the copy, and the copy: Wine's Shell opens folders, though
// not archives, and its CopyHere does nothing (a stub), so under Wine our reader takes
// over; on Windows the Shell copies the archive itself.
TEST_F(PackageExecutionTest, TheShellStepsBeforeTheCopyAndTheCopy) {
  const std::wstring source = Path(L"source"), target = Path(L"target"), empty = Path(L"empty");
  for (const auto& folder : {source, target, empty}) ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  WriteBytes(source + L"\\one.txt", {'1'});

  EXPECT_EQ(UnzipWithShell(empty, target), ShellUnzip::Empty);
  EXPECT_FALSE(ExtractZipWithShell(empty, target)) << "nothing to copy is a failure";
  EXPECT_EQ(UnzipWithShell(source, Path(L"no-target")), ShellUnzip::NoTargetFolder);
  EXPECT_TRUE(ExtractZipWithShell(source, Path(L"no-target"))) << "the caller goes on as if it had worked";
  EXPECT_EQ(UnzipWithShell(Path(L"no-source"), target), ShellUnzip::NoArchiveFolder);
  const auto zip = Write(L"a.zip", ZipBuilder().Add("x.txt", "x").Add("sub/y.txt", "y").Build());
  if (testing::RunningUnderWine()) {
    EXPECT_EQ(UnzipWithShell(zip, target), ShellUnzip::NoArchiveFolder) << "Wine's Shell opens no archive";
  } else {
    const std::wstring shellTarget = Path(L"shell-target");
    ASSERT_TRUE(::CreateDirectoryW(shellTarget.c_str(), nullptr));
    EXPECT_EQ(UnzipWithShell(zip, shellTarget), ShellUnzip::Copied);
    EXPECT_EQ(ReadBytes(shellTarget + L"\\x.txt"), "x");
    EXPECT_EQ(ReadBytes(shellTarget + L"\\sub\\y.txt"), "y");
  }
  // Whichever copies, the archive's files arrive.
  EXPECT_TRUE(ExtractZip(zip, target));
  EXPECT_EQ(ReadBytes(target + L"\\x.txt"), "x");
}

// Runs the helper with the command line it receives captured to a file.
class CommandLineCapture {
 public:
  explicit CommandLineCapture(std::wstring file) : file_(std::move(file)) {
    ::SetEnvironmentVariableW(kVariable, file_.c_str());
  }
  ~CommandLineCapture() {
    ::SetEnvironmentVariableW(kVariable, nullptr);
    ::DeleteFileW(file_.c_str());
  }
  std::wstring Received() const {
    const std::string bytes = ReadBytes(file_);
    return std::wstring(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
  }

 private:
  static constexpr const wchar_t* kVariable = L"OSTRANE_COMMAND_LINE_FILE";
  std::wstring file_;
};

TEST_F(PackageExecutionTest, RunsTheProgramWithTheCommandLineItBuilds) {
  const std::wstring helper = HelperPath();
  {
    CommandLineCapture capture(Path(L"command-line.bin"));
    const ExecResult plain = RunExecutable(helper, L"", true);
    EXPECT_EQ(plain.exitCode, 0u);
    EXPECT_EQ(plain.text, L"");
    EXPECT_EQ(capture.Received(), L"\"" + helper + L"\" ") << "the space stays without arguments";

    const ExecResult failing = RunExecutable(helper, L"1 two", true);
    EXPECT_EQ(failing.exitCode, 1u);
    EXPECT_EQ(failing.text, L"exit code = 1");
    EXPECT_EQ(capture.Received(), L"\"" + helper + L"\" 1 two");
  }
  const ExecResult large = LaunchAsync(helper, L"4294967294", true).get();
  EXPECT_EQ(large.exitCode, 4294967294u);
  EXPECT_EQ(large.text, L"exit code = 4294967294");

  const ExecResult unwaited = RunExecutable(helper, L"3", false);
  EXPECT_EQ(unwaited.exitCode, 0xFFFFFFFFu) << "not waited for: no exit code";
  EXPECT_EQ(unwaited.text, L"");
}

TEST_F(PackageExecutionTest, AProgramThatCannotStartGivesTheSystemsReason) {
  const ExecResult result = RunExecutable(Path(L"missing.exe"), L"", true);
  EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
  ASSERT_FALSE(GetSystemErrorText(ERROR_FILE_NOT_FOUND).empty());
  EXPECT_EQ(result.text, L"Error launching executable: " + GetSystemErrorText(ERROR_FILE_NOT_FOUND));
}

// The system's message for a file that is not a program (error 193) has an insert:
// Windows says "%1 is not a valid Win32 application.", Wine "Bad EXE format for %1.".
// Looked up without ignoring inserts, the text came back empty.
TEST_F(PackageExecutionTest, AFileThatIsNoProgramKeepsTheSystemsTextWithItsInsert) {
  const std::wstring reason = GetSystemErrorText(ERROR_BAD_EXE_FORMAT);
  ASSERT_NE(reason.find(L"%1"), std::wstring::npos) << WideToUtf8(reason);
  const ExecResult result =
      RunExecutable(Write(L"not-a-program.exe", {'M', 'Z', 'n', 'o', 't', ' ', 'a', ' ', 'p', 'e'}), L"", true);
  EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
  EXPECT_EQ(result.text, L"Error launching executable: " + reason) << WideToUtf8(result.text);
}

// Starts the helper for real, whatever the fake was asked to start.
StartedProcess StartHelper(const std::wstring& arguments) {
  std::wstring commandLine = CommandLine(HelperPath(), arguments);
  return ProcessStarter::System().create(commandLine);
}

TEST_F(PackageExecutionTest, AProgramNeedingElevationIsStartedAgainThroughRunas) {
  std::vector<std::wstring> created;
  std::vector<std::pair<std::wstring, std::wstring>> elevated;
  const auto starter = [&](DWORD createError, DWORD runasError) {
    return ProcessStarter{
        [&, createError](std::wstring& commandLine) {
          created.push_back(commandLine);
          return createError == ERROR_SUCCESS ? StartHelper(L"5") : StartedProcess{{}, createError};
        },
        [&, runasError](const std::wstring& exe, const std::wstring& arguments) {
          elevated.emplace_back(exe, arguments);
          return runasError == ERROR_SUCCESS ? StartHelper(arguments) : StartedProcess{{}, runasError};
        }};
  };
  const std::wstring exe = L"C:\\dl\\needs admin.exe";
  {
    SCOPED_TRACE("elevated start, waited for as any other");
    const ExecResult result = RunExecutable(exe, L"3", true, starter(kErrorElevationRequired, ERROR_SUCCESS));
    EXPECT_EQ(created, std::vector<std::wstring>{L"\"C:\\dl\\needs admin.exe\" 3"});
    EXPECT_EQ(elevated, (std::vector<std::pair<std::wstring, std::wstring>>{{exe, L"3"}}));
    EXPECT_EQ(result.exitCode, 3u);
    EXPECT_EQ(result.text, L"exit code = 3");
  }
  created.clear(), elevated.clear();
  {
    SCOPED_TRACE("the Shell started it elsewhere and gave no process");
    const ProcessStarter noHandle{[](std::wstring&) { return StartedProcess{{}, kErrorElevationRequired}; },
                                  [](const std::wstring&, const std::wstring&) { return StartedProcess{}; }};
    const ExecResult result = RunExecutable(exe, L"", true, noHandle);
    EXPECT_EQ(result.exitCode, 0u) << "started, not failed";
    EXPECT_EQ(result.text, kOutcomeUnknown);
  }
  {
    SCOPED_TRACE("the user declines the prompt");
    const ExecResult result = RunExecutable(exe, L"", true, starter(kErrorElevationRequired, ERROR_CANCELLED));
    EXPECT_EQ(elevated.size(), 1u);
    EXPECT_EQ(result.exitCode, 0xFFFFFFFFu);
    EXPECT_EQ(result.text, L"Error launching executable: " + GetSystemErrorText(ERROR_CANCELLED));
  }
  created.clear(), elevated.clear();
  {
    SCOPED_TRACE("other errors are not retried");
    const ExecResult result = RunExecutable(exe, L"", true, starter(ERROR_ACCESS_DENIED, ERROR_SUCCESS));
    EXPECT_EQ(created.size(), 1u);
    EXPECT_TRUE(elevated.empty());
    EXPECT_EQ(result.text, L"Error launching executable: " + GetSystemErrorText(ERROR_ACCESS_DENIED));
  }
  created.clear(), elevated.clear();
  {
    SCOPED_TRACE("a plain start needs no second one");
    const ExecResult result = RunExecutable(exe, L"", true, starter(ERROR_SUCCESS, ERROR_SUCCESS));
    EXPECT_TRUE(elevated.empty());
    EXPECT_EQ(result.exitCode, 5u);
  }
}

// The real consent prompt, on Windows with a person at the screen (the test kit's
// --interactive): a program that asks for administrator rights is refused by
// CreateProcess, started again through "runas", and its exit code comes back once
// the person has answered Yes. Wine never asks for elevation.
TEST_F(PackageExecutionTest, DISABLED_TheConsentPromptStartsAProgramThatAsksForAdministratorRights) {
  if (testing::RunningUnderWine()) GTEST_SKIP() << "Wine starts every program without elevation";
  const std::wstring exe = Path(L"asks-admin.exe");
  ASSERT_TRUE(::CopyFileW(testing::TestFilePath(OSTRANE_EXIT_WITH_ADMIN_PATH).c_str(), exe.c_str(), FALSE));
  std::printf("Windows now asks whether asks-admin.exe may make changes: answer Yes.\n");
  const ExecResult result = RunExecutable(exe, L"7", true);
  EXPECT_EQ(result.exitCode, 7u) << WideToUtf8(result.text);
}

// The ISV product's download has no extension. CreateProcessW runs it by its
// contents, but Windows' Shell goes by the extension: the file is named as a program
// before it is checked, and the elevated start gets exactly that file, never a file
// renamed after its check. (Wine never asks for elevation, so the refusal of the first
// start comes from the seam.)
TEST_F(PackageExecutionTest, AnElevatedStartGetsTheFileThatWasChecked) {
  const std::wstring download = Path(L"beta");
  ASSERT_TRUE(::CopyFileW(HelperPath().c_str(), download.c_str(), FALSE));
  const CheckedDownload checked = CheckDownload({true, L"", download}, {false, "", ""}, false);
  ASSERT_TRUE(checked.result.ok) << WideToUtf8(checked.result.text);
  const StartablePackage start = PrepareToStart(checked.package, {false, "", ""});
  ASSERT_EQ(start.program, download + L".exe");
  std::wstring shellGot;
  const ProcessStarter starter{
      [](std::wstring&) { return StartedProcess{{}, kErrorElevationRequired}; },
      [&](const std::wstring& exe, const std::wstring& arguments) {
        shellGot = exe;
        return ProcessStarter::System().shellExecuteRunas(exe, arguments);
      }};
  const ExecResult result = RunExecutable(start.program, L"7", true, starter, start.holds);
  EXPECT_EQ(shellGot, start.program);
  EXPECT_EQ(result.exitCode, 7u) << WideToUtf8(result.text);
  EXPECT_FALSE(Exists(download));
}

TEST_F(PackageExecutionTest, TheRealRunasStartGivesAProcessToWaitFor) {
  StartedProcess started = ProcessStarter::System().shellExecuteRunas(HelperPath(), L"6");
  ASSERT_EQ(started.error, static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_TRUE(started.process);
  ASSERT_EQ(::WaitForSingleObject(started.process.get(), 10000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(started.process.get(), &code));
  EXPECT_EQ(code, 6u);
}

}  // namespace
}  // namespace ostrane
