// The dynamic value: ordering and arithmetic, container operations with their error lines,
// iteration, the list and string utilities, and dicts against a model.
#include <algorithm>
#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "tests/test_util.h"
#include "util/kel_var.h"

static std::vector<std::string> texts(const var& list) {
    std::vector<std::string> r;
    for (int i = 0; i < list.len(); ++i) r.push_back(list[i].str());
    return r;
}

// A dict's entries as "key=value,..." in iteration order.
static std::string entries(const var& d) {
    std::string out;
    var it(d.iter()), k, v;
    while (it.next(k, v)) out += (out.empty() ? "" : ",") + k.str() + "=" + v.str();
    return out;
}

static var L(std::initializer_list<var> items) {
    var l(3, 0);
    for (const var& v : items) list_append(l, v);
    return l;
}

// None sits between negative and positive numbers; then texts, lists, dicts, booleans.
TEST(Var, OrderingArithmeticAndBuilders) {
    const struct { var a, b; bool lt; } lts[] = {
        {var(-1), var(), true}, {var(1), var(), false}, {var("10"), var(9), true},
        {var("zz"), L({1}), true}, {L({1}), var(4, 0), true}, {var(4, 0), var(true), true},
        {var(true), var(2), false}};
    for (auto& c : lts) EXPECT_EQ(c.a < c.b, c.lt) << c.a.str() << " < " << c.b.str();
    EXPECT_TRUE(var() == var().copy());  // a none object equals a null handle
    const std::pair<var, double> cases[] = {{var(1) + var("2"), 3},    {var(1) + var(true), 2},
                                            {var(7) - var(), 7},       {var(3) * var("2.5"), 7.5},
                                            {var(1) / var(4), 0.25},   {1 + var(2), 3}};
    for (auto& c : cases) EXPECT_EQ(c.first.number(), c.second) << c.second;
    EXPECT_TRUE(L({1}).truth() && !var(3, 0).truth());

    // variadic builders: later pairs replace earlier ones; keys are their text form
    var x("x"), y("y"), ka("a");
    var l(3, 3, &x, &y, &x);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"x", "y", "x"}));
    EXPECT_EQ(l[0]._o, x._o);
    EXPECT_EQ(entries(var(4, 4, &ka, &x, &ka, &y)), "a=y");
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

    const struct { var (*f)(); const char* msg; } errs[] = {
        {[] { return var(5)["k"]; }, "TypeError: 'number' object does not support '__get__'"},
        {[] { return var("s")[0]; }, "'string' object does not support '__get__'"},
        {[] { return var(4, 0) + var(4, 0); }, ":__add__:"},
        {[] { return var("a") - var(1); }, "'string' object does not support '__sub__'"},
        {[] { return var() + var(1); }, "'none' object does not support '__add__'"},
        {[] { return L({"a"})[3]; }, "IndexError: list index out of range"},
        {[] { return L({"a"})[-2]; }, "IndexError: list index out of range"},
        {[] { return L({"a"}).set(3, var("d")), var(); }, "list assignment index out of range"},
        {[] { return L({"a"}).del(3), var(); }, ":_pop:"},
        {[] { return L({1}) + var(1); }, "TypeError: can only concatenate list to list"},
        {[] { return var(4, 0).del("x"), var(); }, "dict::__del__:KeyError"},
        {[] { return str_split("abc", ""), var(); }, ":str_split:"},
        {[] { return str_join("-", var("ab")); }, ":str_join:"}};
    for (auto& e : errs) {
        var got(1);
        out = logged([&] { got = e.f(); });
        EXPECT_EQ(got.type(), 0) << e.msg;
        EXPECT_NE(out.find(e.msg), std::string::npos) << out;
    }

    // Silent when logging is off; iterating a scalar reports nothing.
    driver_verbose_set(0);
    EXPECT_EQ(capture_stdout([&] { none.len(); }), "");
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
    EXPECT_EQ(l[-1].str() + l[-3].str(), "ca");
    const std::pair<var, const char*> reads[] = {{-2, "b"}, {1.9, "b"}, {var(), "a"}, {"2", "c"}};
    for (auto& r : reads) EXPECT_EQ(l[r.first].str(), r.second) << r.first.str();
    // A write through a failed read is dropped at the next failed read.
    l[9] = var("junk");
    EXPECT_EQ(l[9].type(), 0);
    EXPECT_EQ(l.len(), 3);

    l.set(-1, var("z"));
    l.del(0);
    EXPECT_EQ(texts(l), (std::vector<std::string>{"b", "z"}));

    var m = L({1, 2, "3", var()});
    EXPECT_TRUE(m.has(2) && m.has(var()) && L({m}).has(m));
    EXPECT_FALSE(m.has("2") || L({m}).has(m.copy()));
    EXPECT_EQ(list_find(m, var("3")), 2);
    EXPECT_EQ(list_find(m, var(9)), -1);

    var c = m.copy();
    list_append(c, 5);
    EXPECT_EQ(m.len(), 4);
    EXPECT_EQ(c[0]._o, m[0]._o);  // shallow
}

