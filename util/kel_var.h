// kel_var: the one dynamic value of the engine.
//
// A `var` is one pointer to a reference-counted `var_object` (null = none). Copying a handle
// shares the object, so lists and dicts change in place and every copy sees the change.
// Kinds and type codes: none 0, number 1 (double), string 2 (bytes), list 3, dict 4 (keys are
// byte strings, kept in byte order), bool 5; iterators and the bare object are -1 ("invalid").
// Errors (wrong type, bad index) never throw: one log line, a neutral result, nothing changed.
//
//   var l(3, 0), d(4, 0);            // empty list, empty dict
//   list_append(l, 1.5);             // l = [1.5]
//   d["name"] = "kel";               // dict read inserts a missing key (as none), then assigns
//   d.set("hp", 10);                 // the same in one call
//   if (d.has("hp")) n = d["hp"].to_int();
//   var it(d.iter()), k, v;          // the handle owns the iterator
//   while (it.next(k, v)) ...        // keys in byte order
//   std::string s = v.str();         // text form; number() for the numeric form
//
// Fast paths for builders (JSON, event dicts): list_append(list, std::move(item)),
// dict.set(std::string key, value), dict_build for a whole object at once,
// as_list()/as_dict()/as_string() for direct access.
// Values are single-threaded: counts are plain integers and the shared none is one static.
#ifndef KEL_VAR_H
#define KEL_VAR_H

#include <stdint.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

class var;
class var_object;
class _var_string;
class _var_list;
class _var_dict;

// Reports an error of a value operation: logs "[base:func:line] path:line: msg".
void var_error(const char* file, int line, const char* func, const char* msg);
#define VAR_ERROR(func, msg) var_error(__FILE__, __LINE__, func, msg)

// Name of a type code: "none" ... "bool", anything else "invalid".
const char* var_type_name(int code);

// Handle: one pointer, shared ownership by intrusive count.
class var {
public:
    var_object* _o;

    constexpr var() : _o(nullptr) {}
    var(int v);
    var(long v);
    var(long long v);
    var(unsigned v);
    var(unsigned long v);
    var(unsigned long long v);
    var(float v);
    var(double v);
    var(bool v);
    var(const char* s);
    var(const char* s, size_t n);  // bytes, may hold NULs
    var(const std::string& s);
    var(std::string&& s);
    var(var_object* o);
    // type 3: list of count var* arguments; type 4: dict from count var* arguments taken as
    // key, value, ...; any other type: none.
    var(int type, int count, ...);

    var(const var& o);
    var(var&& o) noexcept : _o(o._o) { o._o = nullptr; }
    ~var();
    var& operator=(const var& o);
    var& operator=(var&& o);

    // Queries (a null handle answers as none).
    int type() const;
    const char* type_name() const;
    std::string str() const;
    double number() const;
    int to_int() const;  // toward zero, saturating at the 32-bit limits, NaN gives 0
    float to_float() const;
    bool truth() const;
    bool is_none() const { return type() == 0; }
    explicit operator bool() const { return truth(); }
    explicit operator double() const { return number(); }
    explicit operator float() const { return to_float(); }
    explicit operator int() const { return to_int(); }
    explicit operator std::string() const { return str(); }

    // Direct access to the value object, or null when the kind differs.
    _var_string* as_string() const;
    _var_list* as_list() const;
    _var_dict* as_dict() const;

    // Container operations. A handle's constness does not cover the shared object.
    var& operator[](const var& key) const;
    var& operator[](int index) const;
    var& operator[](double key) const;
    var& operator[](const char* key) const;
    var& operator[](const std::string& key) const;
    void set(const var& key, const var& value) const;
    void set(const char* key, var value) const;
    void set(const std::string& key, var value) const;
    void set(int index, var value) const;
    void set(double key, var value) const;
    bool has(const var& key) const;
    void del(const var& key) const;
    int len() const;
    var slice(int start, int end) const;
    var copy() const;
    var_object* iter() const;        // bind the result to a handle, which then owns it
    bool next(var& out) const;       // on an iterator handle; false when done
    bool next(var& out_a, var& out_b) const;

