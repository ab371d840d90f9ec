// kel_db: one SQLite connection behind a small object.
//
// Parameters are a var list bound in order, each as the text of its string form (5 as
// "5", true as "True", none as ""). Rows come back as a var list of dicts from column
// name to the column's bytes as a string (numbers in SQLite's text form, NULL as "").
// Failures are logged and kept in `failed` and `error`; nothing throws.
//
//   KelDatabase db;
//   db.open(driver_user_path("scores.db"), 0);
//   db.query("create table if not exists s(name, points)", var(3, 0));
//   var rows = db.query("select * from s where points > ?", var(3, 1, &min));
//   if (db.failed) log(db.error);
#ifndef KEL_DB_H
#define KEL_DB_H

#include <string>
#include <utility>
#include <vector>

#include "util/kel_var.h"

struct sqlite3;
struct sqlite3_stmt;

// open modes
enum { KEL_DB_READWRITE = 0, KEL_DB_READONLY = 1 };

class KelDatabase {
  public:
    sqlite3* db = nullptr;  // null while closed
    int failed = 0;         // 1: the last query did not run to completion
    std::string error;      // text of the last failed prepare, bind or step
    // Statements that ran to completion, most recent first, kept prepared for the next
    // query of the same text (a loop of inserts then parses its SQL once).
    std::vector<std::pair<std::string, sqlite3_stmt*>> cache;

    KelDatabase() {}
    KelDatabase(const KelDatabase&) = delete;
    KelDatabase& operator=(const KelDatabase&) = delete;
    ~KelDatabase() { close(); }

    // KEL_DB_READONLY, or KEL_DB_READWRITE (creates the file); other modes do nothing.
    void open(const char* path, int mode);
    // All rows; on a step error the rows so far. Closed: an empty list, failed 0.
    var query(const char* sql, const var& params);
    void begin();
    void commit();
    void close();
};

#endif
