// JSON reading and writing: acceptance over the case files, values decoded, encoder output
// and the log lines with byte offsets.
#include <dirent.h>
#include <locale.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_var.h"

namespace {

struct Case {
    std::string name;
    std::string text;
};

std::vector<Case> load_cases() {
    std::string dir = KEL_SOURCE_DIR "/tests/data/json-cases";
    std::vector<Case> cases;
    DIR* d = opendir(dir.c_str());
    if (!d) return cases;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() < 6 || n.compare(n.size() - 5, 5, ".json") != 0) continue;
        std::ifstream f(dir + "/" + n, std::ios::binary);
        std::stringstream ss;
        ss << f.rdbuf();
        cases.push_back({n, ss.str()});
    }
    closedir(d);
    return cases;
}

int decode(var& out, const std::string& s) { return json_decode(out, s.data(), (int)s.size()); }

var decoded(const std::string& s) {
    var v;
    EXPECT_EQ(decode(v, s), 0) << s;
    return v;
}

std::string capture_log(const std::string& text, int* rc = nullptr) {
    int was = driver_verbose_get();
    driver_verbose_set(1);
    testing::internal::CaptureStdout();
    var v;
    int r = json_decode(v, text.data(), (int)text.size());
    if (rc) *rc = r;
    std::string out = testing::internal::GetCapturedStdout();
    driver_verbose_set(was);
    return out;
}

// The number text form by its definition, through the C library.
std::string reference_number(double d) {
    int32_t i = d != d ? 0 : d >= 2147483647.0 ? INT32_MAX : d <= -2147483648.0 ? INT32_MIN
                                                                                : (int32_t)d;
    char b[512];
    if ((double)i == d) {
        snprintf(b, sizeof b, "%ld", (long)i);
        return b;
    }
    snprintf(b, sizeof b, "%f", d);
    std::string s = b;
    size_t dot = s.find('.');
    if (dot != std::string::npos)
        while (s.size() > dot + 2 && s.back() == '0') s.pop_back();
    return s;
}

}  // namespace

// The files named y* decode to a list or a dict, the n* files are refused. (Round trips and
// input cut anywhere: fuzz_json, run over these files and its corpus by corpus_json.)
TEST(JsonCases, AcceptAndRejectAsNamed) {
    std::vector<Case> cases = load_cases();
    ASSERT_GE(cases.size(), 50u) << "case files missing";
    for (const Case& c : cases) {
        var v;
        int rc = decode(v, c.text);
        EXPECT_EQ(rc, c.name[0] == 'y' ? 0 : 1) << c.name;
        EXPECT_TRUE(rc != 0 || v.type() == 3 || v.type() == 4) << c.name;
    }
}

TEST(JsonLog, SyntaxErrorsNameTheByteOffset) {
    const std::string pre = "^\\[kel_json\\.cpp:json_decode:[0-9]+\\] ";
    std::regex at(pre + "JSON_parser_char: syntax error, byte (\\d+)\n$");
    std::regex end(pre + "JSON_parser_end: syntax error\n$");
    struct {
        std::string text;
        int offset;  // -1: unfinished document
    } cases[] = {
        {"42", 0},
        {"", -1},
        {std::string("\0[1]", 4), -1},
        {"[1,", -1},
        {" \n ", -1},
        {std::string(17, '[') + std::string(17, ']'), 16},
        {"[1,/2]", 4},
        {"{\"a\" 1}", 5},
        {"[\"a\tb\"]", 3},
        {"[] x", 3},
        {"[tru]", 4},
    };
    for (const auto& c : cases) {
        int rc = 0;
        std::string out = capture_log(c.text, &rc);
        EXPECT_EQ(rc, 1) << c.text;
        std::smatch m;
        if (c.offset < 0) {
            EXPECT_TRUE(std::regex_match(out, end)) << "[" << c.text << "] logged " << out;
        } else if (std::regex_match(out, m, at)) {
            EXPECT_EQ(std::stoi(m[1]), c.offset) << c.text;
        } else {
            ADD_FAILURE() << "[" << c.text << "] logged " << out;
        }
    }
    EXPECT_EQ(capture_log("[1]"), "");
}

TEST(JsonDecode, BuildsTheTree) {
    // the encoder tells every kind apart by its text and sorts the keys
    var v = decoded("{\"b\":[1,{\"c\":null}],\"a\":true,\"s\":\"x\",\"f\":false,\"e\":{}}");
    EXPECT_EQ(json_encode(v), "{\"a\":true,\"b\":[1,{\"c\":null}],\"e\":{},\"f\":false,\"s\":\"x\"}");
    EXPECT_TRUE(v["a"].truth() && !v["f"].truth() && v["b"][1].has("c"));

    // a repeated key keeps the later value; a previous output is replaced
    var d = decoded("{\"a\":1,\"a\":[2]}");
    EXPECT_EQ(json_encode(d), "{\"a\":[2]}");
    EXPECT_EQ(decode(d, "[]"), 0);
    EXPECT_EQ(d.type(), 3);
}

