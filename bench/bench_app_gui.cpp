// Focus navigation in a tree of 1,000 focusable widgets (goal: under 50 us), and one
// arrow key routed by the host through a script's tree of 100 (goal: under 10 us).
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

BENCHMARK_MAIN();
