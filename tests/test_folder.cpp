// Test game folders and file helpers shared by the unit tests.
#include "tests/test_folder.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>
#else
#include <signal.h>
#endif

namespace fs = std::filesystem;

std::vector<std::string> GameFolderTest::messages;

void GameFolderTest::SetUp() {
  static int counter = 0;
  previous_ = fs::current_path();
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::ostringstream unique;
  unique << "korvidane-" << test->name() << "-"
         << std::chrono::steady_clock::now().time_since_epoch().count() << "-" << ++counter;
  folder_ = fs::temp_directory_path() / unique.str();
  fs::create_directories(folder_);
  fs::current_path(folder_);
  messages.clear();
  RedirectErrorMessages([](const char* text) { messages.push_back(text); });
}

#ifdef _WIN32
// Programs started from the folder: a stand-in updater, its log maybe not yet
// written. One still running holds the folder.
static void EndProcessesIn(const fs::path& folder) {
  const std::wstring prefix = folder.wstring() + L"\\";
  WaitUntil([&] {
    bool any = false;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                                   entry.th32ProcessID);
      if (!process) continue;
      wchar_t image[MAX_PATH];
      DWORD size = MAX_PATH;
      if (QueryFullProcessImageNameW(process, 0, image, &size) &&
          _wcsnicmp(image, prefix.c_str(), prefix.size()) == 0) {
        TerminateProcess(process, 1);
        any = true;
      }
      CloseHandle(process);
    }
    CloseHandle(snapshot);
    return !any;
  });
}
#else
// Processes working in the folder: a stand-in updater, its log maybe not yet
// written, or a child of a test that failed. They would write into it as it goes.
static std::vector<pid_t> ProcessesIn(const fs::path& folder) {
  std::vector<pid_t> found;
  std::error_code error;
  for (fs::directory_iterator entry("/proc", error), end; !error && entry != end;
       entry.increment(error)) {
    std::string name = entry->path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    fs::path cwd = fs::read_symlink(entry->path() / "cwd", error);
    error.clear();  // gone meanwhile, or a zombie
    auto inside = std::mismatch(folder.begin(), folder.end(), cwd.begin(), cwd.end());
    if (!cwd.empty() && inside.first == folder.end()) found.push_back(std::stoi(name));
  }
  return found;
}

static void EndProcessesIn(const fs::path& folder) {
  WaitUntil([&] {
    std::vector<pid_t> left = ProcessesIn(folder);
    for (pid_t pid : left) kill(pid, SIGKILL);
    return left.empty();
  });
}
#endif

// A test may have taken the owner's rights away inside (or, on Windows, made a file
// read-only); give them back so that everything can go.
static void MakeRemovable(const fs::path& path) {
  std::error_code error;
  fs::file_status status = fs::symlink_status(path, error);
  if (error || fs::is_symlink(status)) return;
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, error);
  if (!fs::is_directory(status)) return;
  for (fs::directory_iterator entry(path, error), end; !error && entry != end;
       entry.increment(error)) {
    MakeRemovable(entry->path());
  }
}

// Whatever the test did and whoever owns what it made: all of it goes, or the test fails.
void GameFolderTest::TearDown() {
  RedirectErrorMessages(nullptr);
  fs::current_path(previous_);
  EndProcessesIn(folder_);
  MakeRemovable(folder_);
  std::error_code error;
  fs::remove_all(folder_, error);
  if (error || fs::exists(folder_, error)) {
    ADD_FAILURE() << "left behind: " << folder_ << ": " << error.message();
  }
}

fs::path PathOf(const std::string& name) { return fs::u8path(name); }

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream file(PathOf(name), std::ios::binary | std::ios::trunc);
  file << bytes;
  ASSERT_TRUE(file.good()) << name;
}

std::string ReadFile(const std::string& name) {
  std::ifstream file(PathOf(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

size_t LineCount(const std::string& name) {
  std::string text = ReadFile(name);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

bool Exists(const std::string& name) {
  std::error_code error;
  return fs::exists(PathOf(name), error);
}

void RemoveFile(const std::string& name) { fs::remove(PathOf(name)); }

bool IsFolder(const std::string& name) {
  std::error_code error;
  return fs::is_directory(PathOf(name), error);
}

void MakeFolder(const std::string& name) { fs::create_directories(PathOf(name)); }

std::vector<std::string> ListFolderInOrder(const std::string& name) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(PathOf(name))) {
    names.push_back(entry.path().filename().u8string());
  }
  return names;
}

std::vector<std::string> ListFolder(const std::string& name) {
  std::vector<std::string> names = ListFolderInOrder(name);
  std::sort(names.begin(), names.end());
  return names;
}

// By the clock: under Wine a sleep may end early.
bool WaitUntil(const std::function<bool()>& done) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}

bool WaitForFile(const std::string& name) {
  return WaitUntil([&] { return Exists(name); });
}

std::string LogValue(const std::string& log, const std::string& key) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, key.size() + 1, key + "=") == 0) return line.substr(key.size() + 1);
  }
  return "<no " + key + ">";
}

void InstallStandInUpdater(const std::string& name) {
  fs::copy_file(STAND_IN_UPDATER, PathOf(name), fs::copy_options::overwrite_existing);
}

std::string ExpectedStub() {
  static const char* const kHex =
      "3B48C05B0CF27474F2710D5630E0E572"
      "F6700C72740E710D02F35CFD5C78B900"
      "81B7073678DAE3E56262B8D0E4ABA3C2"
      "C0C0A0C08000EC25B9057A2515250C03"
      "0400A466050F22000000980000000500"
      "00000100000000000000";
  std::string bytes;
  for (const char* c = kHex; c[0] && c[1]; c += 2) {
    bytes.push_back(static_cast<char>(std::stoi(std::string(c, 2), nullptr, 16)));
  }
  return bytes;
}
