// Costs of building and reading var trees: list append, dict insertion, erasure, lookup and
// iteration beside std::map doing the same, sorting and the string utilities. Each run
// checks what it built; a wrong result ends the benchmark with an error.
#include <benchmark/benchmark.h>

#include <stdint.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "util/kel_var.h"

// n distinct keys in a random order: i times an odd constant is a bijection on 32 bits.
static std::vector<std::string> _keys(size_t n) {
    std::vector<std::string> k;
    for (uint32_t i = 0; i < n; ++i) k.push_back("key" + std::to_string(i * 2654435761u));
    return k;
}

static std::vector<size_t> _shuffled(size_t n, unsigned seed) {
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    return order;
}

// The dict holds exactly keys[i] = i for the i that want accepts, in strictly rising order.
template <class Want>
static bool _dict_holds(const var& d, const std::vector<std::string>& keys, Want want) {
    const _var_dict_entries& e = d.as_dict()->entries;
    size_t n = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        bool has = d.has(var(keys[i]));
        if (want(i) != has || (has && d[keys[i]].number() != (double)i)) return false;
        n += want(i);
    }
    const std::string* prev = nullptr;
    size_t walked = 0;
    for (const auto& kv : e) {
        if (prev && !(*prev < kv.first)) return false;
        prev = &kv.first;
        ++walked;
    }
    return e.size() == n && walked == n && d.len() == (int)n;
}

template <class Want>
static bool _map_holds(const std::map<std::string, var>& m, const std::vector<std::string>& keys,
                       Want want) {
    size_t n = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        auto it = m.find(keys[i]);
        if (want(i) != (it != m.end()) || (it != m.end() && it->second.number() != (double)i))
            return false;
        n += want(i);
    }
    return m.size() == n;
}

static bool _all(size_t) { return true; }
static bool _odd(size_t i) { return i % 2 == 1; }

static void BM_ListAppendNumbers(benchmark::State& st) {
    int n = (int)st.range(0);
    var l;
    for (auto _ : st) {
        l = var(3, 0);
        for (int i = 0; i < n; ++i) list_append(l, var(i * 0.5));
    }
    if (l.len() != n || l[n - 1].number() != (n - 1) * 0.5) st.SkipWithError("wrong list");
    st.SetItemsProcessed(st.iterations() * n);
}
BENCHMARK(BM_ListAppendNumbers)->Arg(100000);

// Single inserts of distinct keys in random order, each value its own number object.
static void BM_DictInsertRandom(benchmark::State& st) {
    std::vector<std::string> keys = _keys((size_t)st.range(0));
    var d;
    for (auto _ : st) {
        d = var(4, 0);
        for (size_t i = 0; i < keys.size(); ++i) d.set(keys[i], var((double)i));
    }
    if (!_dict_holds(d, keys, _all)) st.SkipWithError("wrong dict");
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictInsertRandom)->Arg(16)->Arg(100000)->Arg(400000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

static void BM_MapInsertRandom(benchmark::State& st) {
    std::vector<std::string> keys = _keys((size_t)st.range(0));
    std::map<std::string, var> m;
    for (auto _ : st) {
        m = std::map<std::string, var>();
        for (size_t i = 0; i < keys.size(); ++i) m[keys[i]] = var((double)i);
    }
    if (!_map_holds(m, keys, _all)) st.SkipWithError("wrong map");
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_MapInsertRandom)->Arg(16)->Arg(100000)->Arg(400000)->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

// Every key inserted, then the even ones erased in another random order.
static void BM_DictInsertErase(benchmark::State& st) {
    std::vector<std::string> keys = _keys((size_t)st.range(0));
    std::vector<size_t> order = _shuffled(keys.size(), 3);
    var d;
    for (auto _ : st) {
        d = var(4, 0);
        for (size_t i = 0; i < keys.size(); ++i) d.set(keys[i], var((double)i));
        for (size_t i : order)
            if (i % 2 == 0) d.del(var(keys[i]));
    }
    if (!_dict_holds(d, keys, _odd)) st.SkipWithError("wrong dict");
    st.SetItemsProcessed(st.iterations() * (int64_t)(keys.size() + keys.size() / 2));
}
BENCHMARK(BM_DictInsertErase)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_MapInsertErase(benchmark::State& st) {
    std::vector<std::string> keys = _keys((size_t)st.range(0));
    std::vector<size_t> order = _shuffled(keys.size(), 3);
    std::map<std::string, var> m;
    for (auto _ : st) {
        m = std::map<std::string, var>();
        for (size_t i = 0; i < keys.size(); ++i) m[keys[i]] = var((double)i);
        for (size_t i : order)
            if (i % 2 == 0) m.erase(std::string(keys[i]));
    }
    if (!_map_holds(m, keys, _odd)) st.SkipWithError("wrong map");
    st.SetItemsProcessed(st.iterations() * (int64_t)(keys.size() + keys.size() / 2));
}
BENCHMARK(BM_MapInsertErase)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

static void BM_DictLookup(benchmark::State& st) {
    std::vector<std::string> keys = _keys((size_t)st.range(0));
    var d(4, 0);
    for (size_t i = 0; i < keys.size(); ++i) d.set(keys[i], var((double)i));
    double sum = 0;
    for (auto _ : st) {
        sum = 0;
        for (const std::string& k : keys) sum += d[k].number();
    }
    double n = (double)keys.size();
    if (sum != n * (n - 1) / 2 || d.len() != (int)keys.size()) st.SkipWithError("wrong sum");
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictLookup)->Arg(16)->Arg(100000);

static void BM_DictIterate(benchmark::State& st) {
    std::vector<std::string> keys = _keys(100000);
    var d(4, 0);
    for (size_t i = 0; i < keys.size(); ++i) d.set(keys[i], var((double)i));
    size_t n = 0;
    bool ordered = true;
    for (auto _ : st) {
        var it(d.iter()), k, v, prev;
        n = 0;
        while (it.next(k, v)) {
            if (n++ && !(prev < k)) ordered = false;
            swap(prev, k);
        }
    }
    if (n != keys.size() || !ordered) st.SkipWithError("wrong walk");
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictIterate);

static void BM_ListSortNumbers(benchmark::State& st) {
    std::mt19937 rng(2);
    var src(3, 0), l;
    for (int i = 0; i < 100000; ++i) list_append(src, var((double)rng()));
    for (auto _ : st) {
        l = src.copy();
        list_sort(l);
    }
    bool ok = l.len() == src.len();
    for (int i = 1; ok && i < l.len(); ++i) ok = l[i - 1].number() <= l[i].number();
    if (!ok) st.SkipWithError("not sorted");
    st.SetItemsProcessed(st.iterations() * 100000);
}
BENCHMARK(BM_ListSortNumbers);

static void BM_StrSplitJoin(benchmark::State& st) {
    std::string text, want;
    for (int i = 0; i < 100000; ++i) text += std::to_string(i) + ",";
    want = text;
    std::replace(want.begin(), want.end(), ',', ';');
    var parts, joined;
    for (auto _ : st) {
        parts = str_split(text, ",");
        joined = str_join(";", parts);
    }
    if (parts.len() != 100001 || joined.str() != want) st.SkipWithError("wrong split or join");
    st.SetBytesProcessed(st.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_StrSplitJoin);

BENCHMARK_MAIN();
