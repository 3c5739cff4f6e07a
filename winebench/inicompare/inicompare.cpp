// Compares the native initialisation-file reader (tools/common/inifile.cpp) with the
// system's GetPrivateProfileStringA on a set of files. Each file is written into the
// folder given as the first argument (the temp folder by default) and queried both
// ways; every query prints one line, "same" or "DIFF", and the last line is the
// count. The exit code is 1 when any query differs.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "inifile.h"

using namespace std::string_literals;

namespace {

struct Query {
    const char* section;
    const char* key;
    const char* def;
    unsigned size;
};

struct Case {
    const char* name;
    std::string text;  // nullopt-like: "<missing>" means no file at all
    std::vector<Query> queries;
};

std::string Shown(const char* p, size_t n)
{
    std::string s = "\"";
    for (size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        } else {
            s += char(c);
        }
    }
    return s + "\"";
}

std::string Shown(const char* p) { return p ? Shown(p, std::strlen(p)) : "NULL"; }

std::vector<Case> Cases()
{
    const std::string a300(300, 'a');
    const std::string b255(255, 'b');
    return {
        {"blanks",
         "[S]\r\n  key1  =  value one  \r\nkey2=v2\r\n\tkey3\t=\ttabbed\t\r\nmy key = in between\r\n",
         {{"S", "key1", "", 256},
          {"S", " key1 ", "", 256},
          {"S", "key2", "", 256},
          {"S", "key3", "", 256},
          {"S", "my key", "", 256},
          {" S ", "key2", "", 256}}},
        {"comments",
         "[S]\r\n;key3=commented\r\n#key4=hash\r\nkey5=val ; not a comment\r\nkey6=val # hash\r\n  ;key7=indented\r\n",
         {{"S", "key3", "", 256},
          {"S", ";key3", "", 256},
          {"S", "key4", "", 256},
          {"S", "#key4", "", 256},
          {"S", "key5", "", 256},
          {"S", "key6", "", 256},
          {"S", "key7", "", 256},
          {"S", ";key7", "", 256}}},
        {"quotes",
         "[Q]\r\nq1=\"quoted\"\r\nq2='single'\r\nq3=\"mismatch'\r\nq4=\"\r\nq5=\"\"\r\nq6=\" spaced \"\r\n"
         "q7=\"a\"b\"\r\nq8='\r\nq9=x\"y\"\r\nq10=\"open\r\n",
         {{"Q", "q1", "", 256},
          {"Q", "q2", "", 256},
          {"Q", "q3", "", 256},
          {"Q", "q4", "", 256},
          {"Q", "q5", "", 256},
          {"Q", "q6", "", 256},
          {"Q", "q7", "", 256},
          {"Q", "q8", "", 256},
          {"Q", "q9", "", 256},
          {"Q", "q10", "", 256},
          {"Q", "q1", "", 7},
          {"Q", "q1", "", 8},
          {"Q", "q1", "", 9}}},
        {"duplicate keys",
         "[K]\r\nk=first\r\nk=second\r\nK=upper\r\nlone\r\nlone=later\r\n",
         {{"K", "k", "", 256}, {"K", "K", "", 256}, {"K", "lone", "dflt", 256}}},
        {"duplicate sections",
         "[D]\r\na=1\r\n[E]\r\nx=1\r\n[d]\r\na=2\r\nb=3\r\n",
         {{"D", "a", "", 256}, {"D", "b", "", 256}, {"d", "a", "", 256}, {"E", "x", "", 256}}},
        {"empty values",
         "[V]\r\nempty=\r\nblank=   \r\nset=1\r\n",
         {{"V", "empty", "dflt", 256}, {"V", "blank", "dflt", 256}, {"V", "empty", "", 256}, {"V", "set", "", 256}}},
        {"long values",
         "[L]\r\nlong=" + a300 + "\r\nqlong=\"" + a300 + "\"\r\nq255=\"" + b255 + "\"\r\nplain255=" + b255 + "\r\n",
         {{"L", "long", "", 256},
          {"L", "qlong", "", 256},
          {"L", "q255", "", 256},
          {"L", "plain255", "", 256},
          {"L", "long", "", 10},
          {"L", "long", "", 1}}},
        {"missing",
         "[M]\r\nk=v\r\n",
         {{"N", "k", "", 256},
          {"M", "absent", "", 256},
          {"N", "k", "fallback", 256},
          {"M", "absent", "dflt   ", 256},
          {"M", "absent", "\"qd\"", 256}}},
        {"missing file", "<missing>", {{"M", "k", "", 256}, {"M", "k", "dflt", 256}}},
        {"spaced sections",
         "[ Spaced ]\r\nk=spaced\r\n[Tight]\r\nk=tight\r\n[Tab\t]\r\nk=tab\r\n",
         {{"Spaced", "k", "", 256},
          {" Spaced ", "k", "", 256},
          {"Tight", "k", "", 256},
          {" Tight ", "k", "", 256},
          {"Tab", "k", "", 256}}},
        {"odd heads",
         "[T]junk\r\nk=t\r\n[U\r\nk=u\r\n[V]x]\r\nk=v\r\n[]\r\nk=empty\r\n",
         {{"T", "k", "", 256},
          {"U", "k", "", 256},
          {"V", "k", "", 256},
          {"V]x", "k", "", 256},
          {"", "k", "", 256},
          {"T", "[U", "", 256}}},
        {"no section", "k=before\r\n[S]\r\nk=inside\r\n", {{"", "k", "", 256}, {"S", "k", "", 256}}},
        {"case", "[MiXeD]\r\nKeY=v\r\n", {{"mixed", "key", "", 256}, {"MIXED", "KEY", "", 256}}},
        {"line ends",
         "[A]\rcr=1\rlf=x\n[B]\nlf=2\r\r\ncrlf=3\n",
         {{"A", "cr", "", 256}, {"A", "lf", "", 256}, {"B", "lf", "", 256}, {"B", "crlf", "", 256}}},
        {"high bytes",
         "[0404]\r\nt=\xA4\xA4\xA4\xE5\r\nu=\xC4\xE3\xBA\xC3 \xA0\r\nw=\xA5\x5C\xAF\xE0\r\n",
         {{"0404", "t", "", 256}, {"0404", "u", "", 256}, {"0404", "w", "", 256}}},
        {"control bytes",
         "[C]\r\nz=zed\x1a\r\nn=ab\0cd\r\nm\0x=hidden\r\n"s,
         {{"C", "z", "", 256}, {"C", "n", "", 256}, {"C", "m", "", 256}}},
        {"utf8 mark", "\xEF\xBB\xBF[S]\r\nk=v\r\n", {{"S", "k", "", 256}}},
        {"empty file", "", {{"", "k", "", 256}, {"S", "k", "dflt", 256}}},
        {"empty key name", "[S]\r\n=nameless\r\nk=v\r\n", {{"S", "", "dflt", 256}, {"S", "k", "", 256}}},
        {"lang sample",
         "[0409]\r\nIDC_QUIT=Close\r\nNOLOGO=NO\r\n[0804]\r\nIDC_QUIT=\r\n[0c04]\r\nIDC_QUIT=Shut\r\n",
         {{"0804", "IDC_QUIT", "", 256},
          {"0409", "IDC_QUIT", "", 256},
          {"0C04", "IDC_QUIT", "", 256},
          {"0000", "IDC_QUIT", "", 256},
          {"0409", "nologo", "", 256}}},
    };
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dir;
    if (argc > 1) {
        dir = argv[1];
    } else {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        dir = tmp;
    }
    if (!dir.empty() && dir.back() != '\\')
        dir += '\\';

    int same = 0, differ = 0, fileNo = 0;
    for (const Case& c : Cases()) {
        // A new name per file: the profile code caches files by name.
        const std::string path =
            dir + "inicompare" + std::to_string(++fileNo) + "_" + std::to_string(GetCurrentProcessId()) + ".ini";
        DeleteFileA(path.c_str());
        if (c.text != "<missing>") {
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) {
                std::printf("cannot write %s\n", path.c_str());
                return 2;
            }
            std::fwrite(c.text.data(), 1, c.text.size(), f);
            std::fclose(f);
        }
        for (const Query& q : c.queries) {
            char want[1024], got[1024];
            std::memset(want, 0xCC, sizeof want);
            std::memset(got, 0xCC, sizeof got);
            const DWORD wn = GetPrivateProfileStringA(q.section, q.key, q.def, want, q.size, path.c_str());
            const std::uint32_t gn = skin::IniFileString(path.c_str(), q.section, q.key, q.def, got, q.size);
            const bool ok = wn == gn && wn < q.size && std::memcmp(want, got, wn + 1) == 0;
            (ok ? same : differ)++;
            if (ok) {
                std::printf("same %-18s [%s] %s size %u -> %s (%lu)\n", c.name, q.section, Shown(q.key).c_str(), q.size,
                            Shown(want, wn).c_str(), (unsigned long)wn);
            } else {
                std::printf("DIFF %-18s [%s] %s def %s size %u: system %s (%lu), native %s (%u)\n", c.name, q.section,
                            Shown(q.key).c_str(), Shown(q.def).c_str(), q.size,
                            Shown(want, wn < q.size ? wn : 0).c_str(), (unsigned long)wn,
                            Shown(got, gn < q.size ? gn : 0).c_str(), gn);
            }
        }
        DeleteFileA(path.c_str());
    }
    std::printf("inicompare: %d passed, %d failed\n", same, differ);
    return differ ? 1 : 0;
}
