-- Transitions and screenshots through the extension call. Frame 1 grabs scene A (black,
-- a red rectangle) and scene B (blue, a green one); each later frame draws one effect
-- (frames.txt has their pixels), then come the screenshots: paths, formats, failures,
-- and a link planted at the target, which is replaced with its target untouched.
-- Headless (the second run) every transition call answers null.
local W, H = 320, 240
local EFFECTS = { { "fade", 0.5 }, { "zoom", 0.5 }, { "bzoom", 0.5 }, { "deres", 0.25 },
                  { "deres", 0.75 }, { "wipe", 0.5 } }
local home = os.getenv("HOME")
local home_pattern = home:gsub("%p", "%%%0")
local frame = 0

local function call(name, arg)
  if arg then return kel_ext_call(name, json_encode(arg)) end
  return kel_ext_call(name)
end

local function scene(bg, fg, x, y, w, h)
  kel_view_set(0, 0, W, H)
  kel_rect_draw(bg, 0, 0, W, H)
  kel_rect_draw(fg, x, y, w, h)
end

local function shot(arg)
  print("screenshot " .. call("screenshot", arg):gsub(home_pattern, "~"))
end

local function screenshots()
  local files = { {}, { filename = home .. "/f8.png" }, { filename = home .. "/b.jpg" },
    { filename = home .. "/c.bmp" }, { filename = "kel-no-such-dir/d.png" },
    { filename = "/nonexistent-kel/e.jpg" }, { filename = "/nonexistent-kel/e.png" } }
  for _, f in ipairs(files) do shot(f) end
  assert(io.open("b.jpg"):read(4) == "\255\216\255\224", "no JPEG")
  kel_file_save("victim", "keep")
  os.execute("ln -s victim link.jpg")
  shot({ filename = home .. "/link.jpg" })
  assert(os.execute("test -f link.jpg && ! test -L link.jpg"), "the link is still there")
  assert(kel_file_load("victim") == "keep", "the link's target was written")
  assert(not io.popen("ls"):read("*a"):find("tmp%-"), "a temp file stayed")
end

function _init()
  if not kel_params_get("headless") then return end
  call("trans:init")
  for _, n in ipairs({ "trans:ready", "trans:grab0", "trans:grab1", "trans:draw" }) do
    print(n .. " " .. call(n))
  end
  kel_ext_call("exit")
end

function _loop() end
function _event() end

function _paint()
  frame = frame + 1
  if frame == 1 then
    print("not ready: " .. call("trans:ready") .. " " .. call("trans:grab0") .. " " ..
      call("trans:draw", { effect = "fade", value = 1 }))
    call("trans:init")
    call("trans:init")  -- made once only: three "create_fbo" lines in the log
    print("ready " .. call("trans:ready"))
    scene(0x000000, 0xff0000, 50, 25, 100, 50)
    call("trans:grab0")
    scene(0x0000ff, 0x00ff00, 80, 60, 160, 140)
    call("trans:grab1")
  elseif EFFECTS[frame - 1] then
    -- the effect is the whole frame: nothing is drawn after it
    call("trans:draw", { effect = EFFECTS[frame - 1][1], value = EFFECTS[frame - 1][2] })
  elseif frame == 9 then
    scene(0x000000, 0xff0000, 50, 25, 100, 50)
    screenshots()
    kel_ext_call("exit")
  end
end
