// The network and storage services: one poll of an open request with nothing ready,
// 100 sequential GETs of 10 kB from Python's server on 127.0.0.1, and 10,000 inserts in
// one transaction through KelDatabase::query beside the same through SQLite's C API.
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include "tests/net/net_test_util.h"
#include "util/kel_db.h"
#include "util/kel_driver.h"
#include "util/kel_web.h"

namespace {

// A request sent to a server that never answers: every poll finds nothing to do.
void BM_WebPollIdle(benchmark::State& state) {
    RawServer silent({}, true);
    if (!silent.port) return state.SkipWithError("no server");
    kel_web* r = kel_web_create("127.0.0.1", silent.port, "/", nullptr, 0, 60);
    for (int i = 0; i < 100000 && r->state != 3 && !r->failed; i++) _kel_web_poll(r);
    if (r->state != 3 || r->failed) {
        kel_web_free(r);
        return state.SkipWithError("request not sent");
    }
    for (auto _ : state) benchmark::DoNotOptimize(_kel_web_poll(r));
    if (r->failed) state.SkipWithError("request failed while idle");
    kel_web_free(r);
}
BENCHMARK(BM_WebPollIdle);

// Each GET must bring the whole file; the first that does not stops the benchmark.
void BM_WebGet100x10k(benchmark::State& state) {
    char dir[] = "/tmp/kel_bench_web_XXXXXX";
    if (!mkdtemp(dir)) return state.SkipWithError("no temp dir");
    std::string file = std::string(dir) + "/ten.txt";
    std::ofstream(file, std::ios::binary) << std::string(10 * 1024, 'x');
    {
        PyServer py(dir);
        bool ok = py.port != 0;
        if (!ok) state.SkipWithError("no server");
        for (auto _ : state) {
            for (int i = 0; ok && i < 100; i++) {
                kel_web* r = kel_web_create("127.0.0.1", py.port, "/ten.txt", nullptr, 0, 5);
                while (!_kel_web_poll(r)) {}
                ok = !r->failed && r->body_length == 10 * 1024;
                kel_web_free(r);
            }
            if (!ok) {
                state.SkipWithError("GET failed");
                break;
            }
        }
    }
    unlink(file.c_str());
    rmdir(dir);
}
BENCHMARK(BM_WebGet100x10k)->Unit(benchmark::kMillisecond)->UseRealTime();

struct TempDb {
    char dir[32] = "/tmp/kel_bench_db_XXXXXX";
    std::string path;
    TempDb() {
        if (mkdtemp(dir)) path = std::string(dir) + "/b.db";
    }
    ~TempDb() {
        unlink(path.c_str());
        rmdir(dir);
    }
};

// Rows in t, or -1 when the count could not be read.
int64_t _db_rows(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    int64_t n = -1;
    if (sqlite3_prepare_v2(db, "select count(*) from t", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
}

void BM_DbInsert10kQuery(benchmark::State& state) {
    driver_verbose_set(0);
    TempDb t;
    KelDatabase db;
    db.open(t.path.c_str(), KEL_DB_READWRITE);
    if (!db.db || db.failed) return state.SkipWithError("open failed");
    db.query("create table t(id integer, name text)", var(3, 0));
    if (db.failed) return state.SkipWithError(("create failed: " + db.error).c_str());
    for (auto _ : state) {
        db.query("delete from t", var(3, 0));
        bool ok = !db.failed;
        db.begin();
        ok = ok && !db.failed;
        for (int i = 0; ok && i < 10000; i++) {
            var params(3, 0);
            list_append(params, var(i));
            list_append(params, var("player"));
            db.query("insert into t values(?, ?)", params);
            ok = !db.failed;
        }
        db.commit();
        if (!ok || db.failed) {
            state.SkipWithError(("query failed: " + db.error).c_str());
            break;
        }
    }
    if (_db_rows(db.db) != 10000) state.SkipWithError("wrong row count");
}
BENCHMARK(BM_DbInsert10kQuery)->Unit(benchmark::kMillisecond);

// The C API as a careful C program would use it: one statement, reset for every row.
void BM_DbInsert10kCApi(benchmark::State& state) {
    TempDb t;
    sqlite3* db = nullptr;
    if (sqlite3_open(t.path.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, "create table t(id integer, name text)", nullptr, nullptr, nullptr) !=
            SQLITE_OK) {
        sqlite3_close(db);
        return state.SkipWithError("open failed");
    }
    for (auto _ : state) {
        sqlite3_stmt* st = nullptr;
        bool ok = sqlite3_exec(db, "delete from t", nullptr, nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_exec(db, "begin", nullptr, nullptr, nullptr) == SQLITE_OK &&
                  sqlite3_prepare_v2(db, "insert into t values(?, ?)", -1, &st, nullptr) ==
                      SQLITE_OK;
        for (int i = 0; ok && i < 10000; i++) {
            ok = sqlite3_bind_int(st, 1, i) == SQLITE_OK &&
                 sqlite3_bind_text(st, 2, "player", -1, SQLITE_STATIC) == SQLITE_OK &&
                 sqlite3_step(st) == SQLITE_DONE && sqlite3_reset(st) == SQLITE_OK;
        }
        ok = sqlite3_finalize(st) == SQLITE_OK && ok;
        ok = sqlite3_exec(db, "commit", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
        if (!ok) {
            state.SkipWithError(sqlite3_errmsg(db));
            break;
        }
    }
    if (_db_rows(db) != 10000) state.SkipWithError("wrong row count");
    sqlite3_close(db);
}
BENCHMARK(BM_DbInsert10kCApi)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