    friend void swap(var& a, var& b) noexcept {
        var_object* t = a._o;
        a._o = b._o;
        b._o = t;
    }
    friend bool operator==(const var& a, const var& b);
    friend bool operator!=(const var& a, const var& b) { return !(a == b); }
    friend bool operator<(const var& a, const var& b);
    friend var operator+(const var& a, const var& b);
    friend var operator-(const var& a, const var& b);
    friend var operator*(const var& a, const var& b);
    friend var operator/(const var& a, const var& b);

    var_object* _obj() const;  // the object, or the static none for a null handle
};

// Failed element reads hand out this one none, reset each time.
extern var var_none_ref;

// Abstract base of every value: virtual operations named after the operation.
class var_object {
public:
    uint32_t _refs = 0;

    var_object() {}
    var_object(const var_object&) = delete;
    var_object& operator=(const var_object&) = delete;
    virtual ~var_object();
    virtual int __type__() const;
    virtual var_object* __copy__() const;
    virtual var& __get__(const var& key);
    virtual void __set__(const var& key, const var& value);
    virtual bool __has__(const var& key) const;
    virtual void __del__(const var& key);
    virtual int __len__() const;
    virtual var __slice__(int start, int end) const;
    virtual var_object* __iter__() const;
    virtual bool __next__(var& out);
    virtual bool __next__(var& out_a, var& out_b);
    virtual std::string __str__() const;
    virtual double __number__() const;
    virtual bool __bool__() const;
    virtual bool __lt__(const var& other) const;
    virtual bool __eq__(const var& other) const;
    virtual var __add__(const var& other) const;
    virtual var __mul__(const var& other) const;
    virtual var __sub__(const var& other) const;
    virtual var __div__(const var& other) const;
};

class _var_none : public var_object {
public:
    int __type__() const override;
    var_object* __copy__() const override;
    bool __eq__(const var& other) const override;
};

class _var_number : public var_object {
public:
    double value;
    explicit _var_number(double v) : value(v) {}
    int __type__() const override;
    var_object* __copy__() const override;
    std::string __str__() const override;
    double __number__() const override;
    bool __bool__() const override;
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
    var __add__(const var& other) const override;
    var __mul__(const var& other) const override;
    var __sub__(const var& other) const override;
    var __div__(const var& other) const override;
};

class _var_string : public var_object {
public:
    std::string value;
    explicit _var_string(const std::string& v) : value(v) {}
    explicit _var_string(std::string&& v) : value(std::move(v)) {}
    _var_string(const char* s, size_t n) : value(s, n) {}
    int __type__() const override;
    var_object* __copy__() const override;
    bool __has__(const var& key) const override;
    int __len__() const override;
    var __slice__(int start, int end) const override;
    var_object* __iter__() const override;
    std::string __str__() const override;
    double __number__() const override;
    bool __bool__() const override;
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
    var __add__(const var& other) const override;
};

class _var_list : public var_object {
public:
    std::vector<var> elements;
    int __type__() const override;
    var_object* __copy__() const override;
    var& __get__(const var& key) override;
    void __set__(const var& key, const var& value) override;
    bool __has__(const var& key) const override;
    void __del__(const var& key) override;
    int __len__() const override;
    var __slice__(int start, int end) const override;
    var_object* __iter__() const override;
    std::string __str__() const override;
    bool __bool__() const override;
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
    var __add__(const var& other) const override;
};

// Dict storage. Entries never move once made, so a `var&` from d["k"] stays valid while other
// keys come and go. Entries live in blocks freed with the dict; pointers to them are kept in
// key order in leaves of a B+ tree, linked left to right for walks. A small dict is a single
// leaf. A dict made in one go (see dict_build) has a single block that also holds its one
// leaf, so it costs one allocation besides the object; its first single insert or erase
// turns a leaf too large for that into a tree.
class _var_dict_entries {
public:
    typedef std::pair<std::string, var> entry;
    struct leaf {
        leaf* next;
        uint32_t n;
        uint32_t cap : 31, own : 1;  // own: allocated on its own, not inside an entry block
        entry** slots() const { return (entry**)(const_cast<leaf*>(this) + 1); }
    };
    class const_iterator {
    public:
        const leaf* l;
        uint32_t i;
        const entry& operator*() const { return *l->slots()[i]; }
        const entry* operator->() const { return l->slots()[i]; }
        const_iterator& operator++() {
            if (++i == l->n) {
                l = l->next;
                i = 0;
            }
            return *this;
        }
        bool operator==(const const_iterator& o) const { return l == o.l && i == o.i; }
        bool operator!=(const const_iterator& o) const { return !(*this == o); }
    };

