// The widget tree without a window: lookup, focus and activation paths, state codes,
// edges and layout, routing of pointer and key events, and navigation. (Sounds are
// heard in the end-to-end test.)
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

TEST(Gui, FindAndDescendantsOrder) {
    Container root("x");
    Container* a = new Container("a");
    root.add(a);
    a->add(new Widget("x"));
    root.add(new Widget("x"));
    // A matching descendant before the container itself, the first in child order.
    EXPECT_EQ(root.find("x"), a->children[0]);
    EXPECT_EQ(root.find("a"), a);
    EXPECT_EQ(root.find("nothing"), nullptr);
    EXPECT_EQ(root.descendants(), std::vector<Widget*>({a, a->children[0], root.children[1]}));
}

TEST(Gui, StateCodesFollowTheFlags) {
    struct {
        std::vector<int> events;
        int state;
    } cases[] = {
        {{GUI_EVT_FOCUS}, 3},
        {{GUI_EVT_ACTIVATE}, 2},
        {{GUI_EVT_FOCUS, GUI_EVT_ACTIVATE}, 4},
        {{GUI_EVT_ACTIVATE, GUI_EVT_FOCUS, GUI_EVT_BLUR}, 2},  // blurring "both" leaves active
        {{GUI_EVT_ACTIVATE, GUI_EVT_FOCUS, GUI_EVT_DEACTIVATE}, 3},
        {{GUI_EVT_FOCUS, GUI_EVT_BLUR}, 0},
    };
    for (auto& c : cases) {
        Widget w("w");
        for (int t : c.events) send(w, ev(t));
        EXPECT_EQ(w.state, c.state) << c.events.size();
        EXPECT_EQ(w.both, c.state == 4 ? 1 : 0);
    }
}

TEST(Gui, FocusBlursTheOldPathAndMarksTheNew) {
    Container root;
    Container* c1 = new Container("c1");
    Container* c2 = new Container("c2");
    root.add(c1);
    root.add(c2);
    Widget* w1 = leaf(c1, "w1", 0, 0, 10, 10);
    Widget* w2 = leaf(c2, "w2", 0, 0, 10, 10);
    w2->handlers[GUI_ON_FOCUS] = var("w2 focus");
    c2->handlers[GUI_ON_FOCUS] = var("c2 focus");

    EXPECT_TRUE(w1->focus().is_none());
    EXPECT_TRUE(root.focused_child == c1 && c1->focused_child == w1 && w1->has_focus());
    EXPECT_FALSE(c1->has_focus());  // handed on to its child
    EXPECT_TRUE(w1->focus().is_none());  // focused already

    // The later result along the path (the container's) wins.
    EXPECT_EQ(text(w2->focus()), "c2 focus");
    EXPECT_TRUE(w1->state == 0 && c1->focused == 0 && c1->focused_child == nullptr);
    EXPECT_TRUE(root.focused_child == c2 && c2->focused_child == w2);

    // select = activate then focus; the active path is recorded the same way.
    w1->handlers[GUI_ON_ACTIVATE] = var("w1 activate");
    EXPECT_EQ(text(w1->select()), "w1 activate");  // no focus value, so the activate one
    EXPECT_TRUE(w1->state == 4 && root.active_leaf() == w1 && w2->state == 0);
}

TEST(Gui, EdgesInsetsAndLayout) {
    struct {
        std::vector<std::pair<int, int>> edges;  // property, value
        float inset_x, inset_y, outer_w, outer_h;
    } cases[] = {
        {{}, 0, 0, 40, 20},  // unset edges count 0
        {{{GUI_EDGE_MARGIN + 3, 2}, {GUI_EDGE_BORDER + 3, 1}, {GUI_EDGE_PADDING + 3, 4}}, 7, 0, 47, 20},
        {{{GUI_EDGE_BORDER + 0, 1}, {GUI_EDGE_BORDER + 1, 2}, {GUI_EDGE_PADDING + 2, 3}}, 0, 1, 42, 24},
    };
    for (auto& c : cases) {
        Widget w;
        w.style[GUI_BLOCK_LAYOUT].width = 40;
        w.style[GUI_BLOCK_LAYOUT].height = 20;
        for (auto& e : c.edges) w.style[GUI_BLOCK_LAYOUT].p[e.first] = e.second;
        std::vector<float> want = {c.inset_x, c.inset_y, c.outer_w, c.outer_h};
        w.layout(1000, 1000);
        EXPECT_EQ(std::vector<float>({w.inset_x, w.inset_y, w.outer_w, w.outer_h}), want);
        w.outer_w = w.outer_h = 0;
        w._resize();  // the same box without an offered size
        EXPECT_EQ(std::vector<float>({w.inset_x, w.inset_y, w.outer_w, w.outer_h}), want);
    }
    Widget unsized;
    unsized.layout(100, 100);
    EXPECT_EQ(unsized.outer_w, 0.0f);
}

