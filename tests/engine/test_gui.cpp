// The widget tree without a window: routing with its mended faults and bounded label
// texts. (Focus, layout and navigation rules are run by the widget games in tests/mods and
// test_gui_e2e.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "util/kel_driver.h"
#include "util/kel_gui.h"

namespace {

Widget* leaf(Container* parent, const char* name, float x, float y, float w, float h,
             int focusable = 1) {
    Widget* c = new Widget(name);
    c->box_x = x, c->box_y = y, c->outer_w = w, c->outer_h = h;
    c->focusable = focusable;
    parent->add(c);
    return c;
}

Event ev(int type, int key = 0, float x = 0, float y = 0) {
    Event e = Event();
    e.type = type;
    e.key = key;
    e.x = x, e.y = y;
    return e;
}

std::string text(const var& v) { return v.is_none() ? "none" : v.str(); }

// Routes e through w; what it answered.
std::string send(Widget& w, Event e) { return text(w._event(&e)); }

// A label changed every frame replaces its text: what the widget holds stays bounded.
TEST(Gui, LabelTextsStayBounded) {
    Container root;
    Widget* w = new Widget();
    root.add(w);
    w->focus();
    for (int b : {(int)GUI_BLOCK_BASE, GUI_STATE_FOCUSED + 1})
        for (int i = 0; i < 1000; i++)
            w->style[b].p[GUI_P_LABEL] = w->text_set(b, GUI_P_LABEL, std::to_string(b * i));
    root.layout(0, 0);
    EXPECT_STREQ(w->text_of(w->style[GUI_BLOCK_LAYOUT].p[GUI_P_LABEL]), "3996");
    EXPECT_STREQ(w->text_of(w->style[GUI_BLOCK_BASE].p[GUI_P_LABEL]), "0");
    EXPECT_LE(w->texts.size(), (size_t)GUI_BLOCKS * 3);
}

// A row holding two buttons inside a root. A scrolled row is hit where its children are
// drawn; a disabled widget is not hit; remove clears the routing pointers.
TEST(Gui, RoutingScrolledDisabledAndRemoved) {
    Container root;
    Container* row = new Container("row");
    row->box_x = 10, row->box_y = 10, row->outer_w = 100, row->outer_h = 20;
    root.add(row);
    Widget* a = leaf(row, "a", 0, 0, 40, 20);
    Widget* b = leaf(row, "b", 50, 0, 40, 20);
    for (Widget* w : {a, b}) w->handlers[GUI_ON_DOWN] = var(w->name + " down");
    row->scroll_x = 50;
    EXPECT_EQ(send(root, ev(EVT_DOWN, 0, 15, 15)), "b down");
    send(root, ev(EVT_UP, 0, 15, 15));
    row->scroll_x = 0;
    a->disabled = 1;
    EXPECT_EQ(send(root, ev(EVT_DOWN, 0, 15, 15)), "none");
    EXPECT_EQ(row->focused_child, b);
    row->remove(b);
    EXPECT_EQ(row->focused_child, nullptr);
    EXPECT_EQ(send(root, ev(EVT_KEYUP, DRIVER_KEY_RETURN)), "none");
}

TEST(Gui, DeactivationFollowsTheActivePath) {
    Container root;
    Widget* a = leaf(&root, "a", 0, 0, 20, 20);
    Widget* n = leaf(&root, "n", 30, 0, 20, 20, 0);
    Widget* b = leaf(&root, "b", 60, 0, 20, 20);
    a->select();
    send(root, ev(EVT_DOWN, 0, 35, 5));
    send(root, ev(EVT_UP, 0, 35, 5));
    // pressed, but it takes no focus
    EXPECT_TRUE(n->state == GUI_STATE_ACTIVE && a->state == GUI_STATE_FOCUSED);
    send(root, ev(EVT_KEYDOWN, DRIVER_KEY_RIGHT));  // skips n, selects b
    EXPECT_EQ(std::vector<int>({a->state, n->state, b->state}),
              std::vector<int>({GUI_STATE_NONE, GUI_STATE_NONE, GUI_STATE_BOTH}));
}

}  // namespace
