-- A headless game posts two scores to the local server, reads the board back, keeps
-- it in SQLite and checks that its frames kept coming while the requests were open.
local port = tonumber(kel_params_get("port"))
local function ext(name, arg) return json_decode(kel_ext_call(name, json_encode(arg))) end
local function request(path, body)
  return ext("http:request", {host = "127.0.0.1", port = port, path = path, body = body, timeout = 5})
end

local frames, done = 0, {}
local posts, board, refused, cancelled, db, small, stored

function _init()
  db = ext("db:open", {name = "net_game.db"})
  assert(db > 0, "db:open")
  for _, sql in ipairs{"create table if not exists scores(name text, points integer)",
                       "delete from scores"} do
    local r = ext("db:query", {db = db, sql = sql})
    assert(not r.failed, r.error)
  end
  posts = {request("/score", "ann=42"), request("/score", "bob=7")}
  refused = ext("http:request", {host = "127.0.0.1", port = 1, path = "/"})
  -- the answer "ok" is longer than max_size
  small = ext("http:request", {host = "127.0.0.1", port = port, path = "/score", body = "zed=1", max_size = 1})
  cancelled = request("/board")
  assert(ext("http:cancel", {id = cancelled}) == true)
  assert(ext("http:cancel", {id = cancelled}) == false)
end

local function store(body)
  assert(body:find("ann=42", 1, true) and body:find("bob=7", 1, true), body)
  assert(body:find("\r\n", 1, true), "the CR of the body's line break is kept")
  for line in body:gmatch("[^\r\n]+") do
    local name, points = line:match("(%w+)=(%d+)")
    local r = ext("db:query", {db = db, sql = "insert into scores values(?, ?)", params = {name, tonumber(points)}})
    assert(not r.failed, r.error)
  end
  local r = ext("db:query", {db = db, sql = "select name, points from scores where points > ? order by points desc", params = {5}})
  assert(not r.failed and #r.rows == 2, r.error)
  assert(r.rows[1].name == "ann" and r.rows[1].points == "42" and r.rows[2].name == "bob")
  r = ext("db:query", {db = db, sql = "select nope from scores"})
  assert(r.failed and r.error:find("^sqlite3:prepare %[1%] no such column: nope"), r.error)

  local ro = ext("db:open", {name = "net_game.db", readonly = true})
  r = ext("db:query", {db = ro, sql = "insert into scores values('eve', 1)"})
  assert(r.failed and r.error:find("readonly"), r.error)
  assert(ext("db:close", {db = ro}) == true)
  r = ext("db:query", {db = ro, sql = "select 1"})
  assert(r.failed and r.error == "no such database")
  assert(ext("db:open", {name = ""}) == 0)
end

function _event(e)
  assert(e.type == "http" and e.id ~= cancelled and not done[e.id], e.type)
  done[e.id] = frames
  if e.id == refused then
    assert(e.failed and e.status == 0)
  elseif e.id == small then
    assert(e.failed and e.status == 200, "max_size")
  elseif e.id == posts[1] or e.id == posts[2] then
    assert(not e.failed and e.status == 200 and e.body == "ok", e.body)
    if done[posts[1]] and done[posts[2]] then board = request("/board") end
  elseif e.id == board then
    assert(not e.failed and e.status == 200)
    assert(frames - done[posts[1]] >= 2, "the frames went on while the board was read")
    store(e.body)
    stored = true
  end
  if stored and done[small] then kel_ext_call("exit") end
end

function _loop(dt)
  frames = frames + 1
  assert(frames < 600, "no answer in 10 s")
end

function _paint() end