// Children of 30x10, 20x20 and 10x30 with spacing 5 in a 100x100 container.
TEST(Gui, ColumnAndRowLayout) {
    struct {
        int direction, align, justify;
        float boxes[3][2];
    } cases[] = {
        {GUI_COLUMN, GUI_UNSET, GUI_UNSET, {{0, 0}, {0, 15}, {0, 40}}},
        {GUI_COLUMN, GUI_CENTRE, GUI_END, {{35, 30}, {40, 45}, {45, 70}}},
        {GUI_ROW, GUI_END, GUI_CENTRE, {{15, 90}, {50, 80}, {75, 70}}},
    };
    for (auto& c : cases) {
        Container root;
        GuiStyle& s = root.style[GUI_BLOCK_BASE];
        s.p[GUI_P_DIRECTION] = c.direction;
        s.p[GUI_P_ALIGN] = c.align;
        s.p[GUI_P_JUSTIFY] = c.justify;
        s.p[GUI_P_SPACING] = 5;
        s.width = s.height = 100;
        const float sizes[3][2] = {{30, 10}, {20, 20}, {10, 30}};
        for (auto& z : sizes) {
            Widget* w = new Widget();
            w->style[GUI_BLOCK_BASE].width = z[0];
            w->style[GUI_BLOCK_BASE].height = z[1];
            root.add(w);
        }
        gui_style_step(&root);
        root.layout(100, 100);
        for (int i = 0; i < 3; i++)
            EXPECT_EQ(std::make_pair(root.children[i]->box_x, root.children[i]->box_y),
                      std::make_pair(c.boxes[i][0], c.boxes[i][1])) << c.direction << i;
    }
    // Without a size of its own a column is as wide as its widest child.
    Container col;
    Widget* w = new Widget();
    w->style[GUI_BLOCK_BASE].width = 30;
    w->style[GUI_BLOCK_BASE].p[GUI_EDGE_MARGIN + 1] = 4;
    col.add(w);
    col.layout(500, 500);
    EXPECT_EQ(col.content_w, 34.0f);
}

TEST(Gui, StyleFollowsTheStateAndSizeStepsBy1000) {
    Container root;
    Widget* w = new Widget();
    root.add(w);
    w->style[GUI_BLOCK_BASE].width = 500;
    w->style[GUI_BLOCK_BASE].p[GUI_P_BACKGROUND] = 0x111111;
    w->style[GUI_STATE_FOCUSED + 1].p[GUI_P_BACKGROUND] = 0xff0000;
    w->style[GUI_STATE_FOCUSED + 1].width = 3000;
    root.layout(0, 0);
    EXPECT_EQ(w->outer_w, 500.0f);  // first pass: no computed size yet, the target at once
    EXPECT_EQ(w->style[GUI_BLOCK_LAYOUT].p[GUI_P_BACKGROUND], 0x111111);
    w->focus();
    const float steps[] = {1500, 2500, 3000, 3000};
    for (float s : steps) {
        root.layout(0, 0);
        EXPECT_EQ(w->outer_w, s);
    }
    EXPECT_EQ(w->style[GUI_BLOCK_LAYOUT].p[GUI_P_BACKGROUND], 0xff0000);

    // A label changed every frame replaces its text: what the widget holds stays bounded.
    for (int b : {(int)GUI_BLOCK_BASE, GUI_STATE_FOCUSED + 1})
        for (int i = 0; i < 1000; i++)
            w->style[b].p[GUI_P_LABEL] = w->text_set(b, GUI_P_LABEL, std::to_string(b * i));
    root.layout(0, 0);
    EXPECT_STREQ(w->text_of(w->style[GUI_BLOCK_LAYOUT].p[GUI_P_LABEL]), "3996");
    EXPECT_STREQ(w->text_of(w->style[GUI_BLOCK_BASE].p[GUI_P_LABEL]), "0");
    EXPECT_LE(w->texts.size(), (size_t)GUI_BLOCKS * 3);
}

