// The ANSI code page wine gives a program, from the Unix locale's language.
#include "platform/wine_code_page_posix.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

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