    void* root = nullptr;     // a leaf when height is 0, else an inner node
    leaf* first = nullptr;    // the leftmost leaf
    uint32_t count = 0;
    uint32_t height = 0;
    uint32_t version = 0;     // changes on every insert and erase
    void* blocks = nullptr;   // newest first
    entry* free_slots = nullptr;  // erased entries, their storage reused first

    _var_dict_entries() {}
    _var_dict_entries(const _var_dict_entries& o);
    _var_dict_entries& operator=(const _var_dict_entries&) = delete;
    ~_var_dict_entries();
    size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const_iterator begin() const { return count ? const_iterator{first, 0} : end(); }
    const_iterator end() const { return const_iterator{nullptr, 0}; }

    entry* find(const char* k, size_t n) const;
    const_iterator lower_bound(const char* k, size_t n) const;  // first key not below k
    // Storage for n entries and a leaf for them in one block; the dict must have no storage
    // yet. Inserts and erases go through _var_dict.
    entry* reserve_block(uint32_t n);
};

class _var_dict : public var_object {
public:
    typedef _var_dict_entries map_type;
    map_type entries;
    _var_dict() {}
    explicit _var_dict(const map_type& e) : entries(e) {}
    var& at(const char* key, size_t n);  // finds or inserts (with none)
    void put(std::string&& key, var&& value);
    int __type__() const override;
    var_object* __copy__() const override;
    var& __get__(const var& key) override;
    void __set__(const var& key, const var& value) override;
    bool __has__(const var& key) const override;
    void __del__(const var& key) override;
    int __len__() const override;
    var_object* __iter__() const override;
    std::string __str__() const override;
    bool __bool__() const override;
    bool __lt__(const var& other) const override;
    bool __eq__(const var& other) const override;
};

// Fills an empty dict from n keys and values in arrival order, taking them over; a repeated
// key keeps its later value. Builders that see a whole object at once (JSON) use it.
void dict_build(_var_dict* d, std::string* keys, var* values, size_t n);

class _var_bool : public var_object {
public:
    uint8_t value;
    explicit _var_bool(bool v) : value(v ? 1 : 0) {}
    int __type__() const override;
    var_object* __copy__() const override;
    std::string __str__() const override;
    double __number__() const override;
    bool __bool__() const override;
    bool __eq__(const var& other) const override;
};

// The iterators keep what they walk alive. Lists and strings are walked by index over at
// most the elements there at the start, so one that changes meanwhile is never read past
// its end.
class _var_string_iter : public var_object {
public:
    var src;
    int32_t index = 0, end;
    explicit _var_string_iter(const _var_string* s);
    bool __next__(var& out) override;
    bool __next__(var& out_a, var& out_b) override;
};

class _var_list_iter : public var_object {
public:
    var src;
    int32_t index = 0, end;
    explicit _var_list_iter(const _var_list* l);
    bool __next__(var& out) override;
    bool __next__(var& out_a, var& out_b) override;
};

// Each step remembers the key that comes next, so keys inserted or erased meanwhile move no
// entry under it: the walk goes on from that key.
class _var_dict_iter : public var_object {
public:
    var dict;
    _var_dict_entries::const_iterator at;
    uint32_t version;
    bool done = false;
    std::string next_key;
    explicit _var_dict_iter(const _var_dict* d);
    bool __next__(var& out) override;
    bool __next__(var& out_a, var& out_b) override;

private:
    const _var_dict_entries::entry* step();
};

// List utilities: a non-list first argument is logged as "UnsupportedError" and ignored.
void list_append(const var& list, const var& item);
void list_append(const var& list, var&& item);
int list_find(const var& list, const var& item);  // index of first equal element, or -1
void list_insert(const var& list, int position, const var& item);
void list_extend(const var& list, const var& other);
void list_sort(const var& list);  // ascending by <, not stable
void list_reverse(const var& list);

// String utilities on byte strings.
var str_join(const std::string& separator, const var& list);
var str_split(const std::string& text, const std::string& separator);
std::string str_replace(const std::string& text, const std::string& pattern,
                        const std::string& replacement);

#endif
