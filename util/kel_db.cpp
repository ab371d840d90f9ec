#include "util/kel_db.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include <sqlite3.h>

#include "util/kel_log.h"

void KelDatabase::open(const char* path, int mode) {
    // (a null path would open a private temporary database)
    if (!path || (mode != KEL_DB_READONLY && mode != KEL_DB_READWRITE)) return;
    close();
    int rc;
    if (mode == KEL_DB_READONLY) {
        KEL_LOG("open", "opening %s in READONLY mode\n", path);
        rc = sqlite3_open_v2(path, &db, SQLITE_OPEN_READONLY, nullptr);
    } else {
        KEL_LOG("open", "opening %s in READWRITE/CREATE mode\n", path);
        rc = sqlite3_open(path, &db);
    }
    if (rc != SQLITE_OK) {
        KEL_LOG("open", "Can't open database: %s\n", db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
        close();
    }
}

enum { KEL_DB_CACHE = 8 };

// The cached statement for this text, moved to the front of the cache, or null.
static sqlite3_stmt* _kel_db_find(KelDatabase* k, const char* sql) {
    for (size_t i = 0; i < k->cache.size(); i++) {
        if (k->cache[i].first != sql) continue;
        auto it = k->cache.begin() + (long)i;
        std::rotate(k->cache.begin(), it, it + 1);
        return k->cache[0].second;
    }
    return nullptr;
}

// A statement that ran to completion stays prepared, reset, at the front.
static void _kel_db_keep(KelDatabase* k, const char* sql, sqlite3_stmt* st, int cached) {
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (cached) return;
    k->cache.insert(k->cache.begin(), std::make_pair(std::string(sql), st));
    if (k->cache.size() > KEL_DB_CACHE) {
        sqlite3_finalize(k->cache.back().second);
        k->cache.pop_back();
    }
}

// A statement that failed is finalised, and leaves the cache if it was there.
static void _kel_db_drop(KelDatabase* k, sqlite3_stmt* st, int cached) {
    if (cached) k->cache.erase(k->cache.begin());
    sqlite3_finalize(st);
}

void KelDatabase::close() {
    for (auto& c : cache) sqlite3_finalize(c.second);
    cache.clear();
    if (db) sqlite3_close(db);
    db = nullptr;
}

// Forms, keeps and logs the error line of a failed step of the statement's life.
static void _kel_db_fail(KelDatabase* k, const char* what, int rc, const char* sql, const char* end,
                         const char* why = nullptr) {
    char head[64];
    snprintf(head, sizeof head, "sqlite3:%s [%d] ", what, rc);
    k->error = head;
    k->error += why ? why : sqlite3_errmsg(k->db);
    k->error += "; sql=";
    k->error += sql;
    k->error += end;
    KEL_LOG("query", "%s", k->error.c_str());
}

// Whether only blanks, semicolons and comments follow the first statement: SQLite would
// silently leave the rest unrun, and a caller must not believe it ran.
static int _kel_db_tail_empty(const char* p) {
    while (*p) {
        if (*p == ';' || *p == ' ' || (*p >= '\t' && *p <= '\r')) {
            p++;
        } else if (p[0] == '-' && p[1] == '-') {
            while (*p && *p != '\n') p++;
        } else if (p[0] == '/' && p[1] == '*') {
            const char* end = strstr(p + 2, "*/");
            p = end ? end + 2 : p + strlen(p);
        } else {
            return 0;
        }
    }
    return 1;
}

static var _kel_db_row(sqlite3_stmt* st) {
    var row(4, 0);
    int n = sqlite3_column_count(st);
    for (int i = 0; i < n; i++) {
        const char* text = (const char*)sqlite3_column_text(st, i);
        int len = sqlite3_column_bytes(st, i);
        row.set(std::string(sqlite3_column_name(st, i)), var(text ? text : "", (size_t)len));
    }
    return row;
}

var KelDatabase::query(const char* sql, const var& params) {
    var rows(3, 0);
    failed = 1;
    if (!db) {
        failed = 0;
        return rows;
    }
    sqlite3_stmt* st = _kel_db_find(this, sql);
    int cached = st != nullptr;
    const char* tail = nullptr;
    int rc = st ? SQLITE_OK : sqlite3_prepare_v2(db, sql, (int)strlen(sql), &st, &tail);
    if (rc != SQLITE_OK) {
        _kel_db_fail(this, "prepare", rc, sql, "\n");
        sqlite3_finalize(st);
        return rows;
    }
    if (tail && !_kel_db_tail_empty(tail)) {
        _kel_db_fail(this, "prepare", SQLITE_ERROR, sql, "\n",
                     "more than one statement, none was run");
        sqlite3_finalize(st);
        return rows;
    }
    if (!st) {  // only white space or comments: nothing to run
        failed = 0;
        return rows;
    }
    int n = params.type() == 3 ? params.len() : 0;
    for (int i = 0; i < n; i++) {
        std::string s = params[i].str();
        rc = sqlite3_bind_text(st, i + 1, s.data(), (int)s.size(), SQLITE_TRANSIENT);
        if (rc != SQLITE_OK) {
            _kel_db_fail(this, "bind", rc, sql, "\n");
            _kel_db_drop(this, st, cached);
            return rows;
        }
    }
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) list_append(rows, _kel_db_row(st));
    if (rc != SQLITE_DONE) {
        _kel_db_fail(this, "step", rc, sql, "");
        _kel_db_drop(this, st, cached);
        return rows;
    }
    _kel_db_keep(this, sql, st, cached);
    failed = 0;
    return rows;
}

void KelDatabase::begin() { query("begin", var(3, 0)); }
void KelDatabase::commit() { query("commit", var(3, 0)); }