TEST(JsonDecode, Numbers) {
    var v = decoded("[0,-0,12.5,-0.25,1e3,1E+3,2e-3,4294967296,2147483648,1.5e3,"
                    "9007199254740993,123456789012345678901234567890,1e400,-1e400,"
                    "0.000001,1e-400,0.1,100000000000000000000000.0]");
    double want[] = {0, 0, 12.5, -0.25, 1000, 1000, 0.002, 4294967296.0, 2147483648.0, 1500,
                     9007199254740992.0, 123456789012345678901234567890.0, HUGE_VAL, -HUGE_VAL,
                     0.000001, 0.0, 0.1, 1e23};
    ASSERT_EQ(v.len(), (int)(sizeof want / sizeof want[0]));
    for (int i = 0; i < v.len(); i++) EXPECT_EQ(v[i].number(), want[i]) << "element " << i;

    // every float text must read as strtod reads it, whether the fast path takes it or not
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; i++) {
        char t[512];
        uint64_t bits = rng();
        double d;
        memcpy(&d, &bits, sizeof d);
        if (d != d || d - d != 0) continue;
        static const char* fmts[] = {"%.17g", "%.6g", "%.3f", "%.15e"};
        snprintf(t, sizeof t, fmts[i % 4], i % 8 < 4 ? d : (double)(rng() % 100000000) / 1000);
        std::string doc = std::string("[") + t + "]";
        var x;
        ASSERT_EQ(decode(x, doc), 0) << doc;
        ASSERT_EQ(x[0].number(), strtod(t, nullptr)) << t;
    }
}

// A decimal-comma locale, from the system or compiled into the work directory.
static bool comma_locale() {
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8"};
    for (const char* n : names)
        if (setlocale(LC_NUMERIC, n)) return true;
    const char* make = "mkdir -p locale && "
                       "localedef -i de_DE -f UTF-8 locale/de_DE.UTF-8 >/dev/null 2>&1";
    if (system(make) != 0) return false;
    setenv("LOCPATH", "./locale", 1);
    return setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
}

TEST(JsonDecode, ManyNumbersKeepTheirOwnValues) {
    // large documents share one object per distinct number; colliding values must not mix
    std::string doc = "[";
    std::vector<double> want;
    std::mt19937 rng(3);
    for (int i = 0; i < 9000; i++) {
        const double kinds[6] = {(double)(i % 1500), -(double)(i % 700), (double)(rng() % 100000) / 8.0,
                                 i % 2 ? 0.0 : -0.0, 1024.0 * (double)(rng() % 64),
                                 (double)(rng() % 3000000000u)};
        double d = kinds[i % 6];
        char b[64];
        snprintf(b, sizeof b, "%s%.17g", i ? "," : "", d);
        doc += b;
        want.push_back(d);
    }
    doc += "]";
    var v = decoded(doc);
    ASSERT_EQ(v.len(), (int)want.size());
    for (int i = 0; i < v.len(); i++)
        ASSERT_TRUE(v[i].number() == want[i] && signbit(v[i].number()) == signbit(want[i])) << i;
    // the largest texts get a bigger table; the values must not change with it
    var big = decoded(doc + std::string(300000, ' '));
    EXPECT_EQ(json_encode(big), json_encode(v));
    var t = decoded("[" + std::string(5000 * 5, ' ') + "true,false,true]");
    EXPECT_EQ(json_encode(t), "[true,false,true]");
}

TEST(JsonNumbers, IndependentOfTheLocaleDecimalPoint) {
    if (!comma_locale()) GTEST_SKIP() << "no decimal-comma locale available";
    bool comma = localeconv()->decimal_point[0] == ',';
    var v;
    int rc = decode(v, "[1.5,2.25e1,0.1234567890123456789,1.5e300]");
    std::string big = json_encode(var(1.5e300)), small = json_encode(var(0.25));
    setlocale(LC_NUMERIC, "C");
    ASSERT_TRUE(comma);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::vector<double>({v[0].number(), v[1].number(), v[2].number(), v[3].number()}),
              std::vector<double>({1.5, 22.5, 0.1234567890123456789, 1.5e300}));
    EXPECT_EQ(big, reference_number(1.5e300));
    EXPECT_EQ(small, "0.25");
}

