// The dynamic value: text and numeric forms, equality and ordering, sharing, container
// operations with their error lines, iteration, and the list and string utilities.
#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "util/kel_driver.h"
#include "util/kel_var.h"

// Runs f with logging on and returns what it printed.
template <class F>
static std::string logged(F f) {
    driver_verbose_set(1);
    testing::internal::CaptureStdout();
    f();
    std::string out = testing::internal::GetCapturedStdout();
    driver_verbose_set(0);
    return out;
}

static std::vector<std::string> texts(const var& list) {
    std::vector<std::string> r;
    for (int i = 0; i < list.len(); ++i) r.push_back(list[i].str());
    return r;
}

static var L(std::initializer_list<var> items) {
    var l(3, 0);
    for (const var& v : items) list_append(l, v);
    return l;
}

TEST(Var, TextForms) {
    EXPECT_EQ(var(2.0).str(), "2");
    EXPECT_EQ(var(2.5).str(), "2.5");
    EXPECT_EQ(var(-0.5).str(), "-0.5");
    EXPECT_EQ(var(0.1).str(), "0.1");
    EXPECT_EQ(var(1e-7).str(), "0.0");
    EXPECT_EQ(var(1e10).str(), "10000000000.0");
    EXPECT_EQ(var(3e9).str(), "3000000000.0");
    EXPECT_EQ(var(2147483647.0).str(), "2147483647");
    EXPECT_EQ(var(-2147483648.0).str(), "-2147483648");
    EXPECT_EQ(var(-2147483649.0).str(), "-2147483649.0");
    std::string big = var(1e300).str();
    EXPECT_EQ(big.size(), 303u);
    EXPECT_EQ(big.substr(0, 2), "10");
    EXPECT_EQ(big.substr(big.size() - 2), ".0");
    EXPECT_EQ(var(NAN).str().find('.'), std::string::npos);
    EXPECT_EQ(var(INFINITY).str(), "inf");
    EXPECT_EQ(var(true).str(), "True");
    EXPECT_EQ(var(false).str(), "False");
    EXPECT_EQ(var().str(), "");
    EXPECT_EQ(var(std::string("a\0b", 3)).str().size(), 3u);
    var l(3, 0), d(4, 0);
    EXPECT_EQ(l.str().rfind("<list instance at 0x", 0), 0u);
    EXPECT_EQ(d.str().rfind("<dict instance at 0x", 0), 0u);
}

TEST(Var, NumericFormsAndTruth) {
    var none;
    EXPECT_STREQ(none.type_name(), "none");
    EXPECT_EQ(none.number(), 0.0);
    EXPECT_FALSE(none.truth());
    EXPECT_EQ(var("3.5").number(), 3.5);
    EXPECT_EQ(var("  12abc").number(), 12.0);
    EXPECT_EQ(var("x").number(), 0.0);
    EXPECT_TRUE(var("x").truth());
    EXPECT_FALSE(var("").truth());
    EXPECT_TRUE(var(NAN).truth());
    EXPECT_FALSE(var(0.0).truth());
    EXPECT_EQ(var(true).number(), 1.0);
    EXPECT_FALSE(var(3, 0).truth());
    EXPECT_TRUE(L({1}).truth());
    EXPECT_EQ(var(-2.9).to_int(), -2);
    EXPECT_EQ(var(1e12).to_int(), 2147483647);
    EXPECT_EQ(var(-1e12).to_int(), -2147483647 - 1);
    EXPECT_EQ(var(NAN).to_int(), 0);
    EXPECT_EQ(var(3, 0).number(), 0.0);
    EXPECT_STREQ(var(var(1).iter()).type_name(), "invalid");
}

