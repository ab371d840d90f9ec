// JSON reading and writing: acceptance over the case files, values decoded (a table in
// tests/data), numbers against strtod and in a decimal-comma locale, encoder output.
#include <locale.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tests/test_util.h"
#include "util/kel_json.h"
#include "util/kel_var.h"

static int decode(var& out, const std::string& s) {
    return json_decode(out, s.data(), (int)s.size());
}

// The files of the case list named y* decode to a list or a dict, the n* files are refused.
// (Round trips and input cut anywhere: fuzz_json, run over these files and its corpus by
// corpus_json.)
TEST(JsonCases, AcceptAndRejectAsNamed) {
    const std::string dir = KEL_SOURCE_DIR "/tests/data/json-cases/";
    std::ifstream list(dir + "MANIFEST.txt");
    std::string line;
    int n = 0;
    while (std::getline(list, line)) {
        std::string name = line.substr(0, line.find(": "));
        if (name.size() < 6 || name.compare(name.size() - 5, 5, ".json") != 0) continue;
        var v;
        int rc = decode(v, slurp(dir + name));
        EXPECT_EQ(rc, name[0] == 'y' ? 0 : 1) << name;
        EXPECT_TRUE(rc != 0 || v.type() == 3 || v.type() == 4) << name;
        n++;
    }
    EXPECT_GE(n, 50) << "case files missing";
}

// Each line of json-values.txt decodes to what it names.
TEST(JsonDecode, ValuesAsNamed) {
    std::ifstream f(KEL_SOURCE_DIR "/tests/data/json-values.txt");
    std::string line;
    int n = 0;
    for (; std::getline(f, line); n++) {
        size_t sep = line.rfind(" => ");
        if (line[0] == '#' || sep == std::string::npos) continue;
        var v;
        EXPECT_EQ(decode(v, line.substr(0, sep)), 0) << line;
        EXPECT_EQ(json_encode(v), line.substr(sep + 4)) << line;
    }
    EXPECT_GT(n, 5);
}

// Every float text reads as strtod reads it, whether the fast path takes it or not.
TEST(JsonDecode, NumbersAsStrtodReadsThem) {
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

TEST(JsonNumbers, IndependentOfTheLocaleDecimalPoint) {
    if (!comma_locale()) GTEST_SKIP() << "no decimal-comma locale available";
    bool comma = localeconv()->decimal_point[0] == ',';
    var v;
    int rc = decode(v, "[1.5,2.25e1,0.1234567890123456789,1.5e300]");
    std::string big = json_encode(var(1.5e300)), small = json_encode(var(0.25));
    setlocale(LC_NUMERIC, "C");
    std::string big_c = json_encode(var(1.5e300));
    ASSERT_TRUE(comma);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(std::vector<double>({v[0].number(), v[1].number(), v[2].number(), v[3].number()}),
              std::vector<double>({1.5, 22.5, 0.1234567890123456789, 1.5e300}));
    EXPECT_EQ(big, big_c);
    EXPECT_EQ(big.find(','), std::string::npos);
    EXPECT_EQ(small, "0.25");
}

TEST(JsonEncode, Scalars) {
    // the edges of the integer form and of "%f"; json-numbers.txt holds the awkward ones
    const std::pair<var, const char*> cases[] = {
        {var(), "null"}, {var(true), "true"}, {var(false), "false"}, {var(-3), "-3"},
        {var(1e-7), "0.0"}, {var(-1e-7), "-0.0"}, {var(-0.0), "0"}, {var(3e9), "3000000000.0"},
        {var(2147483647.0), "2147483647"}, {var(-2147483648.0), "-2147483648"},
        {var(2147483648.0), "2147483648.0"}, {var(0.0078125), "0.007812"},  // tie to even
        {var(HUGE_VAL), "inf"}, {var(var("x").iter()), "null"}};
    for (auto& c : cases) EXPECT_EQ(json_encode(c.first), c.second);
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

// A list holding itself is cut off instead of recursing without end.
TEST(JsonEncode, SelfHoldingListIsCutOff) {
    var self(3, 0);
    list_append(self, self);
    std::string s = json_encode(self);
    EXPECT_EQ(s.substr(0, 4), "[[[[");
    EXPECT_NE(s.find("null"), std::string::npos);
    self.del(0);  // break the cycle so it is freed
}
