// Costs of building and reading var trees: list append, dict insertion and lookup, iteration,
// sorting and the string utilities.
#include <benchmark/benchmark.h>

#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "util/kel_var.h"

static std::vector<std::string> _keys(int n) {
    std::vector<std::string> k;
    std::mt19937 rng(1);
    for (int i = 0; i < n; ++i) k.push_back("key" + std::to_string(rng()));
    return k;
}

static void BM_ListAppendNumbers(benchmark::State& st) {
    int n = (int)st.range(0);
    for (auto _ : st) {
        var l(3, 0);
        for (int i = 0; i < n; ++i) list_append(l, var(i * 0.5));
        benchmark::DoNotOptimize(l._o);
    }
    st.SetItemsProcessed(st.iterations() * n);
}
BENCHMARK(BM_ListAppendNumbers)->Arg(100000);

static void BM_DictSetRandomKeys(benchmark::State& st) {
    std::vector<std::string> keys = _keys((int)st.range(0));
    for (auto _ : st) {
        var d(4, 0);
        for (const std::string& k : keys) d.set(k, var(1));
        benchmark::DoNotOptimize(d._o);
    }
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictSetRandomKeys)->Arg(16)->Arg(100000);

static void BM_DictLookup(benchmark::State& st) {
    std::vector<std::string> keys = _keys((int)st.range(0));
    var d(4, 0);
    for (const std::string& k : keys) d.set(k, var(1));
    for (auto _ : st) {
        double sum = 0;
        for (const std::string& k : keys) sum += d[k].number();
        benchmark::DoNotOptimize(sum);
    }
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictLookup)->Arg(16)->Arg(100000);

static void BM_DictIterate(benchmark::State& st) {
    std::vector<std::string> keys = _keys(100000);
    var d(4, 0);
    for (const std::string& k : keys) d.set(k, var(1));
    for (auto _ : st) {
        var it(d.iter()), k, v;
        int n = 0;
        while (it.next(k, v)) ++n;
        benchmark::DoNotOptimize(n);
    }
    st.SetItemsProcessed(st.iterations() * (int64_t)keys.size());
}
BENCHMARK(BM_DictIterate);

static void BM_ListSortNumbers(benchmark::State& st) {
    std::mt19937 rng(2);
    var src(3, 0);
    for (int i = 0; i < 100000; ++i) list_append(src, var((double)rng()));
    for (auto _ : st) {
        var l = src.copy();
        list_sort(l);
        benchmark::DoNotOptimize(l._o);
    }
    st.SetItemsProcessed(st.iterations() * 100000);
}
BENCHMARK(BM_ListSortNumbers);

static void BM_StrSplitJoin(benchmark::State& st) {
    std::string text;
    for (int i = 0; i < 100000; ++i) text += std::to_string(i) + ",";
    for (auto _ : st) {
        var parts = str_split(text, ",");
        var joined = str_join(";", parts);
        benchmark::DoNotOptimize(joined._o);
    }
    st.SetBytesProcessed(st.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_StrSplitJoin);

BENCHMARK_MAIN();
