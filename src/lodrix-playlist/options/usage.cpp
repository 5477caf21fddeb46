#include "options.h"

#include <stdio.h>

#include "lodrix-playlist/lib/text/messages.h"
#include "platform/platform.h"

static const char usage_text[] =
"Aufruf: lodrix-playlist [OPTION]... [ORDNER|DATEI]...\n"
"Schreibt eine Wiedergabeliste (XSPF, wie VLC sie liest) der Mediendateien in den ORDNERn\n"
"(rekursiv) und der genannten DATEIen auf die Standardausgabe; ohne Operanden: der aktuelle\n"
"Ordner. Ein Operand, der mit - beginnt, steht nach -- oder als ./-x.\n"
"\n"
"  -o, --output=DATEI       die Liste in DATEI schreiben, ganz oder gar nicht; Orte im\n"
"                           Ordner von DATEI relativ zu ihm\n"
"  -e, --each-folder[=NAME] in jedem Ordner mit Mediendateien eine Liste von ihnen, benannt\n"
"                           nach dem Ordner (Album/Album.xspf) oder NAME, Orte relativ\n"
"  -T, --files-from=LISTE   die Operanden aus LISTE (- fuer die Standardeingabe), einer je\n"
"                           Zeile, Zeilen mit # am Anfang uebergangen (M3U); relative ab\n"
"                           dem Ordner von LISTE\n"
"  -0, --null               in LISTE endet jeder Name mit einem NUL-Byte (find -print0)\n"
"      --order=name         in jedem Ordner nach Namen, natuerlich (Track 2 vor Track 10;\n"
"                           Vorgabe)\n"
"      --order=tags         in jedem Ordner nach CD-, dann Titelnummer, dann Namen\n"
"      --chapters           eine Datei mit zwei oder mehr Kapiteln als ein Titel je Kapitel\n"
"      --match=ANFRAGE      nur die Titel, auf die ANFRAGE passt (mehrmals: auf eine davon);\n"
"                           ihre Begriffe, durch Leerzeichen getrennt, muessen alle passen:\n"
"                             FELD:TEXT   FELD enthaelt TEXT, in jeder Schreibweise\n"
"                             FELD:=TEXT  FELD ist TEXT, in jeder Schreibweise\n"
"                             FELD:N, FELD:VON..BIS, FELD:VON.., FELD:..BIS  fuer year,\n"
"                                         track, disc und length (90, 1h2m3s, 4m, 3:30)\n"
"                             TEXT        in title, artist, albumartist, album oder path\n"
"                           ^ davor verneint einen Begriff, \"...\" fasst Leerzeichen ein;\n"
"                           FELDer: title artist albumartist album genre composer year\n"
"                           track disc length path\n"
"      --sort=FELD[,FELD]...  die ganze Liste nach diesen FELDern, -FELD absteigend; Titel\n"
"                           ohne das Feld zuletzt (nicht mit --order)\n"
"      --shuffle[=tracks|albums|spread]  zufaellig mischen: jede Reihenfolge (tracks,\n"
"                           Vorgabe), ganze Alben (albums), ein Interpret nie zweimal\n"
"                           nacheinander, wo es geht (spread)\n"
"      --seed=N             mit derselben Zahl N dieselbe Mischung\n"
"      --limit=N|DAUER      nur die ersten N Titel, oder der Reihe nach jeden, der noch in\n"
"                           DAUER passt (90m, 2h, 1h30m, 45s)\n"
"      --title=TEXT         der Titel der Liste (Vorgabe: Wiedergabeliste)\n"
"      --cache=DATEI        gelesene Dateien in DATEI merken (Vorgabe:\n"
"                           $XDG_CACHE_HOME/lodrix/readings.sqlite, sonst\n"
"                           ~/.cache/lodrix/readings.sqlite; Windows:\n"
"                           %LOCALAPPDATA%\\lodrix\\readings.sqlite)\n"
"      --no-cache           jede Datei lesen, nichts merken\n"
"      --encoding=KODIERUNG Text, der kein UTF-8 ist (Cue-Sheets, Tags), in KODIERUNG\n"
"                           lesen, statt sie zu erkennen: windows-1252, windows-1250,\n"
"                           windows-1251, gbk, big5, shift_jis, euc-kr, euc-jp, koi8-r,\n"
"                           iso-8859-2, -3, -4, -5, -6, -9, -13, -15\n"
"  -h, --help               diese Hilfe zeigen\n"
"  -V, --version            die Version zeigen\n"
"\n"
"Die Schritte: lesen, --match, --sort oder --order, --shuffle, --limit, schreiben; mit -e\n"
"fuer die Liste jedes Ordners.\n"
"\n"
"Gemerkt wird je Datei, was das Lesen ergab, unter ihrem Pfad, Geraet, Inode, Groesse,\n"
"Aenderungs- und Statuszeit, der Version des Lesens und --encoding: weicht eines ab, wird\n"
"sie neu gelesen. Leeren: die Datei loeschen.\n"
"\n"
"Text, der kein UTF-8 ist, wird ohne --encoding in der Codepage gelesen, die uchardet\n"
"darin erkennt (Windows-1252, wo sie unsicher ist); Cue-Sheets mit Byte-Order-Mark als\n"
"UTF-16.\n"
"\n"
"Status: 0 geschrieben; 1 falsche Option oder Anfrage, Operand fehlt oder keine Mediendatei;\n"
"2 Schreibfehler; 3 kein aktuelles Verzeichnis.\n";
static const char version_text[] = "lodrix-playlist 2.1\n";

int print_usage() {
    fputs(usage_text, stdout);
    return close_output(stdout, program_name, 0);
}

int print_version() {
    fputs(version_text, stdout);
    return close_output(stdout, program_name, 0);
}
