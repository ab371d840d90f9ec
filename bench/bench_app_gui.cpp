// Focus navigation in a tree of 1,000 focusable widgets (goal: under 50 us), one
// arrow key routed by the host through a script's tree of 100 (goal: under 10 us), and
// a score label changed by gui:set after 0 and 200,000 earlier changes (goal: the same
// time per call, and under 100 kB of memory growth over all of them).
#include <stdio.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "src/ext_gui/ext_gui.h"
#include "src/game/game.h"
#include "src/mods_api/mods_api.h"
#include "util/kel_driver.h"
#include "util/kel_gui.h"

// rows x cols buttons of 40 x 20 with gaps of 10, rows in a column.
static void _bench_grid(Container* root, int rows, int cols) {
    root->style[GUI_BLOCK_BASE].p[GUI_P_SPACING] = 10;
    for (int r = 0; r < rows; r++) {
        Container* row = new Container("r" + std::to_string(r));
        row->style[GUI_BLOCK_BASE].p[GUI_P_DIRECTION] = GUI_ROW;
        row->style[GUI_BLOCK_BASE].p[GUI_P_SPACING] = 10;
        for (int c = 0; c < cols; c++) {
            Widget* w = new Widget("b" + std::to_string(r) + "_" + std::to_string(c));
            w->style[GUI_BLOCK_BASE].width = 40;
            w->style[GUI_BLOCK_BASE].height = 20;
            w->focusable = 1;
            row->add(w);
        }
        root->add(row);
    }
    gui_style_step(root);
    root->layout(0, 0);
}

static Widget* _bench_focused(Container* root) {
    Widget* w = root;
    while (Container* c = dynamic_cast<Container*>(w)) {
        if (!c->focused_child) break;
        w = c->focused_child;
    }
    return w;
}

// Right, then left again: every call finds a target and moves the focus.
static void BM_Nav1000(benchmark::State& state) {
    driver_verbose_set(0);
    Container root;
    _bench_grid(&root, 25, 40);
    root.children[12]->find("b12_20")->focus();
    int dx = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(_nav(_bench_focused(&root), dx, 0));
        dx = -dx;
    }
    if (_bench_focused(&root) == &root) state.SkipWithError("focus lost");
}
BENCHMARK(BM_Nav1000)->Unit(benchmark::kMicrosecond);

// The whole host path of a key: layout of the tree, routing from the root down to
// the focused widget, navigation, and the focus value handed back.
static void BM_RoutedKey100(benchmark::State& state) {
    driver_verbose_set(0);
    Game game = Game();
    game.headless = 1;
    game.api = new ModsAPI(&game);
    game.api->params.set("view_w", var(640));
    game.api->params.set("view_h", var(480));
    ext_gui_init(&game);
    _bench_grid(&game.api->gui[0], 10, 10);
    for (Widget* w : game.api->gui[0].descendants()) w->handlers[GUI_ON_FOCUS] = var("f");
    game.api->gui[0].children[5]->find("b5_5")->focus();
    Event e = Event();
    e.type = EVT_KEYDOWN;
    int consumed = 0;
    for (auto _ : state) {
        e.key = e.key == DRIVER_KEY_RIGHT ? DRIVER_KEY_LEFT : DRIVER_KEY_RIGHT;
        consumed += ext_gui_route(&game, e);
    }
    if (consumed != (int)state.iterations()) state.SkipWithError("a key was not consumed");
    ext_gui_deinit();
    delete game.api;
}
BENCHMARK(BM_RoutedKey100)->Unit(benchmark::kMicrosecond);

// Resident set size in kB.
static long _bench_rss_kb() {
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f) return 0;
    if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    fclose(f);
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static void BM_ScoreLabel(benchmark::State& state) {
    driver_verbose_set(0);
    Game game = Game();
    game.headless = 1;
    game.api = new ModsAPI(&game);
    ext_gui_init(&game);
    var add(4, 0);
    add.set("name", var("score"));
    ext_gui_call(&game, "gui:add", add);
    Widget* w = game.api->gui[0].find("score");
    long n = 0;
    auto set = [&] {
        var a(4, 0);
        a.set("name", var("score"));
        a.set("label", var("Score: " + std::to_string(n++)));
        return ext_gui_call(&game, "gui:set", a).truth();
    };
    // Warmed up first, so the heap has settled before the growth is measured.
    for (int i = 0; i < 1000; i++) set();
    long rss0 = _bench_rss_kb();
    bool ok = true;
    for (long i = 0; i < state.range(0); i++) ok = set() && ok;
    for (auto _ : state) ok = set() && ok;
    long growth = _bench_rss_kb() - rss0;
    const char* label = w ? w->text_of(w->style[GUI_BLOCK_BASE].p[GUI_P_LABEL]) : nullptr;
    state.counters["updates"] = (double)n;
    state.counters["rss_growth_kB"] = (double)growth;
    state.counters["texts"] = w ? (double)w->texts.size() : 0.0;
    if (!ok || !label || std::string(label) != "Score: " + std::to_string(n - 1))
        state.SkipWithError("the label is not the last one set");
    else if (w->texts.size() > GUI_BLOCKS * 3)
        state.SkipWithError("the widget keeps old labels");
    else if (growth >= 100)
        state.SkipWithError("memory grew by 100 kB or more");
    ext_gui_deinit();
    delete game.api;
}
BENCHMARK(BM_ScoreLabel)->Arg(0)->Arg(200000)->Iterations(200000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
