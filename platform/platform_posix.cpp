// POSIX implementation of the platform services. Backslash paths become slash
// paths, a message box is a line on stderr, and programs are started detached.
#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <limits.h>
#include <locale.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/platform.h"
#include "platform/system_calls.h"
#include "platform/windows_names.h"

// The system calls, replaceable by tests (see OverrideSystemCall).
SystemCallEntry system_calls[] = {
    {"opendir", reinterpret_cast<SystemCall>(opendir), nullptr},
    {"readdir", reinterpret_cast<SystemCall>(readdir), nullptr},
    {"closedir", reinterpret_cast<SystemCall>(closedir), nullptr},
    {"open", reinterpret_cast<SystemCall>(static_cast<int (*)(const char*, int, ...)>(open)),
     nullptr},
    {"linkat", reinterpret_cast<SystemCall>(linkat), nullptr},
    {"link", reinterpret_cast<SystemCall>(link), nullptr},
    {"rename", reinterpret_cast<SystemCall>(rename), nullptr},
    {"fclose", reinterpret_cast<SystemCall>(fclose), nullptr},
    {"fork", reinterpret_cast<SystemCall>(fork), nullptr},
};

const size_t kSystemCallCount = sizeof system_calls / sizeof system_calls[0];

namespace {

enum { kOpendir, kReaddir, kClosedir, kOpen, kLinkat, kLink, kRename, kFclose, kFork };

}  // namespace

// Finding programs as the Windows shell finds a bare name.
namespace {

bool IsWindowsProgram(const std::string& path) {
  char magic[2] = {0, 0};
  FILE* file = fopen(path.c_str(), "rb");
  if (!file) return false;
  size_t read = fread(magic, 1, sizeof magic, file);
  fclose(file);
  return read == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

// A Windows program needs no execute permission: wine starts it.
bool IsStartable(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  return access(path.c_str(), X_OK) == 0 || IsWindowsProgram(path);
}

// The working directory first when asked, then each folder of PATH; the Windows
// shell looks for a program given by its bare name in that order.
bool FindProgram(const char* program, bool working_directory_first, std::string* path) {
  std::string candidate = std::string("./") + program;
  if (working_directory_first && IsStartable(candidate)) {
    *path = candidate;
    return true;
  }
  const char* search = getenv("PATH");
  if (!search) return false;
  for (const char* folder = search;; ++folder) {
    const char* end = strchr(folder, ':');
    size_t length = end ? static_cast<size_t>(end - folder) : strlen(folder);
    candidate.assign(folder, length);
    if (candidate.empty()) candidate = ".";
    candidate += '/';
    candidate += program;
    if (IsStartable(candidate)) {
      *path = candidate;
      return true;
    }
    if (!end) return false;
    folder = end;
  }
}

// The ANSI code page wine gives a program: that of the Windows locale matching the
// Unix locale of LC_CTYPE, or 1252 when that locale is not installed. codeset gets
// the charset wine reads file names in: the locale's own.
unsigned WineAnsiCodePage(char* codeset, size_t codeset_size) {
  snprintf(codeset, codeset_size, "UTF-8");
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = getenv(variable);
    if (name && *name) break;
  }
  if (!name || !*name) return 1252;
  locale_t installed = newlocale(LC_CTYPE_MASK, name, static_cast<locale_t>(0));
  if (!installed) return 1252;
  const char* charset = nl_langinfo_l(CODESET, installed);
  if (charset && *charset && strcmp(charset, "ANSI_X3.4-1968") != 0) {
    snprintf(codeset, codeset_size, "%s", charset);
  }
  freelocale(installed);

  char language[4] = "";
  size_t length = strcspn(name, "_.@");
  if (length < sizeof language) {
    memcpy(language, name, length);
    language[length] = '\0';
  }
  const char* territory = name[length] == '_' ? name + length + 1 : "";
  bool latin = strstr(name, "@latin") != nullptr;
  struct LanguageCodePage {
    const char* languages;
    unsigned code_page;
  };
  static const LanguageCodePage table[] = {
      {" cs sk pl hu sl hr bs ro sq ", 1250},
      {" ru uk be bg mk kk ky tt mn ", 1251},
      {" el ", 1253},
      {" tr az uz ", 1254},
      {" he ", 1255},
      {" ar fa ur ", 1256},
      {" et lv lt ", 1257},
      {" vi ", 1258},
      {" th ", 874},
      {" ja ", 932},
      {" ko ", 949},
      {" hi bn ta te mr gu kn ml pa ka hy ", 65001},
  };
  if (strcmp(language, "zh") == 0) {
    return strncmp(territory, "TW", 2) == 0 || strncmp(territory, "HK", 2) == 0 ? 950 : 936;
  }
  if (strcmp(language, "sr") == 0) return latin ? 1250 : 1252;
  char key[8];
  snprintf(key, sizeof key, " %s ", language);
  for (const LanguageCodePage& entry : table) {
    if (language[0] && strstr(entry.languages, key)) return entry.code_page;
  }
  return 1252;
}

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

}  // namespace

