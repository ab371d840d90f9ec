#include "util/kel_db.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "tests/test_util.h"
#include "util/kel_driver.h"

static var list() { return var(3, 0); }
template <class... T>
static var list(T... items) {
    var l(3, 0);
    for (const var& v : {var(items)...}) list_append(l, v);
    return l;
}

class Db : public ::testing::Test {
  protected:
    std::string dir = temp_dir("db"), path = dir + "/t.db";
    KelDatabase db;
    void SetUp() override { driver_verbose_set(1); }
    void TearDown() override {
        db.close();
        driver_verbose_set(0);
        rm_rf(dir);
    }
};

// Rows are dicts of strings, parameters are bound as their text; a failed statement
// keeps its error line and, on a step error, the rows gathered before it.
TEST_F(Db, QueryRowsParamsAndErrors) {
    EXPECT_NE(capture_stdout([&] { db.open(path.c_str(), KEL_DB_READWRITE); }).find("READWRITE/CREATE"),
              std::string::npos);
    ASSERT_NE(db.db, nullptr);
    db.query("create table t(id integer, name text, v)", list());
    db.begin();
    db.query("insert into t values(?, ?, ?)", list(1, "ann", 2.5));
    db.query("insert into t values(?, ?, ?)", list(2, "it's \"quoted\"", true));
    db.query("insert into t values(?, ?, ?)", list(3, var("a\0b", 3), var()));
    db.commit();

    var rows = db.query("select id, name, v from t order by id", list());
    EXPECT_EQ(db.failed, 0);
    ASSERT_EQ(rows.len(), 3);
    struct Want {
        const char* id;
        std::string name, v;
    } want[] = {{"1", "ann", "2.5"}, {"2", "it's \"quoted\"", "True"}, {"3", std::string("a\0b", 3), ""}};
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(rows[i]["id"].type(), 2);
        EXPECT_EQ(rows[i]["id"].str() + "|" + rows[i]["name"].str() + "|" + rows[i]["v"].str(),
                  want[i].id + ("|" + want[i].name) + "|" + want[i].v);
    }
    EXPECT_EQ(db.query("select typeof(v) as t from t where id = 1", list())[0]["t"].str(), "text");

    struct Bad {
        const char* sql;
        var params;
        const char* line;
        int rows;
    } bad[] = {
        {"selec nothing", list(), "sqlite3:prepare [1] near \"selec\": syntax error; sql=selec nothing\n", 0},
        {"select ?", list(1, 2), "sqlite3:bind [25] column index out of range; sql=select ?\n", 0},
        // abs() of the smallest integer overflows on the third row, after two were read
        {"select abs(x) as a from (select 1 as x union all select 2 union all "
         "select -9223372036854775807 - 1 order by x desc)",
         list(), "sqlite3:step [1] integer overflow; sql=", 2},
        {"select 1; drop table t", list(),
         "sqlite3:prepare [1] more than one statement, none was run; sql=select 1; drop table t\n", 0},
        {"select 1 /* x */;\n select 2", list(), "sqlite3:prepare [1] more than one statement", 0},
    };
    // twice: a statement that failed is not kept for reuse
    for (int rep = 0; rep < 2; rep++)
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.sql);
        var got;
        std::string log = capture_stdout([&] { got = db.query(b.sql, b.params); });
        EXPECT_EQ(db.failed, 1);
        EXPECT_EQ(db.error.rfind(b.line, 0), 0u) << db.error;
        EXPECT_NE(log.find(b.line), std::string::npos) << log;
        EXPECT_EQ(got.len(), b.rows);
    }
    EXPECT_EQ(db.query("  -- nothing to run", list()).len(), 0);
    EXPECT_EQ(db.failed, 0);
    // what may follow the one statement; t was not dropped above
    EXPECT_EQ(db.query("select count(*) as n from t; ;\n -- done\n /* end", list())[0]["n"].str(), "3");
    EXPECT_EQ(db.failed, 0);
}

// Statements are kept prepared between queries: a schema change still shows, more
// texts than the cache holds still run, and close leaves nothing open.
TEST_F(Db, ReusedStatements) {
    db.open(path.c_str(), KEL_DB_READWRITE);
    db.query("create table t(a)", list());
    db.query("insert into t values(?)", list(1));
    EXPECT_EQ(db.query("select * from t", list())[0].len(), 1);
    db.query("alter table t add column b", list());
    db.query("insert into t values(?, ?)", list(2, 3));
    var rows = db.query("select * from t", list());
    EXPECT_TRUE(rows.len() == 2 && rows[1]["b"].str() == "3");
    for (int rep = 0; rep < 2; rep++)
        for (int i = 0; i < 12; i++) {
            std::string sql = "select a + " + std::to_string(i) + " as v from t where a = ?";
            EXPECT_EQ(db.query(sql.c_str(), list(1))[0]["v"].str(), std::to_string(1 + i));
        }
    db.close();
    EXPECT_TRUE(db.db == nullptr && db.cache.empty());
}

// Closed objects and unknown modes are harmless and silent; a read-only open reads
// but refuses writes; a read-only open of a missing file stays closed.
TEST_F(Db, ModesAndClosedState) {
    std::string log = capture_stdout([&] {
        EXPECT_EQ(db.query("select 1", list()).len(), 0);
        EXPECT_EQ(db.failed, 0);
        db.open(path.c_str(), 2);
    });
    EXPECT_EQ(log, "");
    EXPECT_EQ(db.db, nullptr);

    log = capture_stdout([&] { db.open(path.c_str(), KEL_DB_READONLY); });
    EXPECT_NE(log.find("Can't open database: "), std::string::npos) << log;
    EXPECT_EQ(db.db, nullptr);

    db.open(path.c_str(), KEL_DB_READWRITE);
    db.query("create table t(a)", list());
    db.query("insert into t values('x')", list());
    db.close();
    log = capture_stdout([&] { db.open(path.c_str(), KEL_DB_READONLY); });
    EXPECT_NE(log.find("READONLY mode"), std::string::npos);
    EXPECT_EQ(db.query("select a from t", list())[0]["a"].str(), "x");
    db.query("insert into t values('y')", list());
    EXPECT_EQ(db.failed, 1);
    EXPECT_NE(db.error.find("sqlite3:step [8] attempt to write a readonly database"), std::string::npos)
        << db.error;
    EXPECT_EQ(db.query("select count(*) as n from t", list())[0]["n"].str(), "1");
}
