-- net: an HTTP request that never stops the frames, and an SQLite database in the
-- user area.
--
--   build/kelgame -mod examples/net/main.lua -port 8080
--
-- Keeps its scores in kelgame-example-scores.db and posts the newest one to a web
-- server on 127.0.0.1 (port "-port", default 8080), if one listens: any server does,
-- the example shows the status and the start of the answer. Without a server the
-- request fails, and says so. Runs headless too; "-frames N" quits after N frames.

local W, H = 360, 200
local FONT = "fonts/dejavu"
local port = tonumber(kel_params_get("port")) or 8080
local frames, frames_max = 0, tonumber(kel_params_get("frames"))
local lines = {}
local request, db

local function ext(name, arg) return json_decode(kel_ext_call(name, json_encode(arg))) end
local function say(text) lines[#lines + 1] = text; print(text) end

function _init()
  kel_params_set("caption", "kelgame - net")
  db = ext("db:open", { name = "kelgame-example-scores.db" })
  assert(db ~= 0, "cannot open the database")
  ext("db:query", { db = db, sql = "create table if not exists scores(name text, points integer)" })
  math.randomseed(os.time())
  local points = math.random(100, 999)
  local r = ext("db:query", { db = db, sql = "insert into scores values(?, ?)", params = { "ann", points } })
  assert(not r.failed, r.error)
  r = ext("db:query", { db = db,
    sql = "select name, points from scores order by points desc limit 3" })
  for i, row in ipairs(r.rows) do say(string.format("#%d %s %d", i, row.name, tonumber(row.points))) end
  -- Returns at once with an id; the answer arrives later as an "http" event.
  request = ext("http:request", { host = "127.0.0.1", port = port, path = "/score",
    body = "name=ann&points=" .. points, timeout = 5 })
  say("posting " .. points .. " to 127.0.0.1:" .. port .. " ...")
end

function _event(e)
  if e.type == "http" and e.id == request then
    if e.failed then say("no answer from the server")
    else say(string.format("status %d: %s", e.status, e.body:sub(1, 30):gsub("%s+", " "))) end
    request = nil
  end
end

function _loop()
  frames = frames + 1
  if frames_max and frames >= frames_max then
    ext("db:close", { db = db })
    kel_ext_call("exit")
  end
end

function _paint()
  kel_view_set(0, 0, W, H)
  kel_rect_draw(0x202028, 0, 0, W, H)
  for i, line in ipairs(lines) do kel_font_draw(FONT, 14, line, 10, 10 + (i - 1) * 18) end
  if request then kel_font_draw(FONT, 14, "waiting" .. ("."):rep(math.floor(frames / 10) % 4), 10, H - 24) end
end
