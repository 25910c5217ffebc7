/* The plain way of doing a conversion's whole job, to set the converter's whole
 * process beside: reads one line such as "Am 01", writes the 90-byte stub
 * "Am01.kdp", then lists "__Am/01" with getdents64 into 64 KiB and writes
 * "Am01.txt" from a 1 MiB buffer with a few writes, both in place; then starts
 * "./vozedudo.exe Am01.txt" with posix_spawn, detached as the converter does it
 * (own session, /dev/null, default signals, empty mask), and does not wait. No
 * lock, no temporaries, no checks: what is left over is what the converter adds. */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

extern char** environ;

static const unsigned char kStub[90] = {
    0x3B, 0x48, 0xC0, 0x5B, 0x0C, 0xF2, 0x74, 0x74, 0xF2, 0x71, 0x0D, 0x56, 0x30, 0xE0, 0xE5,
    0x72, 0xF6, 0x70, 0x0C, 0x72, 0x74, 0x0E, 0x71, 0x0D, 0x02, 0xF3, 0x5C, 0xFD, 0x5C, 0x78,
    0xB9, 0x00, 0x81, 0xB7, 0x07, 0x36, 0x78, 0xDA, 0xE3, 0xE5, 0x62, 0x62, 0xB8, 0xD0, 0xE4,
    0xAB, 0xA3, 0xC2, 0xC0, 0xC0, 0xA0, 0xC0, 0x80, 0x00, 0xEC, 0x25, 0xB9, 0x05, 0x7A, 0x25,
    0x15, 0x25, 0x0C, 0x03, 0x04, 0x00, 0xA4, 0x66, 0x05, 0x0F, 0x22, 0x00, 0x00, 0x00, 0x98,
    0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

static char entries[65536];
static char out[1 << 20];

static int WriteAll(int fd, const char* bytes, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, bytes, size);
    if (written <= 0) return 0;
    bytes += written;
    size -= (size_t)written;
  }
  return 1;
}

int main(void) {
  char line[256], campaign[8], mission[8], folder[32], name[32], place[32];
  if (!fgets(line, sizeof line, stdin) || sscanf(line, "%7s %7s", campaign, mission) != 2) {
    return 1;
  }
  snprintf(name, sizeof name, "%s%s.kdp", campaign, mission);
  int stub = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (stub < 0 || !WriteAll(stub, (const char*)kStub, sizeof kStub) || close(stub) != 0) return 1;

  snprintf(folder, sizeof folder, "__%s/%s", campaign, mission);
  int place_length = snprintf(place, sizeof place, "__%s\\%s\\", campaign, mission);
  snprintf(name, sizeof name, "%s%s.txt", campaign, mission);
  int dir = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int list = open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (dir < 0 || list < 0) return 1;
  size_t used = (size_t)snprintf(out, sizeof out, " %s%s.kdp\r\n", campaign, mission);
  ssize_t got;
  while ((got = getdents64(dir, entries, sizeof entries)) > 0) {
    for (ssize_t at = 0; at < got;) {
      const struct dirent64* entry = (const struct dirent64*)(entries + at);
      at += entry->d_reclen;
      const char* d = entry->d_name;
      if (d[0] == '.' && (d[1] == '\0' || (d[1] == '.' && d[2] == '\0'))) continue;
      size_t length = strlen(d);
      size_t need = 9 + 2 * (size_t)place_length + 2 * length + 3;
      if (used + need > sizeof out) {
        if (!WriteAll(list, out, used)) return 1;
        used = 0;
      }
      char* p = out + used;
      memcpy(p, "missions\\", 9), p += 9;
      memcpy(p, place, (size_t)place_length), p += place_length;
      memcpy(p, d, length), p += length;
      *p++ = '#';
      memcpy(p, place, (size_t)place_length), p += place_length;
      memcpy(p, d, length), p += length;
      *p++ = '\r', *p++ = '\n';
      used = (size_t)(p - out);
    }
  }
  if (got < 0 || !WriteAll(list, out, used) || close(list) != 0) return 1;
  close(dir);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  sigset_t all, none;
  memset(&all, 0xff, sizeof all); /* glibc's sigfillset leaves two out, then ignored */
  sigemptyset(&none);
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDWR, 0);
  posix_spawn_file_actions_adddup2(&actions, 0, 1);
  posix_spawn_file_actions_adddup2(&actions, 0, 2);
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  char program[] = "./vozedudo.exe";
  char* argv[] = {program, name, NULL};
  pid_t child;
  return posix_spawn(&child, program, &actions, &attributes, argv, environ) == 0 ? 0 : 1;
}