// Folder enumeration.
struct FolderScan {
  DIR* folder;
  bool windows_reader;  // names go to a Windows program's code page
  iconv_t to_reader;    // names into that code page, and back, to see they survive
  iconv_t from_reader;
  size_t folder_length;  // of "__Am\01\", which the reader puts before each name
  char name[kPathSize];  // the last name as the reader reads it
  char check[kPathSize];
};

FolderScan* BeginFolderScan(const char* pattern, const char* reader) {
  char folder[256];
  snprintf(folder, sizeof folder, "%s", pattern);
  char* slash = strrchr(folder, '\\');
  size_t folder_length = slash ? static_cast<size_t>(slash - folder) + 1 : 0;
  if (slash) {
    slash[1] = '\0';
    std::replace(folder, slash + 1, '\\', '/');
  } else {
    snprintf(folder, sizeof folder, ".");
  }
  DIR* opened = CallOf<DIR* (*)(const char*)>(kOpendir)(folder);
  if (!opened) return nullptr;
  FolderScan* scan = static_cast<FolderScan*>(calloc(1, sizeof(FolderScan)));
  if (!scan) {
    CallOf<int (*)(DIR*)>(kClosedir)(opened);
    return nullptr;
  }
  scan->folder = opened;
  scan->folder_length = folder_length;
  scan->to_reader = scan->from_reader = kNoConversion;
  // A Windows program run by wine reads the list in its ANSI code page.
  std::string program;
  scan->windows_reader = FindProgram(reader, true, &program) && IsWindowsProgram(program);
  if (scan->windows_reader) {
    char codeset[64];
    unsigned code_page = WineAnsiCodePage(codeset, sizeof codeset);
    char code_page_name[16];
    snprintf(code_page_name, sizeof code_page_name, code_page == 65001 ? "UTF-8" : "CP%u",
             code_page);
    scan->to_reader = iconv_open(code_page_name, codeset);
    scan->from_reader = iconv_open(codeset, code_page_name);
  }
  return scan;
}

// Converts all of in into out (size bytes with the terminator); false when it
// cannot be done.
static bool Convert(iconv_t conversion, const char* in, char* out, size_t size) {
  if (conversion == kNoConversion) return false;
  iconv(conversion, nullptr, nullptr, nullptr, nullptr);
  char* from = const_cast<char*>(in);
  size_t from_left = strlen(in);
  char* to = out;
  size_t to_left = size - 1;
  if (iconv(conversion, &from, &from_left, &to, &to_left) == static_cast<size_t>(-1) ||
      iconv(conversion, nullptr, nullptr, &to, &to_left) == static_cast<size_t>(-1)) {
    return false;
  }
  *to = '\0';
  return true;
}

static bool IsAscii(const char* name) {
  for (const char* c = name; *c; ++c) {
    if (static_cast<unsigned char>(*c) >= 0x80) return false;
  }
  return true;
}