TEST(Var, EqualityAndOrdering) {
    var l = L({1, 2}), l2 = L({1, 2});
    EXPECT_TRUE(l == l);
    EXPECT_FALSE(l == l2);
    EXPECT_FALSE(var(1) == var(true));
    EXPECT_TRUE(var(true) == var(true));
    EXPECT_TRUE(var() == var());
    EXPECT_TRUE(var() == var().copy());  // a none object equals a null handle
    EXPECT_TRUE(var("ab") == var("ab"));
    EXPECT_FALSE(var("ab") == var(std::string("ab\0", 3)));
    EXPECT_FALSE(var(NAN) == var(NAN));
    EXPECT_TRUE(var(-1) < var());
    EXPECT_FALSE(var(1) < var());
    EXPECT_FALSE(var() < var(1));
    EXPECT_FALSE(var("b") < var(1));
    EXPECT_TRUE(var(1) < var("b"));
    EXPECT_TRUE(var("10") < var(9));  // text against text: "10" < "9"
    EXPECT_TRUE(var(std::string("\x01")) < var(std::string("\xff")));  // bytes unsigned
    EXPECT_TRUE(var("ab") < var("abc"));
    EXPECT_TRUE(var("zz") < l);
    EXPECT_TRUE(l < var(4, 0));
    EXPECT_TRUE(var(4, 0) < var(true));
    EXPECT_FALSE(var(true) < var(2));
}

TEST(Var, SharingAndAssignment) {
    var a(3, 0);
    var b = a;
    list_append(b, var("x"));
    EXPECT_EQ(a.len(), 1);
    EXPECT_EQ(a._o->_refs, 2u);
    {
        var c(a._o);
        EXPECT_EQ(a._o->_refs, 3u);
    }
    EXPECT_EQ(a._o->_refs, 2u);

    // Equal values keep the target's object.
    var n(1.0);
    var_object* before = n._o;
    n = var(1);
    EXPECT_EQ(n._o, before);
    n = var("1");
    EXPECT_EQ(n.type(), 2);

    // The source may live inside the target's own object: no use after release.
    var outer = L({L({7})});
    outer = outer[0];
    EXPECT_EQ(outer.len(), 1);
    EXPECT_EQ(outer[0].number(), 7);
    var outer2 = L({var("s")});
    outer2 = std::move(outer2[0]);
    EXPECT_EQ(outer2.str(), "s");

    // A list that is dropped releases its nested contents (the leak checker watches this).
    var d(4, 0);
    d["k"] = L({L({var(4, 0)})});
    d = var();
}

TEST(Var, VariadicConstruction) {
    var x("x"), y("y"), ka("a"), k1(1), v(2);
    var l(3, 3, &x, &y, &x);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"x", "y", "x"}));
    EXPECT_EQ(l[0]._o, x._o);
    var d(4, 4, &ka, &x, &ka, &y);
    EXPECT_EQ(d.len(), 1);
    EXPECT_EQ(d["a"].str(), "y");
    var d2(4, 2, &k1, &v);
    EXPECT_TRUE(d2.has("1"));
    EXPECT_EQ(d2["1"].number(), 2);
    EXPECT_EQ(var(7, 0).type(), 0);
}

TEST(Var, ErrorLineForm) {
    var none;
    int n = -1;
    std::string out = logged([&] { n = none.len(); });
    EXPECT_EQ(n, 0);
    std::smatch m;
    std::regex re(
        "\\[kel_var\\.cpp:__len__:([0-9]+)\\] \\S*kel_var\\.cpp:\\1: "
        "TypeError: 'none' object does not support '__len__'\n");
    EXPECT_TRUE(std::regex_match(out, m, re)) << out;

    out = logged([] { var(5)["k"]; });
    EXPECT_NE(out.find("TypeError: 'number' object does not support '__get__'"), std::string::npos);
    out = logged([] { var("s")[0]; });
    EXPECT_NE(out.find("'string' object does not support '__get__'"), std::string::npos);
    out = logged([] { EXPECT_EQ((var(4, 0) + var(4, 0)).type(), 0); });
    EXPECT_NE(out.find(":__add__:"), std::string::npos);
    out = logged([] { EXPECT_EQ((var("a") - var(1)).type(), 0); });
    EXPECT_NE(out.find("'string' object does not support '__sub__'"), std::string::npos);

    // Silent when logging is off; iterating a scalar reports nothing.
    testing::internal::CaptureStdout();
    none.len();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    out = logged([] {
        var it(var(3).iter()), o;
        EXPECT_FALSE(it.next(o));
        var it2(var().iter());
        EXPECT_FALSE(it2.next(o, o));
        EXPECT_FALSE(var().next(o));
    });
    EXPECT_EQ(out, "");
}