// A row holding two buttons inside a root: presses, releases, keys.
TEST(Gui, RoutingPointerAndKeys) {
    Container root;
    Container* row = new Container("row");
    row->box_x = 10, row->box_y = 10, row->outer_w = 100, row->outer_h = 20;
    root.add(row);
    Widget* a = leaf(row, "a", 0, 0, 40, 20);
    Widget* b = leaf(row, "b", 50, 0, 40, 20);
    const char* on[] = {"click", "down", "up", "motion"};
    for (Widget* w : {a, b})
        for (int i = 0; i < 4; i++) w->handlers[i] = var(w->name + " " + on[i]);

    struct {
        Event e;
        const char* value;
    } steps[] = {
        {ev(EVT_DOWN, 0, 15, 15), "a down"},
        {ev(EVT_MOTION, 0, 80, 15), "a motion"},  // motion goes to the pressed widget
        {ev(EVT_UP, 0, 15, 15), "a click"},        // up and click: the click is the later
        {ev(EVT_DOWN, 0, 65, 15), "b down"},
        {ev(EVT_UP, 0, 20, 15), "b up"},  // released over a: no click
        {ev(EVT_KEYDOWN, DRIVER_KEY_RETURN), "none"},
        {ev(EVT_KEYUP, DRIVER_KEY_RETURN), "b click"},  // the focused widget
        {ev(EVT_KEYUP, DRIVER_KEY_SPACE), "b click"},
        {ev(EVT_KEYUP, DRIVER_KEY_ESCAPE), "none"},
        {ev(EVT_DOWN, 0, 200, 200), "none"},  // outside: the active path is left
    };
    for (auto& s : steps) EXPECT_EQ(send(root, s.e), s.value) << s.e.type << " " << s.e.x;
    EXPECT_TRUE(root.active_child == nullptr && b->focused == 1);

    // A scrolled row is hit where its children are drawn.
    row->scroll_x = 50;
    EXPECT_EQ(send(root, ev(EVT_DOWN, 0, 15, 15)), "b down");
    row->scroll_x = 0;

    // A disabled widget is not hit; remove clears the routing pointers.
    a->disabled = 1;
    EXPECT_EQ(send(root, ev(EVT_DOWN, 0, 15, 15)), "none");
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

// Navigation between direct children of a root; boxes of 20 x 20 are set by hand.
struct NavBox {
    const char* name;
    float x, y;
    int focusable = 1, disabled = 0;
};
struct NavCase {
    const char* what;
    std::vector<NavBox> boxes;  // the first one is focused
    int dx, dy;
    const char* chosen;  // null: none
};

TEST(Gui, NavigationChoices) {
    const NavCase cases[] = {
        {"nothing to the right", {{"s", 100, 0}, {"l", 0, 0}}, 1, 0, nullptr},
        {"pre-order tie", {{"s", 0, 50}, {"up", 60, 20}, {"dn", 60, 80}}, 1, 0, "up"},
        {"tie, other order", {{"s", 0, 50}, {"dn", 60, 80}, {"up", 60, 20}}, 1, 0, "dn"},
        {"cross axis counts double", {{"s", 0, 0}, {"far", 60, 40}, {"below", 15, 100}}, 0, 1,
         "below"},
        {"equal centre x is never left or right", {{"s", 0, 0}, {"under", 0, 50}}, 1, 0, nullptr},
        {"equal centre y is never up or down", {{"s", 0, 0}, {"beside", 50, 0}}, 0, -1, nullptr},
        {"disabled and non-focusable skipped",
         {{"s", 0, 0}, {"dis", 30, 0, 1, 1}, {"nf", 60, 0, 0, 0}, {"ok", 300, 0}}, 1, 0, "ok"},
        {"up and left", {{"s", 100, 100}, {"ul", 0, 0}, {"u", 100, 0}}, 0, -1, "u"},
        {"left", {{"s", 100, 100}, {"ul", 0, 0}}, -1, 0, "ul"},
        {"far distances clamp, pre-order decides",
         {{"s", 0, 0}, {"farther", 50000, 0}, {"far", 40000, 0}}, 1, 0, "farther"},
    };
    for (const NavCase& c : cases) {
        Container root;
        std::vector<Widget*> ws;
        for (const NavBox& b : c.boxes) {
            ws.push_back(leaf(&root, b.name, b.x, b.y, 20, 20, b.focusable));
            ws.back()->disabled = b.disabled;
        }
        ws[0]->select();
        _nav(ws[0], c.dx, c.dy);
        Widget* now = root.focused_child;
        EXPECT_STREQ(now->name.c_str(), c.chosen ? c.chosen : "s") << c.what;
        EXPECT_TRUE(!c.chosen || (now->state == GUI_STATE_BOTH && ws[0]->state == GUI_STATE_NONE))
            << c.what;
    }
}

TEST(Gui, NavigationThroughContainers) {
    // The arrow keys reach the focused leaf through the containers.
    Container root;
    Container* box = new Container("box");
    box->focusable = 1;
    box->box_x = 0, box->box_y = 0, box->outer_w = 100, box->outer_h = 300;
    root.add(box);
    Widget* a = leaf(box, "a", 0, 0, 20, 20);
    Widget* b = leaf(box, "b", 0, 150, 20, 20);
    Widget* c = leaf(&root, "c", 0, 100, 20, 20);
    c->handlers[GUI_ON_FOCUS] = var("c focus");
    a->focus();
    EXPECT_TRUE(_nav(box, 0, 1).is_none());  // has handed its focus to a
    // c at y 100 is nearer than b at 150
    EXPECT_EQ(send(root, ev(EVT_KEYDOWN, DRIVER_KEY_DOWN)), "c focus");

    // Scrolled by 120, b (150) sits at 30, above c: down from a now reaches b.
    box->scroll_y = 120;
    a->focus();
    send(root, ev(EVT_KEYDOWN, DRIVER_KEY_DOWN));
    EXPECT_EQ(box->focused_child, b);
    float r[4];
    gui_box(b, r);
    EXPECT_EQ(std::vector<float>(r, r + 4), std::vector<float>({0, 30, 20, 20}));
}

}  // namespace
