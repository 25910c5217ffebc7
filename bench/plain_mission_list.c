/* The plainest whole program that writes a mission list, to set the converter's
 * whole process beside: reads one line such as "Am 01", then one readdir pass over
 * "__Am/01" with one fprintf per entry into "Am01.txt". It writes the list in
 * place and starts no updater. */
#include <dirent.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char line[256], campaign[8], mission[8], folder[32], target[32];
  if (!fgets(line, sizeof line, stdin) || sscanf(line, "%7s %7s", campaign, mission) != 2) {
    return 1;
  }
  snprintf(folder, sizeof folder, "__%s/%s", campaign, mission);
  snprintf(target, sizeof target, "%s%s.txt", campaign, mission);
  DIR* entries = opendir(folder);
  FILE* list = fopen(target, "wb");
  if (!entries || !list) return 1;
  fprintf(list, " %s%s.kdp\r\n", campaign, mission);
  const struct dirent* entry;
  while ((entry = readdir(entries)) != NULL) {
    if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
    fprintf(list, "missions\\__%s\\%s\\%s#__%s\\%s\\%s\r\n", campaign, mission, entry->d_name,
            campaign, mission, entry->d_name);
  }
  closedir(entries);
  return fclose(list) == 0 ? 0 : 1;
}