TEST(Var, ListAccess) {
    var l = L({"a", "b", "c"});
    EXPECT_EQ(l[-1].str(), "c");
    EXPECT_EQ(l[-3].str(), "a");
    EXPECT_EQ(l[var(1.9)].str(), "b");
    EXPECT_EQ(l[var()].str(), "a");
    EXPECT_EQ(l[var("2")].str(), "c");
    for (int bad : {3, -4}) {
        std::string out = logged([&] { EXPECT_EQ(l[bad].type(), 0); });
        EXPECT_NE(out.find(":__get__:"), std::string::npos);
        EXPECT_NE(out.find("IndexError: list index out of range"), std::string::npos);
    }
    // A write through a failed read is dropped at the next failed read.
    l[9] = var("junk");
    EXPECT_EQ(l[9].type(), 0);
    EXPECT_EQ(l.len(), 3);

    std::string out = logged([&] { l.set(3, var("d")); });
    EXPECT_NE(out.find("IndexError: list assignment index out of range"), std::string::npos);
    EXPECT_EQ(l.len(), 3);
    l.set(-1, var("z"));
    EXPECT_EQ(texts(l), (std::vector<std::string>{"a", "b", "z"}));

    out = logged([&] { l.del(3); });
    EXPECT_NE(out.find(":_pop:"), std::string::npos);
    EXPECT_NE(out.find("IndexError: list assignment index out of range"), std::string::npos);
    l.del(0);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"b", "z"}));

    var m = L({1, 2, "3", var()});
    EXPECT_TRUE(m.has(2));
    EXPECT_FALSE(m.has("2"));
    EXPECT_TRUE(m.has(var()));
    EXPECT_TRUE(L({m}).has(m));
    EXPECT_FALSE(L({m}).has(m.copy()));
    EXPECT_EQ(list_find(m, var("3")), 2);
    EXPECT_EQ(list_find(m, var(9)), -1);

    var c = m.copy();
    list_append(c, 5);
    EXPECT_EQ(m.len(), 4);
    EXPECT_EQ(c[0]._o, m[0]._o);  // shallow
}