// Puts name into the reader's code page; false for a name it cannot hold. A name
// must come back unchanged: a look-alike ("\xC2\xA5" as a backslash in code page
// 932) would name another file.
static bool ToReader(FolderScan* scan, const char* name) {
  bool converted = false;
  if (!scan->windows_reader) {
    snprintf(scan->name, sizeof scan->name, "%s", name);
    return true;
  }
  if (!WindowsOpensByName(name)) return false;
  if (Convert(scan->to_reader, name, scan->name, sizeof scan->name)) {
    converted = Convert(scan->from_reader, scan->name, scan->check, sizeof scan->check) &&
                strcmp(scan->check, name) == 0;
  } else if (scan->to_reader == kNoConversion && IsAscii(name)) {
    snprintf(scan->name, sizeof scan->name, "%s", name);  // no conversion needed
    converted = true;
  }
  // The reader opens the entry by its path, which must fit the ANSI functions.
  // (A backslash may stand as the second byte of a double-byte letter: that is fine.)
  return converted && scan->folder_length + strlen(scan->name) < 260;
}

FolderStep NextFolderEntry(FolderScan* scan, const char** name) {
  for (;;) {
    errno = 0;
    const dirent* entry = CallOf<dirent* (*)(DIR*)>(kReaddir)(scan->folder);
    if (!entry) return errno == 0 ? kFolderEnd : kFolderError;
    const char* found = entry->d_name;
    if (strcmp(found, ".") == 0 || strcmp(found, "..") == 0) continue;
    // A line break would add a line to the list; a backslash would read as a
    // separator in the list's backslash paths.
    if (strpbrk(found, "\r\n\\")) return kFolderBadName;
    if (!ToReader(scan, found)) return kFolderBadName;
    *name = scan->name;
    return kFolderEntry;
  }
}

void EndFolderScan(FolderScan* scan) {
  CallOf<int (*)(DIR*)>(kClosedir)(scan->folder);
  if (scan->to_reader != kNoConversion) iconv_close(scan->to_reader);
  if (scan->from_reader != kNoConversion) iconv_close(scan->from_reader);
  free(scan);
}

// Temporary names are removed when a signal ends the program while they exist.
namespace {

const int kCleanedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr size_t kCleanedCount = sizeof kCleanedSignals / sizeof kCleanedSignals[0];
constexpr int kNamedFiles = 8;
// Names the handler removes; a slot is in use while its first byte is not zero.
char* volatile named_files[kNamedFiles];
struct sigaction previous_actions[kCleanedCount];
struct sigaction previous_file_size_action;
bool handlers_installed = false;
int open_replacements = 0;

void RemoveNamedFilesOnSignal(int signal_number) {
  int saved_errno = errno;
  for (char* volatile& name : named_files) {
    if (name && name[0]) unlink(name);
  }
  // Whoever handled the signal before us (or the default) now ends the program.
  for (size_t i = 0; i < kCleanedCount; ++i) {
    if (kCleanedSignals[i] == signal_number)
      sigaction(signal_number, &previous_actions[i], nullptr);
  }
  raise(signal_number);  // delivered when this handler returns
  errno = saved_errno;
}

void InstallCleanupHandlers() {
  if (handlers_installed) return;
  struct sigaction cleanup;
  memset(&cleanup, 0, sizeof cleanup);
  cleanup.sa_handler = RemoveNamedFilesOnSignal;
  sigemptyset(&cleanup.sa_mask);
  for (int signal_number : kCleanedSignals) sigaddset(&cleanup.sa_mask, signal_number);
  for (size_t i = 0; i < kCleanedCount; ++i) {
    sigaction(kCleanedSignals[i], nullptr, &previous_actions[i]);
    // A signal the caller ignores stays ignored.
    if (previous_actions[i].sa_handler != SIG_IGN) {
      sigaction(kCleanedSignals[i], &cleanup, nullptr);
    }
  }
  // A file grown past the size limit fails the write, which is reported, instead
  // of ending the program.
  struct sigaction ignore;
  memset(&ignore, 0, sizeof ignore);
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous_file_size_action);
  handlers_installed = true;
}