TEST(Var, ListSliceAndConcat) {
    var l = L({0, 1, 2, 3, 4});
    const struct { int a, b; const char* want; } slices[] = {
        {1, 3, "1,2"}, {-2, 100, "3,4"}, {-100, -3, "0,1"}, {4, 2, ""}, {9, 12, ""}};
    for (auto& c : slices) EXPECT_EQ(str_join(",", l.slice(c.a, c.b)).str(), c.want) << c.a;
    var s = l + L({"x"});
    EXPECT_EQ(str_join(",", s).str() + "|" + str_join(",", l).str(), "0,1,2,3,4,x|0,1,2,3,4");
    EXPECT_EQ((var(1) + l).number(), 1.0);
}

TEST(Var, DictAccess) {
    var d(4, 0);
    EXPECT_FALSE(d.has("k"));
    EXPECT_EQ(d["k"].type(), 0);  // a read inserts the key as none
    // keys are the text form of what is given
    d.set(var(1), var("one"));
    d[var(true)] = 1;
    d[var()] = 2;
    d.set(std::string("k"), var(3));
    EXPECT_EQ(entries(d), "=2,1=one,True=1,k=3");

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

// Random inserts, overwrites and deletes against a std::map, from a dict made in one go: the
// key count grows to thousands and is drained to a handful, twice. Then a copy, held references,
// and walks that meet inserts and deletes on their way.
TEST(Var, DictAgainstModel) {
    std::mt19937 rng(7);
    std::map<std::string, int> model;
    std::vector<std::string> ks;
    std::vector<var> vs;
    for (int i = 0; i < 300; ++i) {
        ks.push_back("k" + std::to_string(rng() % 4000));
        vs.push_back(var(-i));
        model[ks.back()] = -i;  // a repeated key keeps its later value
    }
    var d(4, 0);
    dict_build(d.as_dict(), ks.data(), vs.data(), ks.size());
    auto text = [](const std::map<std::string, int>& m) {
        std::string r;
        for (auto& kv : m) r += (r.empty() ? "" : ",") + kv.first + "=" + std::to_string(kv.second);
        return r;
    };
    for (int round = 0; round < 2; ++round) {
        for (int step = 0; step < 20000; ++step) {
            std::string k = "k" + std::to_string(rng() % 4000);
            if (rng() % 4 == 0) {
                if (model.erase(k)) d.del(k);
            } else {
                model[k] = step;
                d[k] = step;
            }
        }
        ASSERT_EQ(entries(d), text(model)) << round;
        std::vector<std::string> drain;
        for (auto& kv : model) drain.push_back(kv.first);
        std::shuffle(drain.begin(), drain.end(), rng);
        drain.resize(drain.size() - 10);
        for (const std::string& k : drain) {
            model.erase(k);
            d.del(k);
        }
        ASSERT_EQ(entries(d), text(model)) << round;
    }
    var c = d.copy();
    c["k0"] = 1;  // the copy changes apart from the original
    c.del("k0");
    EXPECT_EQ(entries(c), text(model));

    // A walk while random keys come and go: keys rise, and each key there throughout is met.
    for (int i = 0; i < 2000; ++i) d["w" + std::to_string(i)] = 0;
    for (int i = 0; i < 2000; ++i) model["w" + std::to_string(i)] = 0;
    std::map<std::string, int> kept = model;
    var walk(d.iter()), wk;
    std::string prev;
    while (walk.next(wk)) {
        ASSERT_TRUE(prev.empty() || prev < wk.str()) << prev << " " << wk.str();
        prev = wk.str();
        kept.erase(prev);
        for (int j = 0; j < 3; ++j) {
            std::string x = (rng() % 2 ? "w" : "k") + std::to_string(rng() % 4000);
            if (rng() % 2) {
                d[x] = 1;
            } else if (d.has(x)) {
                d.del(x);
                kept.erase(x);
            }
        }
    }
    EXPECT_TRUE(kept.empty()) << kept.size() << " keys not met, first " << kept.begin()->first;

    var& held = d["k5"];
    for (int i = 0; i < 1000; ++i) d["n" + std::to_string(i)] = i;
    held = "still";
    d["a"] = d["b"];  // the right side's slot must survive the left side's insert
    EXPECT_EQ(d["k5"].str() + "|" + d["a"].type_name(), "still|none");

    var w(4, 0), k;
    for (const char* s : {"a", "c", "e", "g"}) w[s] = 1;
    var it(w.iter());
    std::string seen;
    while (it.next(k)) {
        seen += k.str();
        if (k.str() == "c") {
            w["b"] = 1;  // behind the walk: not met
            w["f"] = 1;  // ahead: met
            w.del("e");  // the next one: the walk goes on after it
        }
    }
    EXPECT_EQ(seen, "acfg");
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
    EXPECT_TRUE(k.type() == 2 && v.number() == 10);

    std::vector<double> got;
    var s(std::string("ab\xff"));
    var is(s.iter()), x, y;
    while (is.next(x)) got.push_back(x.number());
    EXPECT_EQ(got, (std::vector<double>{97, 98, 255}));
    var is2(s.iter());
    ASSERT_TRUE(is2.next(x, y) && is2.next(x, y));
    EXPECT_TRUE(x.number() == 1 && y.number() == 98);

    var l = L({"p", "q"});
    var il(l.iter());
    il.next(x, y);
    il.next(x, y);
    EXPECT_TRUE(x.number() == 1 && y._o == l[1]._o);
    EXPECT_FALSE(il.next(x, y));
    EXPECT_EQ(y.str(), "q");  // unchanged once the iteration is over

    // walks keep what they walk alive; a list cut short meanwhile ends its walk
    var wl, wd;
    {
        var sh = L({1, 2, 3}), dd(4, 0);
        dd["a"] = 1;
        wl = var(sh.iter());
        wd = var(dd.iter());
        sh.del(0);
        sh.del(0);
    }
    std::string walked;
    while (wl.next(x)) walked += x.str();
    while (wd.next(x)) walked += x.str();
    EXPECT_EQ(walked, "3a");
}

TEST(Var, StringOps) {
    var s("hello");
    EXPECT_EQ(s.len(), 5);
    EXPECT_TRUE(s.has("ell") && s.has(var()) && var("a1b").has(1));
    EXPECT_FALSE(s.has("xyz"));
    // a start past the end yields nothing, never throws
    const struct { int a, b; const char* want; } slices[] = {
        {1, 3, "el"}, {-3, 100, "llo"}, {-100, -4, "h"}, {3, 1, "lo"}, {10, 12, ""}};
    for (auto& c : slices) EXPECT_EQ(s.slice(c.a, c.b).str(), c.want) << c.a << ":" << c.b;
    EXPECT_EQ((var("1") + var(2)).str(), "12");
    EXPECT_EQ((var("a") + var()).str(), "a");
    EXPECT_EQ(s.str(), "hello");
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
    EXPECT_NE(out.find("TypeError: lists may only be extended by lists"), std::string::npos);

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
    const var pool[] = {var(),    var(-3),    var(-1),    var(0),   var(2),    var("0"), var("5"),
                        var("9"), var(true), var(false), var("z"), var(3, 0), var(3, 0)};
    var mixed(3, 0);
    for (int i = 0; i < 5000; ++i) list_append(mixed, pool[rng() % 13]);
    std::vector<var_object*> before, after;
    for (const var& v : mixed.as_list()->elements) before.push_back(v._o);
    list_sort(mixed);
    for (const var& v : mixed.as_list()->elements) after.push_back(v._o);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after);
}

TEST(Var, StringUtilities) {
    const struct { const char *text, *sep; std::vector<std::string> parts; } splits[] = {
        {"a,b,", ",", {"a", "b", ""}}, {"a//b", "/", {"a", "", "b"}}, {"", "/", {""}},
        {"a::b::c", "::", {"a", "b", "c"}}};
    for (auto& c : splits) EXPECT_EQ(texts(str_split(c.text, c.sep)), c.parts) << c.text;
    EXPECT_EQ(str_join("-", str_split("a,b,", ",")).str(), "a-b-");
    EXPECT_EQ(texts(str_split("abc", "")), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(str_join(", ", L({1, 2.5, true, var()})).str(), "1, 2.5, True, ");
    EXPECT_EQ(str_join("-", var(3, 0)).str(), "");
    const char* reps[][4] = {{"aaa", "a", "aa", "aaaaaa"}, {"x.y.z", ".", "", "xyz"},
                             {"abcabc", "bc", "-", "a-a-"}, {"abc", "", "x", "abc"}};
    for (auto& r : reps) EXPECT_EQ(str_replace(r[0], r[1], r[2]), r[3]) << r[0];
}