TEST(Var, ListSliceAndConcat) {
    var l = L({0, 1, 2, 3, 4});
    EXPECT_EQ(texts(l.slice(1, 3)), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(texts(l.slice(-2, 100)), (std::vector<std::string>{"3", "4"}));
    EXPECT_EQ(texts(l.slice(-100, -3)), (std::vector<std::string>{"0", "1"}));
    EXPECT_EQ(l.slice(4, 2).len(), 0);
    EXPECT_EQ(l.slice(9, 12).len(), 0);
    var s = l + L({"x"});
    EXPECT_EQ(s.len(), 6);
    EXPECT_EQ(l.len(), 5);
    EXPECT_EQ(s[5].str(), "x");
    std::string out = logged([&] { EXPECT_EQ((l + var(1)).type(), 0); });
    EXPECT_NE(out.find("TypeError: can only concatenate list to list"), std::string::npos);
    EXPECT_EQ((var(1) + l).number(), 1.0);
}

TEST(Var, DictAccess) {
    var d(4, 0);
    EXPECT_FALSE(d.has("k"));
    EXPECT_EQ(d.len(), 0);
    EXPECT_EQ(d["k"].type(), 0);
    EXPECT_EQ(d.len(), 1);
    EXPECT_TRUE(d.has("k"));

    d.set(var(1), var("one"));
    EXPECT_EQ(d["1"].str(), "one");
    d[var(true)] = 1;
    EXPECT_TRUE(d.has("True"));
    d[var()] = 2;
    EXPECT_TRUE(d.has(""));
    d.set(std::string("k"), var(3));
    EXPECT_EQ(d[std::string("k")].number(), 3);

    std::string out = logged([&] { d.del("missing"); });
    EXPECT_NE(out.find(":__del__:"), std::string::npos);
    EXPECT_NE(out.find("dict::__del__:KeyError"), std::string::npos);
    EXPECT_EQ(d.len(), 4);
    d.del("k");
    EXPECT_FALSE(d.has("k"));

    // Deleting by a key that is held only inside the entry being removed.
    d["self"] = var("self");
    d.del(d["self"]);
    EXPECT_FALSE(d.has("self"));

    var c = d.copy();
    c["new"] = 1;
    EXPECT_FALSE(d.has("new"));
}

TEST(Var, Iteration) {
    var d(4, 0);
    for (const char* k : {"b", "a", "c", "ab"}) d[k] = var(k);
    d[var(10)] = 10;
    d[var(9)] = 9;
    std::vector<std::string> keys;
    var it(d.iter()), k, v;
    while (it.next(k)) keys.push_back(k.str());
    EXPECT_EQ(keys, (std::vector<std::string>{"10", "9", "a", "ab", "b", "c"}));
    var it2(d.iter());
    ASSERT_TRUE(it2.next(k, v));
    EXPECT_EQ(k.type(), 2);
    EXPECT_EQ(v.number(), 10);

    std::vector<double> got;
    var s(std::string("ab\xff"));
    var is(s.iter()), x, y;
    while (is.next(x)) got.push_back(x.number());
    EXPECT_EQ(got, (std::vector<double>{97, 98, 255}));
    var is2(s.iter());
    ASSERT_TRUE(is2.next(x, y));
    ASSERT_TRUE(is2.next(x, y));
    EXPECT_EQ(x.number(), 1);
    EXPECT_EQ(y.number(), 98);

    var l = L({"p", "q"});
    var il(l.iter());
    il.next(x, y);
    il.next(x, y);
    EXPECT_EQ(x.number(), 1);
    EXPECT_EQ(y._o, l[1]._o);
    EXPECT_FALSE(il.next(x, y));
    EXPECT_EQ(y.str(), "q");  // unchanged once the iteration is over
}

TEST(Var, StringOps) {
    var s("hello");
    EXPECT_EQ(s.len(), 5);
    EXPECT_TRUE(s.has("ell"));
    EXPECT_TRUE(s.has(var()));
    EXPECT_FALSE(s.has("xyz"));
    EXPECT_TRUE(var("a1b").has(1));
    EXPECT_EQ(s.slice(1, 3).str(), "el");
    EXPECT_EQ(s.slice(-3, 100).str(), "llo");
    EXPECT_EQ(s.slice(-100, -4).str(), "h");
    EXPECT_EQ(s.slice(3, 1).str(), "lo");
    EXPECT_EQ(s.slice(10, 12).str(), "");  // start past the end yields nothing, never throws
    EXPECT_EQ((var("1") + var(2)).str(), "12");
    EXPECT_EQ((var("a") + var()).str(), "a");
    EXPECT_EQ(s.str(), "hello");
}

TEST(Var, Arithmetic) {
    EXPECT_EQ((var(1) + var("2")).number(), 3);
    EXPECT_EQ((var(1) + var(true)).number(), 2);
    EXPECT_EQ((var(7) - var()).number(), 7);
    EXPECT_EQ((var(3) * var("2.5")).number(), 7.5);
    EXPECT_EQ((var(1) / var(4)).number(), 0.25);
    EXPECT_TRUE(isinf((var(1) / var(0)).number()));
    EXPECT_TRUE(isnan((var(0) / var(0)).number()));
    EXPECT_EQ((1 + var(2)).number(), 3);
    std::string out = logged([] { EXPECT_EQ((var() + var(1)).type(), 0); });
    EXPECT_NE(out.find("'none' object does not support '__add__'"), std::string::npos);
}

TEST(Var, ListUtilities) {
    var l = L({"x", "y"});
    list_insert(l, 5, var("i"));
    EXPECT_EQ(texts(l), (std::vector<std::string>{"x", "i", "y"}));
    list_insert(l, 0, var("f"));
    list_insert(l, -1, var("m"));
    list_insert(l, -100, var("s"));
    EXPECT_EQ(texts(l), (std::vector<std::string>{"s", "f", "x", "i", "m", "y"}));
    var e(3, 0);
    list_insert(e, 3, var("only"));
    EXPECT_EQ(texts(e), (std::vector<std::string>{"only"}));
    list_insert(l, 0, l[5]);  // item taken from the list itself
    EXPECT_EQ(l[0].str(), "y");

    var a = L({1, 2});
    list_extend(a, a);
    EXPECT_EQ(texts(a), (std::vector<std::string>{"1", "2", "1", "2"}));
    std::string out = logged([&] { list_extend(a, var("x")); });
    EXPECT_NE(out.find(":_extend:"), std::string::npos);
    EXPECT_NE(out.find("TypeError: lists may only be extended by lists"), std::string::npos);
    EXPECT_EQ(a.len(), 4);

    var g = L({1});
    for (int i = 0; i < 100; ++i) list_append(g, g[0]);  // element of the growing list itself
    EXPECT_EQ(g.len(), 101);

    list_reverse(a = L({1, 2, 3}));
    EXPECT_EQ(texts(a), (std::vector<std::string>{"3", "2", "1"}));

    var m = L({3, "a", 1});
    list_sort(m);
    EXPECT_EQ(texts(m), (std::vector<std::string>{"1", "3", "a"}));

    var notlist(4, 0);
    out = logged([&] {
        list_append(notlist, 1);
        EXPECT_EQ(list_find(notlist, 1), -1);
        list_insert(notlist, 0, 1);
        list_extend(notlist, a);
        list_sort(notlist);
        list_reverse(notlist);
    });
    for (const char* f : {"list_append", "list_find", "list_insert", "list_extend", "list_sort",
                          "list_reverse"})
        EXPECT_NE(out.find(std::string(":") + f + ":"), std::string::npos) << f;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 6);
    EXPECT_NE(out.find("UnsupportedError"), std::string::npos);
    EXPECT_EQ(notlist.len(), 0);
}