TEST(JsonDecode, Strings) {
    var v = decoded("[\"\\\"\\\\\\/\\b\\f\\n\\r\\t\",\"\\u00e9\\u20AC\",\"\\uD834\\uDD1E\","
                    "\"caf\xc3\xa9 \xff\x7f\",\"a\\u0000b\",\"\\uD800x\",\"\\uDC00\","
                    "\"\\uD834\\u0041\",\"\\uD834\\n\",\"\\uD83D\\uD83D\\uDE00\"]");
    // a string ends at its first NUL; unpaired surrogates keep their three-byte form
    // rather than failing the document
    const char* want[] = {"\"\\/\b\f\n\r\t", "\xc3\xa9\xe2\x82\xac", "\xf0\x9d\x84\x9e",
                          "caf\xc3\xa9 \xff\x7f", "a", "\xed\xa0\x80x", "\xed\xb0\x80",
                          "\xed\xa0\xb4" "A", "\xed\xa0\xb4\n", "\xed\xa0\xbd\xf0\x9f\x98\x80"};
    ASSERT_EQ(v.len(), 10);
    for (int i = 0; i < 10; i++) EXPECT_EQ(v[i].str(), want[i]) << i;

    var k = decoded("{\"k\\u0000x\":1,\"\":2}");
    EXPECT_TRUE(k.has("k") && k.has(""));
    std::string longs(100000, 'q');
    EXPECT_EQ(decoded("[\"" + longs + "\"]")[0].str(), longs);
}

TEST(JsonEncode, Scalars) {
    // the edges of the integer form and of "%f"; the random test below covers the rest
    const std::pair<var, const char*> cases[] = {
        {var(), "null"}, {var(true), "true"}, {var(false), "false"}, {var(-3), "-3"},
        {var(1e-7), "0.0"}, {var(-1e-7), "-0.0"}, {var(-0.0), "0"}, {var(3e9), "3000000000.0"},
        {var(2147483647.0), "2147483647"}, {var(-2147483648.0), "-2147483648"},
        {var(2147483648.0), "2147483648.0"}, {var(0.0078125), "0.007812"},  // tie to even
        {var(HUGE_VAL), "inf"}, {var(var("x").iter()), "null"}};
    for (auto& c : cases) EXPECT_EQ(json_encode(c.first), c.second);
}

TEST(JsonEncode, NumbersMatchTheTextForm) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> small(-5000.0, 5000.0);
    for (int i = 0; i < 40000; i++) {
        double d;
        switch (i % 4) {
        case 0: d = small(rng); break;
        case 1: d = (double)(int64_t)(rng() % 2000000 - 1000000) / 1024.0; break;
        case 2: d = ldexp((double)(rng() >> 11), (int)(rng() % 140) - 120); break;
        default: {
            uint64_t bits = rng();
            memcpy(&d, &bits, sizeof d);
        }
        }
        ASSERT_EQ(json_encode(var(d)), reference_number(d)) << d;
    }
}

// The texts are committed, so every target (64- and 32-bit) must give the same bytes.
TEST(JsonEncode, AwkwardNumbersGiveTheCommittedTexts) {
    std::ifstream f(KEL_SOURCE_DIR "/tests/data/json-numbers.txt");
    std::string line;
    int n = 0;
    while (std::getline(f, line)) {
        if (line.empty() || line[0] == '#') continue;
        uint64_t bits = strtoull(line.substr(0, 16).c_str(), NULL, 16);
        double d;
        memcpy(&d, &bits, sizeof d);
        EXPECT_EQ(json_encode(var(d)), line.substr(17)) << line.substr(0, 16);
        n++;
    }
    EXPECT_GT(n, 40);
}

TEST(JsonEncode, StringEscapes) {
    static const char named[] = "\b\t\n\f\r\"\\", letter[] = "btnfr\"\\";
    std::string all, want = "\"";
    for (int c = 1; c < 256; c++) {
        all.push_back((char)c);
        const char* n = strchr(named, c);
        char b[8];
        if (n) snprintf(b, sizeof b, "\\%c", letter[n - named]);
        else if (c < 32) snprintf(b, sizeof b, "\\u%04x", c);
        else snprintf(b, sizeof b, "%c", c);
        want += b;
    }
    EXPECT_EQ(json_encode(var(all)), want + "\"");
    EXPECT_EQ(json_encode(var(std::string("ab\0cd", 5))), "\"ab\"");
    var d(4, 0);
    d.set(std::string("k\"\n\0z", 5), var(1));
    EXPECT_EQ(json_encode(d), "{\"k\\\"\\n\":1}");
}

TEST(JsonEncode, Containers) {
    var d(4, 0);
    d.set("b", var(1));
    d.set("a", var(2));
    var l(3, 0);
    list_append(l, var("x"));
    list_append(l, var());
    list_append(l, var(4, 0));
    list_append(l, var(3, 0));
    d.set("l", l);
    (void)d["m"];  // a read inserts the member as none
    EXPECT_EQ(json_encode(d), "{\"a\":2,\"b\":1,\"l\":[\"x\",null,{},[]],\"m\":null}");

    // a list holding itself is cut off instead of recursing without end
    var self(3, 0);
    list_append(self, self);
    std::string s = json_encode(self);
    EXPECT_EQ(s.substr(0, 4), "[[[[");
    EXPECT_NE(s.find("null"), std::string::npos);
    self.del(0);  // break the cycle so it is freed
}