void RemoveCleanupHandlers() {
  if (!handlers_installed) return;
  for (size_t i = 0; i < kCleanedCount; ++i) {
    struct sigaction current;
    sigaction(kCleanedSignals[i], nullptr, &current);
    if (current.sa_handler == RemoveNamedFilesOnSignal) {
      sigaction(kCleanedSignals[i], &previous_actions[i], nullptr);
    }
  }
  sigaction(SIGXFSZ, &previous_file_size_action, nullptr);
  handlers_installed = false;
}

void Watch(char* name) {
  for (char* volatile& slot : named_files) {
    if (slot == name) return;
  }
  for (char* volatile& slot : named_files) {
    if (!slot) {
      slot = name;
      return;
    }
  }
}

void Unwatch(char* name) {
  for (char* volatile& slot : named_files) {
    if (slot == name) slot = nullptr;
  }
}

// Makes a file of a new name beside path's file, ".Am01.txt.new-PID-N", with
// create(name), which fails with EEXIST when the name is taken (a file left by an
// earlier process of the same number): then the next number is tried. The name is
// watched, so that a signal removes the file. False, and name empty, on failure.
template <typename Create>
bool CreateBeside(const char* path, const char* kind, char* name, Create create) {
  static unsigned counter = 0;
  const char* slash = strrchr(path, '/');
  int folder_length = slash ? static_cast<int>(slash - path) + 1 : 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    int length = snprintf(name, kPathSize, "%.*s.%s.%s-%ld-%u", folder_length, path,
                          path + folder_length, kind, static_cast<long>(getpid()), ++counter);
    if (length < 0 || static_cast<size_t>(length) >= kPathSize) break;
    Watch(name);
    if (create(name)) return true;
    if (errno != EEXIST) break;
  }
  name[0] = '\0';
  return false;
}