TEST(Var, SortOrdersAndSurvivesMixedKinds) {
    std::mt19937 rng(7);
    var nums(3, 0);
    for (int i = 0; i < 3000; ++i) list_append(nums, (double)(rng() % 500) - 250);
    list_sort(nums);
    for (int i = 1; i < nums.len(); ++i) ASSERT_LE(nums[i - 1].number(), nums[i].number());

    // Across kinds the relation is not a strict weak order; the sort must stay in bounds and
    // keep every element.
    var mixed(3, 0);
    for (int i = 0; i < 5000; ++i) {
        switch (rng() % 6) {
            case 0: list_append(mixed, var()); break;
            case 1: list_append(mixed, (double)(rng() % 7) - 3); break;
            case 2: list_append(mixed, var(std::to_string(rng() % 10))); break;
            case 3: list_append(mixed, var(rng() % 2 == 0)); break;
            case 4: list_append(mixed, var(3, 0)); break;
            default: list_append(mixed, var("z")); break;
        }
    }
    std::vector<var_object*> before, after;
    for (const var& v : mixed.as_list()->elements) before.push_back(v._o);
    list_sort(mixed);
    for (const var& v : mixed.as_list()->elements) after.push_back(v._o);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(Var, StringUtilities) {
    var parts = str_split("a,b,", ",");
    EXPECT_EQ(texts(parts), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(str_join("-", parts).str(), "a-b-");
    EXPECT_EQ(texts(str_split("a//b", "/")), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(texts(str_split("", "/")), (std::vector<std::string>{""}));
    EXPECT_EQ(texts(str_split("a::b::c", "::")), (std::vector<std::string>{"a", "b", "c"}));
    std::string out = logged([] {
        EXPECT_EQ(texts(str_split("abc", "")), (std::vector<std::string>{"abc"}));
    });
    EXPECT_NE(out.find(":str_split:"), std::string::npos);
    EXPECT_EQ(str_join(", ", L({1, 2.5, true, var()})).str(), "1, 2.5, True, ");
    EXPECT_EQ(str_join("-", var(3, 0)).str(), "");
    out = logged([] { EXPECT_EQ(str_join("-", var("ab")).type(), 0); });
    EXPECT_NE(out.find(":str_join:"), std::string::npos);
    EXPECT_EQ(str_replace("aaa", "a", "aa"), "aaaaaa");
    EXPECT_EQ(str_replace("x.y.z", ".", ""), "xyz");
    EXPECT_EQ(str_replace("abcabc", "bc", "-"), "a-a-");
    EXPECT_EQ(str_replace("abc", "", "x"), "abc");
}
