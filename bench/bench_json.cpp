// JSON decode and encode throughput on atlas descriptions of 100, 1,000 and 10,000 frames and
// on a mixed document of about 1 MB, beside nlohmann::json parsing and dumping the same text.
// Each row checks its result: ours against our encoding of the document, nlohmann's by
// reading it back.
#include <stdio.h>

#include <random>
#include <string>

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include "util/kel_driver.h"
#include "util/kel_json.h"
#include "util/kel_var.h"

namespace {

// A texture-packer style description, pretty-printed as the tools write it.
std::string atlas(int frames) {
    static const char* groups[] = {"hero/run", "hero/idle", "enemy/bat", "ui/button",
                                   "fx/spark", "tiles/grass", "items/coin", "npc/walk"};
    std::mt19937 rng(frames);
    std::string s = "{\"frames\": {\n";
    char b[768];
    for (int i = 0; i < frames; i++) {
        int w = 8 + (int)(rng() % 120), h = 8 + (int)(rng() % 120);
        int tx = (int)(rng() % 6), ty = (int)(rng() % 6);
        snprintf(b, sizeof b,
                 "%s\"%s_%04d.png\":\n{\n\t\"frame\": {\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},\n"
                 "\t\"rotated\": false,\n\t\"trimmed\": %s,\n"
                 "\t\"spriteSourceSize\": {\"x\":%d,\"y\":%d,\"w\":%d,\"h\":%d},\n"
                 "\t\"sourceSize\": {\"w\":%d,\"h\":%d},\n"
                 "\t\"pivot\": {\"x\":0.5,\"y\":0.5}\n}",
                 i ? ",\n" : "", groups[i % 8], i / 8, (int)(rng() % 2048), (int)(rng() % 2048),
                 w, h, tx || ty ? "true" : "false", tx, ty, w, h, w + tx * 2, h + ty * 2);
        s += b;
    }
    s += "},\n\"meta\": {\n\t\"app\": \"https://example.org/packer\",\n\t\"version\": \"1.0\",\n"
         "\t\"image\": \"atlas.png\",\n\t\"format\": \"RGBA8888\",\n"
         "\t\"size\": {\"w\":2048,\"h\":2048},\n\t\"scale\": \"1\"\n}\n}\n";
    return s;
}

// Records of every kind: escaped and non-ASCII strings, integers, floats, literals, nesting.
std::string mixed(size_t target) {
    static const char* words[] = {"sword", "shield", "potion", "caf\\u00e9", "line\\nbreak",
                                  "say \\\"hi\\\"", "tab\\there", "\xe4\xb8\xad\xe6\x96\x87",
                                  "\\ud83d\\ude00 smile", "path\\/to\\/file", "plain text"};
    std::mt19937 rng(42);
    std::string s = "{\"items\":[";
    char b[1024];
    for (int i = 0; s.size() < target; i++) {
        snprintf(b, sizeof b,
                 "%s{\"id\":%d,\"name\":\"%s %d\",\"price\":%d.%02d,\"weight\":%.6g,"
                 "\"tags\":[\"%s\",\"%s\",\"t%d\"],\"active\":%s,\"owner\":null,"
                 "\"pos\":[%.3f,%.4f,%de-3],\"big\":%lld,"
                 "\"meta\":{\"level\":%d,\"note\":\"%s\",\"ratio\":%.17g,\"flags\":[true,false]}}",
                 i ? "," : "", i, words[rng() % 11], i, (int)(rng() % 1000), (int)(rng() % 100),
                 (double)(rng() % 100000) / 977.0, words[rng() % 11], words[rng() % 11],
                 (int)(rng() % 50), rng() % 2 ? "true" : "false",
                 (double)(int)(rng() % 20000 - 10000) / 7.0, (double)(rng() % 5000) / 3.0,
                 (int)(rng() % 999), (long long)(rng() % 1000000) * 1000003LL,
                 (int)(rng() % 100), words[rng() % 11], (double)rng() / 4294967296.0);
        s += b;
    }
    s += "],\"count\":1}";
    return s;
}

const std::string& doc(int which) {
    static const std::string docs[] = {atlas(100), atlas(1000), atlas(10000), mixed(1 << 20)};
    return docs[which];
}

// Our decode of a document encoded again: numbers in our text form, at most 6 decimals.
const std::string& kel_text(int which) {
    static std::string texts[4];
    if (texts[which].empty()) {
        var v;
        json_decode(v, doc(which).data(), (int)doc(which).size());
        texts[which] = json_encode(v);
    }
    return texts[which];
}

// Values in a tree, containers included.
size_t values(const nlohmann::json& j) {
    size_t n = 1;
    if (j.is_structured())
        for (const nlohmann::json& x : j) n += values(x);
    return n;
}

size_t values(const var& v) {
    size_t n = 1;
    if (_var_list* l = v.as_list())
        for (const var& x : l->elements) n += values(x);
    if (_var_dict* d = v.as_dict())
        for (const auto& kv : d->entries) n += values(kv.second);
    return n;
}

void kel_decode(benchmark::State& st, int which) {
    driver_verbose_set(0);
    const std::string& t = doc(which);
    var v;
    for (auto _ : st) {
        v = var();
        if (json_decode(v, t.data(), (int)t.size()) != 0) return st.SkipWithError("decode failed");
    }
    if (json_encode(v) != kel_text(which)) st.SkipWithError("decoded tree differs");
    st.SetBytesProcessed((int64_t)st.iterations() * (int64_t)t.size());
}

void nlohmann_parse(benchmark::State& st, int which) {
    const std::string& t = doc(which);
    nlohmann::json j;
    for (auto _ : st) j = nlohmann::json::parse(t.data(), t.data() + t.size());
    var v;
    json_decode(v, kel_text(which).data(), (int)kel_text(which).size());
    if (values(j) != values(v)) st.SkipWithError("trees differ");
    st.SetBytesProcessed((int64_t)st.iterations() * (int64_t)t.size());
}

// Both encoders write the same numbers: nlohmann is given the document as we encode it, with
// our 6 decimals rather than the original 17 digits. Its shortest form is not always the
// shortest, so its text may still be a few bytes longer; "bytes" shows the output size.
void kel_encode(benchmark::State& st, int which) {
    driver_verbose_set(0);
    var v;
    json_decode(v, doc(which).data(), (int)doc(which).size());
    std::string s;
    for (auto _ : st) s = json_encode(v);
    if (s != kel_text(which)) st.SkipWithError("wrong text");
    st.SetBytesProcessed((int64_t)st.iterations() * (int64_t)s.size());
    st.counters["bytes"] = (double)s.size();
}

void nlohmann_dump(benchmark::State& st, int which) {
    nlohmann::json j = nlohmann::json::parse(kel_text(which));
    std::string s;
    for (auto _ : st) s = j.dump();
    if (nlohmann::json::parse(s) != j || s.size() > kel_text(which).size() * 1001 / 1000)
        st.SkipWithError("wrong text");
    st.SetBytesProcessed((int64_t)st.iterations() * (int64_t)s.size());
    st.counters["bytes"] = (double)s.size();
}

const char* names[] = {"atlas_100", "atlas_1000", "atlas_10000", "mixed_1MB"};

int registered = [] {
    for (int i = 0; i < 4; i++) {
        std::string n = names[i];
        benchmark::RegisterBenchmark(("decode/kel/" + n).c_str(), kel_decode, i);
        benchmark::RegisterBenchmark(("decode/nlohmann/" + n).c_str(), nlohmann_parse, i);
        benchmark::RegisterBenchmark(("encode/kel/" + n).c_str(), kel_encode, i);
        benchmark::RegisterBenchmark(("encode/nlohmann/" + n).c_str(), nlohmann_dump, i);
    }
    return 0;
}();

}  // namespace

BENCHMARK_MAIN();
