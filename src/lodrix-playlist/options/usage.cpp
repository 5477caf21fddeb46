#include "options.h"

#include <stdio.h>
#include <string.h>

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
"      --match=ANFRAGE      nur die Titel, auf die ANFRAGE passt (mehrmals: auf eine davon),\n"
"                           in der Sprache von beets: Begriffe, durch Leerzeichen getrennt,\n"
"                           muessen alle passen; ein , allein trennt Anfragen (eine passt):\n"
"                             TEXT         title, artist, albumartist, album, genre oder\n"
"                                          composer enthaelt TEXT, in jeder Schreibweise\n"
"                             FELD:TEXT    FELD enthaelt TEXT, in jeder Schreibweise\n"
"                             FELD:=TEXT   FELD ist genau TEXT; FELD:= FELD fehlt\n"
"                             FELD:=~TEXT  FELD ist TEXT, in jeder Schreibweise\n"
"                             FELD::RA     der regulaere Ausdruck RA (PCRE2) passt auf FELD;\n"
"                                          ::RA auf eines der Felder von TEXT\n"
"                             FELD:N, FELD:VON..BIS, FELD:VON.., FELD:..BIS  fuer year,\n"
"                                          track, disc, length (90, 2.5, 1h2m3s, 3:30.5)\n"
"                             path:PFAD    die Datei PFAD oder alles im Ordner PFAD;\n"
"                                          TEXT mit / ebenso, wenn es PFAD gibt\n"
"                           ^ oder - davor verneint, \"...\" fasst Leerzeichen ein, \\ macht\n"
"                           das naechste Zeichen woertlich. FELDer: title artist albumartist\n"
"                           album genre composer year track disc length path.\n"
"                           Anders als in beets:\n"
"                             artist ist ohne artist-Tag der albumartist\n"
"                             jede Schreibweise: Unicode-Faltung (beets: nur A bis Z)\n"
"                             TEXT sucht in composer (beets: in comments)\n"
"                             FELD: ohne TEXT passt nur auf Titel mit FELD (beets: alle)\n"
"                             length:N ist die ganze Sekunde N (beets: genau N)\n"
"                             ein unbekanntes FELD ist ein Fehler (beets: passt auf nichts)\n"
"                             sortiert wird mit --sort (beets: FELD+ oder FELD- in ANFRAGE)\n"
"                             Titel ohne das Feld stehen bei --sort zuletzt\n"
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
"  -h, --help               diese Hilfe zeigen\n"
"  -V, --version            die Version zeigen\n"
"\n"
"Die Schritte: lesen, --match, --sort oder --order, --shuffle, --limit, schreiben; mit -e\n"
"fuer die Liste jedes Ordners.\n"
"\n"
"Gemerkt wird je Datei, was das Lesen ergab, unter ihrem Pfad, Geraet, Inode, Groesse,\n"
"Aenderungs- und Statuszeit und der Version des Lesens: weicht eines ab, wird sie neu\n"
"gelesen. Leeren: die Datei loeschen.\n"
"\n"
"Status: 0 geschrieben; 1 falsche Option oder Anfrage, Operand fehlt oder keine Mediendatei;\n"
"2 Schreibfehler; 3 kein aktuelles Verzeichnis.\n";
static const char version_text[] = "lodrix-playlist 2.1\n";

// On standard output, as the user's terminal shows it.
static int print(const char *text) {
    int error = write_text(stdout, text, strlen(text)) ? 0 : -1;
    return close_output(stdout, program_name, error);
}

int print_usage() { return print(translated(usage_text)); }

int print_version() { return print(version_text); }
