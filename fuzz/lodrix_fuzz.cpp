// libFuzzer target over the argument vector and PWD. The input is NUL-separated: the first
// piece is PWD ("\x01" alone: no PWD), the others are arguments 1, 2, ... A PWD that can be
// a folder name becomes a real folder in a scratch folder, and the run happens there.
//
// Beyond not crashing, for any bytes: head + entry + tail parse as XML and the item list
// reads back; "-p" names the working directory; a value without "&" reads back as given once
// XML and then %XX are decoded, a location made of directory and name exactly as "file://" +
// directory + "/" + name. A value that is plain text (valid UTF-8 of characters XML allows,
// no control characters) reads back as given, references decoded once, outside "-p".
#include <ctype.h>
#include <libxml/parser.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lodrix/run.h"
#include "xspf/xspf.h"

static bool is_xml_char(uint32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

static void append_utf8(std::string &out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// True for valid UTF-8 whose characters XML allows, control characters excluded.
static bool is_plain_text(const std::string &text) {
    for (size_t i = 0; i < text.size();) {
        unsigned char lead = text[i];
        int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        if (extra < 0 || lead > 0xF4 || i + extra >= text.size())
            return false;
        uint32_t c = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            unsigned char next = text[i + k];
            if ((next & 0xC0) != 0x80)
                return false;
            c = c << 6 | (next & 0x3F);
        }
        static const uint32_t smallest[] = {0, 0x80, 0x800, 0x10000};
        if (c < smallest[extra] || c < 0x20 || c == 0x7F || !is_xml_char(c))
            return false;
        i += extra + 1;
    }
    return true;
}

// What a reader gets back from the text the tool was given: references it kept are decoded
// once, everything else stands for itself.
static std::string decoded(const std::string &text) {
    static const struct { std::string entity; char c; } predefined[] = {
        {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size();) {
        auto entity = std::find_if(std::begin(predefined), std::end(predefined),
                                   [&](const auto &p) { return text.compare(i, p.entity.size(), p.entity) == 0; });
        if (entity != std::end(predefined)) {
            out += entity->c;
            i += entity->entity.size();
            continue;
        }
        if (text.compare(i, 2, "&#") == 0) {
            bool hex = text.compare(i, 3, "&#x") == 0;
            size_t end = i + (hex ? 3 : 2), first = end;
            uint32_t c = 0;
            for (; end < text.size() && (hex ? isxdigit((unsigned char)text[end]) : isdigit((unsigned char)text[end])); ++end) {
                int digit = isdigit((unsigned char)text[end]) ? text[end] - '0' : tolower(text[end]) - 'a' + 10;
                c = std::min<uint32_t>(c * (hex ? 16 : 10) + digit, 0x110000);
            }
            if (end > first && end < text.size() && text[end] == ';' && is_xml_char(c)) {
                append_utf8(out, c);
                i = end + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

static std::string percent_decoded(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && isxdigit((unsigned char)text[i + 1]) &&
            isxdigit((unsigned char)text[i + 2])) {
            out += char(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

static std::vector<xmlNode *> children(xmlNode *parent, const char *name) {
    std::vector<xmlNode *> found;
    for (xmlNode *n = parent ? parent->children : nullptr; n; n = n->next)
        if (n->type == XML_ELEMENT_NODE && strcmp((const char *)n->name, name) == 0)
            found.push_back(n);
    return found;
}

static std::string text_of(xmlNode *node) {
    xmlChar *content = xmlNodeGetContent(node);
    std::string text = content ? (const char *)content : "";
    xmlFree(content);
    return text;
}

static void expect(bool ok, const char *what, const std::string &got, const std::string &want) {
    if (ok)
        return;
    fprintf(stderr, "%s: got \"%s\", expected \"%s\"\n", what, got.c_str(), want.c_str());
    abort();
}

static void check_document(const std::string &xml, const RunSettings &s, int32_t count) {
    xmlDoc *doc = xmlReadMemory(xml.data(), int(xml.size()), "fuzz.xspf", nullptr, XML_PARSE_NONET);
    expect(doc != nullptr, "document does not parse", xml, "XML");
    xmlNode *root = xmlDocGetRootElement(doc);
    auto tracks = children(children(root, "trackList").at(0), "track");
    expect(tracks.size() == 1, "tracks", std::to_string(tracks.size()), "1");
    std::string location = text_of(children(tracks[0], "location").at(0));
    std::string duration = text_of(children(tracks[0], "duration").at(0));
    std::string id = text_of(children(children(tracks[0], "extension").at(0), "id").at(0));
    auto without_amp = [](const char *value) { return strchr(value, '&') == nullptr; };

    if (s.prefix_directory && without_amp(s.directory) && without_amp(s.media_name)) {
        std::string want = std::string("file://") + s.directory + "/" + s.media_name;
        expect(percent_decoded(location) == want, "location", percent_decoded(location), want);
        // A file URI reader ends the path at the first "?" or "#".
        expect(location.find_first_of("?#") == std::string::npos, "location", location, "no ? or #");
    }
    if (!s.prefix_directory && without_amp(s.media_name))
        expect(percent_decoded(location) == percent_decoded(s.media_name), "location", location, s.media_name);
    if (!s.prefix_directory && is_plain_text(s.media_name))
        expect(location == decoded(s.media_name), "location", location, decoded(s.media_name));
    for (auto [got, given] : {std::pair{id, s.track_position}, std::pair{duration, s.duration}}) {
        if (without_amp(given))
            expect(percent_decoded(got) == percent_decoded(given), "id or duration", got, given);
        if (is_plain_text(given))
            expect(got == decoded(given), "id or duration", got, decoded(given));
    }
    auto items = children(children(root, "extension").at(0), "item");
    expect(items.size() == size_t(count), "items", std::to_string(items.size()), std::to_string(count));
    for (int32_t k = 1; k <= count; ++k) {
        xmlChar *tid = xmlGetProp(items[k - 1], (const xmlChar *)"tid");
        expect(std::to_string(k) == (const char *)tid, "tid", (const char *)tid, std::to_string(k));
        xmlFree(tid);
    }
    xmlFreeDoc(doc);
}

static void ignore_xml_errors(void *, const char *, ...) {}

static std::string scratch;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    xmlSetGenericErrorFunc(nullptr, ignore_xml_errors);
    char folder[] = "/tmp/lodrix-fuzz.XXXXXX";
    if (mkdtemp(folder) == nullptr)
        abort();
    scratch = folder;
    atexit([] { rmdir(scratch.c_str()); });
    return 0;
}

static bool can_be_folder_name(const std::string &name) {
    return !name.empty() && name.size() < 200 && name != "." && name != ".." && name.find('/') == std::string::npos;
}

static bool names_working_directory(const char *path) {
    struct stat named, working;
    return stat(path, &named) == 0 && stat(".", &working) == 0 && named.st_dev == working.st_dev &&
           named.st_ino == working.st_ino;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < size; ++i)
        data[i] ? pieces.back() += char(data[i]) : pieces.emplace_back();
    if (pieces.size() < 2)
        return 0;
    std::string folder = scratch + "/" + pieces[0];
    bool made = can_be_folder_name(pieces[0]) && mkdir(folder.c_str(), 0700) == 0;
    if (chdir(made ? folder.c_str() : scratch.c_str()) != 0)
        abort();
    if (pieces[0] == "\x01")
        unsetenv("PWD");
    else
        setenv("PWD", made ? folder.c_str() : pieces[0].c_str(), 1);
    std::vector<char *> argv = {const_cast<char *>("lodrix")};
    for (size_t i = 1; i < pieces.size(); ++i)
        argv.push_back(&pieces[i][0]);
    argv.push_back(nullptr);
    RunSettings s = scan_arguments(int(argv.size() - 1), argv.data());

    // Long lists are the item list's business elsewhere; keep each input fast.
    int32_t count = s.want_tail && s.item_count < 300 ? s.item_count : 300;
    // A real file: the writer makes its stream unbuffered, which glibc's memory streams
    // do not survive.
    FILE *file = tmpfile();
    if (file == nullptr)
        abort();
    start_output(file);
    RunSettings whole = s;
    whole.want_head = whole.want_tail = true;
    whole.item_count = count;
    write_playlist(whole);
    if (finish_output() != 0)
        abort();
    std::string xml;
    rewind(file);
    char chunk[65536];
    for (size_t n; (n = fread(chunk, 1, sizeof chunk, file)) > 0;)
        xml.append(chunk, n);
    fclose(file);

    check_document(xml, s, count);
    if (s.prefix_directory)
        expect(names_working_directory(s.directory), "-p directory", s.directory, "the working directory");
    if (made && (chdir(scratch.c_str()) != 0 || rmdir(folder.c_str()) != 0))
        abort();
    return 0;
}