// Follows symbolic links from name to the file they end at, which need not exist.
bool ResolveLinks(const char* name, char* resolved) {
  snprintf(resolved, kPathSize, "%s", name);
  for (int depth = 0; depth < 40; ++depth) {
    struct stat status;
    if (lstat(resolved, &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    char link[kPathSize];
    ssize_t length = readlink(resolved, link, sizeof link - 1);
    if (length < 0 || static_cast<size_t>(length) >= sizeof link - 1) return false;
    link[length] = '\0';
    if (link[0] == '/') {
      snprintf(resolved, kPathSize, "%s", link);
      continue;
    }
    const char* slash = strrchr(resolved, '/');
    int folder_length = slash ? static_cast<int>(slash - resolved) + 1 : 0;
    char next[kPathSize];
    if (snprintf(next, sizeof next, "%.*s%s", folder_length, resolved, link) >=
        static_cast<int>(sizeof next)) {
      return false;
    }
    memcpy(resolved, next, sizeof next);
  }
  return false;
}

bool ProcFileSystemPresent() { return access("/proc/self/fd", X_OK) == 0; }

}  // namespace

static sigset_t mask_before_holding;

void HoldInterruptions() {
  sigset_t held;
  sigemptyset(&held);
  for (int signal_number : kCleanedSignals) sigaddset(&held, signal_number);
  sigprocmask(SIG_BLOCK, &held, &mask_before_holding);
}

// What the caller had blocked stays blocked.
void ReleaseInterruptions() { sigprocmask(SIG_SETMASK, &mask_before_holding, nullptr); }

int BeginFileReplacement(FileReplacement* file, const char* target) {
  memset(file, 0, sizeof *file);
  // Through a symbolic link the file it names is replaced, and the link stays.
  char resolved[kPathSize];
  if (!ResolveLinks(target, resolved)) return 0;
  memcpy(file->target, resolved, sizeof resolved);
  if (open_replacements++ == 0) InstallCleanupHandlers();

  // The new file has no name until it is complete, so not even a kill leaves it.
  const char* slash = strrchr(file->target, '/');
  char folder[kPathSize];
  snprintf(folder, sizeof folder, "%.*s", slash ? static_cast<int>(slash - file->target) : 1,
           slash ? file->target : ".");
  if (folder[0] == '\0') snprintf(folder, sizeof folder, "/");
  int fd = -1;
  auto open_call = CallOf<int (*)(const char*, int, ...)>(kOpen);
  if (ProcFileSystemPresent()) fd = open_call(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    // No such files here: a named temporary, removed on failure and on a signal.
    CreateBeside(file->target, "new", file->temp, [&](const char* name) {
      fd = open_call(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      return fd >= 0;
    });
  }
  // The new file keeps the old one's permissions and, where we may, its owner, as
  // a replaced file should.
  struct stat status;
  if (fd >= 0 && stat(file->target, &status) == 0) {
    if (fchown(fd, status.st_uid, status.st_gid) != 0) {
      // only root may give a file away; the new file stays ours
    }
    fchmod(fd, status.st_mode & 07777);
  }
  if (fd >= 0) file->stream = fdopen(fd, "wb");
  if (!file->stream) {
    if (fd >= 0) close(fd);
    EndFileReplacement(file);
    return 0;
  }
  return 1;
}

int FinishFileContent(FileReplacement* file) {
  bool ok = fflush(file->stream) == 0 && ferror(file->stream) == 0;
  if (ok && file->temp[0] == '\0') {
    // Named only now that it is complete.
    char self[64];
    snprintf(self, sizeof self, "/proc/self/fd/%d", fileno(file->stream));
    auto linkat_call = CallOf<int (*)(int, const char*, int, const char*, int)>(kLinkat);
    ok = CreateBeside(file->target, "new", file->temp, [&](const char* name) {
      return linkat_call(AT_FDCWD, self, AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
    });
  }
  ok = CallOf<int (*)(FILE*)>(kFclose)(file->stream) == 0 && ok;
  file->stream = nullptr;
  return ok ? 1 : 0;
}

int TargetIsReplaceable(const FileReplacement* file) {
  struct stat status;
  if (stat(file->target, &status) != 0) return errno == ENOENT ? 1 : 0;
  // Only a plain file: a link to a device or a pipe must not turn it into one.
  if (!S_ISREG(status.st_mode)) return 0;
  // Read-only for everyone counts even for root, as the attribute does on Windows.
  if ((status.st_mode & 0222) == 0) return 0;
  return access(file->target, W_OK) == 0 ? 1 : 0;
}

// The folder of path as an absolute path without links, then its last part.
static bool CanonicalName(const char* path, char* canonical, size_t size) {
  const char* slash = strrchr(path, '/');
  char folder[kPathSize];
  snprintf(folder, sizeof folder, "%.*s", slash ? static_cast<int>(slash - path) + 1 : 1,
           slash ? path : ".");
  char real[PATH_MAX];
  if (!realpath(folder, real)) return false;
  int length = snprintf(canonical, size, "%s/%s", real, slash ? slash + 1 : path);
  return length >= 0 && static_cast<size_t>(length) < size;
}

int SameTarget(const FileReplacement* one, const FileReplacement* other) {
  struct stat first, second;
  if (stat(one->target, &first) == 0 && stat(other->target, &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino ? 1 : 0;
  }
  // One not there yet: two links may still name the same new file.
  char first_name[PATH_MAX + kPathSize];
  char second_name[PATH_MAX + kPathSize];
  if (!CanonicalName(one->target, first_name, sizeof first_name) ||
      !CanonicalName(other->target, second_name, sizeof second_name)) {
    return strcmp(one->target, other->target) == 0 ? 1 : 0;
  }
  return strcmp(first_name, second_name) == 0 ? 1 : 0;
}

// Copies the file source into a new file named copy, with its owner and mode, so
// that the copy can stand for it; false when that cannot be done whole, with errno
// EEXIST only when the name was taken (and nothing made).
static bool CopyIntoNewFile(const char* source, const char* copy) {
  auto open_call = CallOf<int (*)(const char*, int, ...)>(kOpen);
  int from = open_call(source, O_RDONLY | O_CLOEXEC);
  if (from < 0) return false;
  struct stat status;
  int to = fstat(from, &status) == 0
               ? open_call(copy, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600)
               : -1;
  if (to < 0) {
    int error = errno;
    close(from);
    errno = error;
    return false;
  }
  bool ok =
      fchown(to, status.st_uid, status.st_gid) == 0 && fchmod(to, status.st_mode & 07777) == 0;
  char buffer[16384];
  ssize_t got;
  while (ok && (got = read(from, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    ok = got > 0 && write(to, buffer, static_cast<size_t>(got)) == got;
  }
  close(from);
  ok = close(to) == 0 && ok;
  if (!ok) {
    unlink(copy);  // ours, made above
    errno = EIO;
  }
  return ok;
}

int PutFileInPlace(FileReplacement* file) {
  if (file->temp[0] == '\0') return 0;
  struct stat status;
  file->created = lstat(file->target, &status) != 0;
  if (!file->created) {
    // The old content keeps a name of its own until the other files are in place,
    // so that it can be put back: a second link to it where we may remove that
    // again (our file), else a copy. Without either, nothing is replaced.
    auto link_call = CallOf<int (*)(const char*, const char*)>(kLink);
    bool kept = status.st_uid == geteuid() &&
                CreateBeside(file->target, "old", file->kept,
                             [&](const char* name) { return link_call(file->target, name) == 0; });
    if (!kept && !CreateBeside(file->target, "old", file->kept, [&](const char* name) {
          return CopyIntoNewFile(file->target, name);
        })) {
      return 0;
    }
  }
  if (CallOf<int (*)(const char*, const char*)>(kRename)(file->temp, file->target) != 0) return 0;
  file->temp[0] = '\0';
  return 1;
}

void RestorePreviousFile(FileReplacement* file) {
  if (file->kept[0]) {
    // Where it cannot be put back, the only old content left stays under its name.
    if (CallOf<int (*)(const char*, const char*)>(kRename)(file->kept, file->target) != 0) {
      Unwatch(file->kept);
    }
    file->kept[0] = '\0';
  } else if (file->created) {
    unlink(file->target);
  }
}

void EndFileReplacement(FileReplacement* file) {
  if (file->target[0] == '\0') return;  // never begun, or ended already
  if (file->stream) CallOf<int (*)(FILE*)>(kFclose)(file->stream);
  file->stream = nullptr;
  if (file->temp[0]) unlink(file->temp);
  if (file->kept[0]) unlink(file->kept);
  Unwatch(file->temp);
  Unwatch(file->kept);
  file->temp[0] = file->kept[0] = file->target[0] = '\0';
  if (open_replacements > 0 && --open_replacements == 0) RemoveCleanupHandlers();
}

void ShowMessageBox(const char* text) {
  fprintf(stderr, "Chyba: %s\n", text);
  fflush(stderr);
}

void StartProgramHidden(const char* program, const char* parameter) {
  std::string path;
  if (!FindProgram(program, true, &path)) return;
  std::string wine;
  if (IsWindowsProgram(path) && !FindProgram("wine", false, &wine)) return;
  const char* argv[4];
  int argc = 0;
  if (!wine.empty()) argv[argc++] = wine.c_str();
  argv[argc++] = path.c_str();
  argv[argc++] = parameter;
  argv[argc] = nullptr;

  // Only async-signal-safe calls between fork and exec.
  pid_t child = CallOf<pid_t (*)()>(kFork)();
  if (child < 0) return;
  if (child == 0) {
    // Its own session keeps a Ctrl-C in our terminal from reaching it; the
    // intermediate child exits at once so the program is never our zombie.
    setsid();
    if (fork() != 0) _exit(0);
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, STDIN_FILENO);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      if (null > STDERR_FILENO) close(null);
    }
    // Ignored signals stay ignored across exec; the program starts as fresh.
    struct sigaction standard;
    memset(&standard, 0, sizeof standard);
    standard.sa_handler = SIG_DFL;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      sigaction(signal_number, &standard, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execv(argv[0], const_cast<char* const*>(argv));
    _exit(127);
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}
