// The whole run in-process: the dialog with its worker, and the entry
// sequence from the temporary folder to its deletion.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "launcher/extraction_worker.h"
#include "launcher/launcher.h"
#include "launcher/progress_dialog.h"
#include "launcher/progress_queue.h"
#include "platform/file.h"
#include "platform/process.h"
#include "platform/program_path.h"
#include "platform/ui.h"
#include "services/core/memory_service.h"
#include "tests/launcher/launcher_fixture.h"
#include "tests/support/private_temp_folder.h"

namespace sfx {
namespace {

namespace fs = std::filesystem;
using Captions = std::vector<std::string>;

// Where the dialog stood right after its initialisation, when it has a window.
bool g_placed = false;
platform::WindowRect g_rect;
// What the dialog showed once the worker was done.
std::string g_lastText;
std::uint32_t g_lastPosition = 0;

bool WatchingProcedure(platform::DialogWindow window, platform::DialogEvent event, std::uint32_t parameter,
                       void* context) {
  const bool handled = launcher::ProgressDialogProcedure(window, event, parameter, context);
  if (event == platform::DialogEvent::kInit) g_placed = platform::GetWindowRectangle(window, &g_rect);
  if (event == platform::DialogEvent::kCompletion) {
    char text[300];
    platform::GetItemText(platform::GetDialogItem(window, launcher::kTextItem), text, sizeof text);
    g_lastText = text;
    g_lastPosition = platform::GetProgressPosition(platform::GetDialogItem(window, launcher::kProgressItem));
  }
  return handled;
}

std::intptr_t RunDialog(const test::TestPayload& payload, const std::string& folder, std::uint32_t count) {
  launcher::LaunchState state;
  state.records = &payload.records();
  std::snprintf(state.tempFolder, sizeof state.tempFolder, "%s", folder.c_str());
  state.fileCount = count;
  std::snprintf(state.title, sizeof state.title, "%s", "Test product");
  g_placed = false;
  return platform::RunModalDialog(platform::OwnModule(), launcher::kDialogTemplate, WatchingProcedure, &state);
}

std::set<std::string> SpkFolders() {
  char temp[260];
  const std::uint32_t length = platform::GetTempFolder(temp, sizeof temp);
  std::set<std::string> found;
  if (length == 0 || length >= sizeof temp) return found;
  for (const auto& entry : fs::directory_iterator(temp)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("spk", 0) == 0) found.insert(name);
  }
  return found;
}

TEST(ProgressDialog, EmptyPayloadEndsWithSuccess) {
  test::ScratchDir folder;
  test::RecordingMessages messages;
  test::TestPayload payload;
  payload.Install();
  const std::intptr_t result = RunDialog(payload, folder.str(), 0);
  if (result == -1) GTEST_SKIP() << "no display for the dialog";
  EXPECT_EQ(result, 1);
  EXPECT_TRUE(messages.Take().empty());
  if (g_placed) {  // a real window: centred on the screen
    const std::int32_t width = g_rect.right - g_rect.left;
    const std::int32_t height = g_rect.bottom - g_rect.top;
    EXPECT_EQ(g_rect.left, (platform::ScreenWidth() - width) / 2);
    EXPECT_EQ(g_rect.top, (platform::ScreenHeight() - height) / 2);
    EXPECT_GT(width, 0);
  }
}

// However far the timer fell behind the worker, the dialog ends on the last
// file's text with the bar full.
TEST(ProgressDialog, EndsOnTheLastTextWithTheBarFull) {
  for (const std::uint32_t count : {1u, 2u, 400u}) {
    test::ScratchDir folder;
    test::RecordingMessages messages;
    test::TestPayload payload;
    char name[32];
    for (std::uint32_t i = 1; i <= count; ++i) {
      std::snprintf(name, sizeof name, "f%u/", static_cast<unsigned>(i));
      payload.Folder(name);
    }
    payload.Install();
    g_lastText.clear();
    g_lastPosition = 0;
    const std::intptr_t result = RunDialog(payload, folder.str(), count);
    if (result == -1) GTEST_SKIP() << "no display for the dialog";
    EXPECT_EQ(result, 1) << count;
    std::snprintf(name, sizeof name, "Extracting: f%u/", static_cast<unsigned>(count));
    EXPECT_EQ(g_lastText, name) << count;
    EXPECT_EQ(g_lastPosition, count);
  }
}

TEST(ProgressDialog, FailingRecordStopsTheWorkerAndIsReportedOnce) {
  test::ScratchDir folder;
  test::RecordingMessages messages;
  test::TestPayload payload;
  payload.Folder("one/");
  payload.Folder("two/");
  payload::FileHeader bad = test::StoredHeader("three", "x");
  bad.method = 2;
  payload.Raw(test::MakeRecord(bad, "three", {'x'}));
  payload.Folder("four/");
  payload.Folder("five/");
  payload.Install();
  const std::intptr_t result = RunDialog(payload, folder.str(), 5);
  if (result == -1) GTEST_SKIP() << "no display for the dialog";
  EXPECT_EQ(result, 0);
  const std::vector<test::RecordedMessage> shown = messages.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Extraction failed!");
  EXPECT_EQ(shown[0].caption, "(null)");
  EXPECT_EQ(shown[0].style, 0x10u);
  EXPECT_TRUE(fs::is_directory(folder.path() / "two"));
  EXPECT_FALSE(fs::exists(folder.path() / "four"));
}

// True when the progress queue refuses (and frees) a text, as it does once
// its mutex is gone.
bool QueueIsClosed() {
  void* block = nullptr;
  EXPECT_EQ(Memory()->Allocate(2, &block), kOk);
  auto* text = static_cast<char*>(block);
  text[0] = 'x';
  text[1] = 0;
  return launcher::PushProgressText(text) == 0;
}

TEST(ProgressDialog, WorkerThatCannotStartLeavesNothingOpen) {
  for (const test::RefusedStep::Step step : {test::RefusedStep::kMakeLock, test::RefusedStep::kStartThread}) {
    test::RefusedStep fail(step);
    launcher::LaunchState state;
    EXPECT_EQ(launcher::StartExtraction(nullptr, state), 0) << step;
    // Without a thread the mutex made for it is closed again.
    EXPECT_TRUE(QueueIsClosed()) << step;
  }
}

TEST(ProgressDialog, WorkerThatCannotStartEndsTheDialogWithoutAMessage) {
  for (const test::RefusedStep::Step step : {test::RefusedStep::kMakeLock, test::RefusedStep::kStartThread}) {
    test::ScratchDir folder;
    test::RecordingMessages messages;
    test::TestPayload payload;
    payload.Folder("one/");
    payload.Install();
    std::intptr_t result = 0;
    {
      test::RefusedStep fail(step);
      result = RunDialog(payload, folder.str(), 1);
    }
    if (result == -1) GTEST_SKIP() << "no display for the dialog";
    EXPECT_EQ(result, 0) << step;
    EXPECT_TRUE(messages.Take().empty()) << step;
    EXPECT_FALSE(fs::exists(folder.path() / "one")) << step;
    EXPECT_TRUE(QueueIsClosed()) << step;
  }
  // A later start is unaffected.
  test::ScratchDir folder;
  test::TestPayload payload;
  payload.Folder("one/");
  payload.Install();
  EXPECT_EQ(RunDialog(payload, folder.str(), 1), 1);
  EXPECT_TRUE(fs::is_directory(folder.path() / "one"));
}

TEST(ProgressDialog, CannotBeCancelled) {
  // Escape and the close button send command 2; the "Cancel" button sends 1.
  EXPECT_TRUE(launcher::ProgressDialogProcedure(nullptr, platform::DialogEvent::kCommand, 2, nullptr));
  EXPECT_FALSE(launcher::ProgressDialogProcedure(nullptr, platform::DialogEvent::kCommand, 1, nullptr));
}

TEST(LauncherFlow, BadSetupRecordLeavesNoFolderBehind) {
  test::RecordingMessages messages;
  const payload::PayloadImage nothing;  // no setup record
  const std::set<std::string> before = SpkFolders();
  EXPECT_EQ(launcher::RunLauncher(platform::OwnModule(), nothing), 1);
  EXPECT_EQ(SpkFolders(), before);
  const std::vector<test::RecordedMessage> shown = messages.Take();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Failed to get setup info");
  EXPECT_EQ(shown[0].caption, "(null)");
  EXPECT_EQ(shown[0].style, 0u);
}

// Parallel test programs each have a temporary-files folder of their own, so
// the "spk" folders seen below are this program's alone.
TEST(LauncherFlow, TestsRunInATemporaryFolderOfTheirOwn) {
  const std::string& own = test::PrivateTempFolder();
  ASSERT_FALSE(own.empty());
  char temp[260];
  const std::uint32_t length = platform::GetTempFolder(temp, sizeof temp);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof temp);
  // The system's answer ends in a separator, which some file systems refuse
  // to look up as a folder name.
  std::string given(temp, length);
  while (given.size() > 1 && (given.back() == '\\' || given.back() == '/')) given.pop_back();
  EXPECT_TRUE(fs::equivalent(fs::path(given), fs::path(own))) << temp << " is not " << own;
  EXPECT_EQ(fs::path(own).filename().string().rfind("sfx-tests-", 0), 0u) << own;
}

