#include "usage.h"

#include <stdio.h>

static const char version[] = "2.1";
static const char release_date[] = "05.09.2021";

// One block, so the banner reaches the terminal in one write.
static const char banner[] =
"\n"
" ************************\n"
" ***      Lodrix      ***\n"
" ***   XSPF fuer VLC  ***\n"
" ************************\n"
"\n";

static const char help_template[] =
" Version %s, %s\n"
"\n"
" Gibt den XML-Quelltext fuer eine VLC-Wiedergabeliste (mit Optionen -v bzw. -n) oder einen Eintrag darin aus.\n"
"\n"
" Syntax: %s <Name der Mediendatei> [<Position des Titels in der Wiedergabeliste> [<Abspieldauer der Datei in Sekunden>]] [Optionen]\n"
"\n"
" Als Name der Mediendatei ist entweder eine Internetadresse oder \"file://\" mit dem kompletten Pfad zu einer lokalen Datei anzugeben:\n"
" Beispiel:\n"
" - Windows:\tfile://c:\\Musik\\Musikstueck.mp3\n"
" - Linux:\tfile:///home/benutzer/Musik/Musikstueck.mp3\n"
" Alternativ kann auch die Option -p verwendet werden.\n"
"\n"
" Optionen (durch Leerzeichen getrennt):\n"
"  -v\t\t\tVorspann fuer die XML-Datei ausgeben.\n"
"  -n <Titelzahl>\tNachspann fuer die XML-Datei ausgeben; die Zahl der Titel muss zusaetzlich angegeben werden.\n"
"  -p\t\t\tPfad zur lokalen Datei hinzufuegen.\n"
"\n";

static_assert(sizeof banner - 1 == 106, "the banner is six lines of 106 bytes");

void show_usage(const char *invocation_path) {
    if (invocation_path == nullptr || invocation_path[0] == '\0')
        invocation_path = "lodrix";
    fwrite(banner, 1, sizeof banner - 1, stderr);
    printf(help_template, version, release_date, invocation_path);
}