TEST(LauncherFlow, TemporaryFolderIsNewPrivateAndNamedSpk) {
  const std::set<std::string> before = SpkFolders();
  launcher::LaunchState state;
  ASSERT_TRUE(launcher::CreateTempFolder(&state));
  const fs::path made = state.tempFolder;
  EXPECT_TRUE(fs::is_directory(made));
  EXPECT_TRUE(fs::is_empty(made));
  EXPECT_EQ(made.filename().string().rfind("spk", 0), 0u);
  EXPECT_EQ(before.count(made.filename().string()), 0u);
  fs::remove(made);
}

TEST(LauncherFlow, ExtractsRunsAndCleansUp) {
  test::RecordingMessages messages;
  test::TestPayload payload;
  payload.Setup("Product", "no-such-program", "-x");
  payload.Folder("sub/");
  payload.Stored("sub/a.txt", "alpha");
  payload.Install();
  const std::set<std::string> before = SpkFolders();
  EXPECT_EQ(launcher::RunLauncher(platform::OwnModule(), payload.records()), platform::kProgramNotStartedStatus);
  // The program is missing: nothing is shown, and the folder still goes.
  EXPECT_EQ(SpkFolders(), before);
  EXPECT_TRUE(messages.Take().empty());
}

// The program starts from the temporary folder with its arguments and its exit
// status comes back: here this test program, asked to run no tests.
TEST(LauncherFlow, SetupProgramRunsAndItsStatusComesBack) {
  const fs::path self = platform::OwnProgramPath();
  ASSERT_FALSE(self.empty());
  launcher::LaunchState state;
  std::snprintf(state.tempFolder, sizeof state.tempFolder, "%s", self.parent_path().string().c_str());
  std::snprintf(state.programName, sizeof state.programName, "%s", self.filename().string().c_str());
  std::snprintf(state.arguments, sizeof state.arguments, "%s", "--gtest_filter=-*");
  int status = -1;
  EXPECT_TRUE(launcher::RunSetupProgram(state, &status));
  EXPECT_EQ(status, 0);
}

}  // namespace
}  // namespace sfx
