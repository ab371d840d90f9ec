---@meta
-- Lua language-server annotations for kelgame games (Lua 5.2). Point the editor's
-- library setting at this file's directory; nothing here runs.

---@alias kel.EventType
---| "suspend"     # the game is about to quit or pause: save here
---| "resume"      # the game goes on after a pause
---| "resize"      # the window size changed (w, h)
---| "reset"       # the window was re-created
---| "keydown"     # a key went down, or a character was typed (text)
---| "keyup"       # a key went up
---| "down"        # mouse button down, view units
---| "motion"      # mouse moved, view units
---| "up"          # mouse button up, view units
---| "mousedown"   # mouse button down, window pixels
---| "mousemotion" # mouse moved, window pixels
---| "mouseup"     # mouse button up, window pixels
---| "wheel"       # the mouse wheel turned (dy)
---| "touchdown"   # never produced on this platform
---| "touchmotion" # never produced on this platform
---| "touchup"     # never produced on this platform
---| "joyadded"    # a controller was plugged in (device)
---| "joyremoved"  # a controller was unplugged (device)
---| "joymotion"   # a stick or trigger moved (name, x, y)
---| "joydown"     # a controller button went down (name, button)
---| "joyup"       # a controller button went up (name, button)
---| "joyhat"      # never produced on this platform
---| "http"        # an HTTP request ended (id, failed, status, body)
---| "gui"         # a widget answered an input (name, value)

--- The table `_event` receives.
---@class kel.Event
---@field type kel.EventType
---@field x number position, stick or trigger value; else 0
---@field y number
---@field dx number movement since the last motion, or wheel notches
---@field dy number
---@field w integer new window width for resize
---@field h integer new window height for resize
---@field text string the typed character (one Latin-1 byte), else ""
---@field button integer mouse button, modifier bits, controller button or stick
---@field device integer the mouse or the controller's instance number
---@field key? integer SDL key code (keydown, keyup)
---@field name? string key, controller button, stick or widget name
---@field id? integer HTTP request id (http)
---@field failed? boolean the request failed (http)
---@field status? integer HTTP status (http)
---@field body? string response body (http)
---@field value? any the widget's value (gui)

--- Called once, after the entry file has run.
function _init() end

--- Called once per input event or finished HTTP request, before `_loop`.
---@param e kel.Event
function _event(e) end

--- Called once per frame.
---@param dt number seconds since the previous frame, 0 to 1
function _loop(dt) end

--- Called once per frame after `_loop`, never headless: record the drawing here.
function _paint() end

--- Runs NAME.lua (beside the entry script, else in the data area) once per game start.
---@param name string
function require(name) end

--- Stores a parameter shared with the engine.
---@param key string
---@param value nil|number|boolean|string
function kel_params_set(key, value) end

--- Reads a parameter; `nil` for a key never set.
---@param key string
---@return nil|number|boolean|string
function kel_params_get(key) end

--- A file's bytes from the user area, else the data area; "" when missing.
---@param name string
---@param second_area? boolean
---@return string
function kel_file_load(name, second_area) end

--- Writes DATA to the user area, replacing the file.
---@param name string
---@param data string
---@param second_area? boolean
function kel_file_save(name, data, second_area) end

--- The part of the world the window shows; call first in every `_paint`.
---@param x number
---@param y number
---@param w number
---@param h number
function kel_view_set(x, y, w, h) end

--- Draws an image (name with or without suffix) into the rectangle.
---@param name string
---@param x number
---@param y number
---@param w number
---@param h number
---@param rotation? number degrees, default 0
---@param colour? integer 0xRRGGBB tint, default 0xFFFFFF
---@param alpha? integer 0 to 255, default 255
function kel_image_draw(name, x, y, w, h, rotation, colour, alpha) end

--- Fills an opaque rectangle.
---@param colour integer 0xRRGGBB
---@param x number
---@param y number
---@param w number
---@param h number
function kel_rect_draw(colour, x, y, w, h) end

--- Draws text in a bitmap font such as "fonts/dejavu".
---@param font string
---@param size integer
---@param text string
---@param x number
---@param y number
---@param colour? integer 0xRRGGBB, default 0xFFFFFF
---@param alpha? integer 0 to 255, default 255
function kel_font_draw(font, size, text, x, y, colour, alpha) end

--- Width of the widest line and height of the text.
---@param font string
---@param size integer
---@param text string
---@return number width
---@return number height
function kel_font_size(font, size, text) end

--- Plays a sound once.
---@param name string
---@param volume? number default 1.0
---@param extra? number default 0.0
function kel_sample_play(name, volume, extra) end

--- Starts music looping until stopped.
---@param name string
---@param volume? number default 1.0
function kel_stream_play(name, volume) end

--- Stops music started by `kel_stream_play`.
---@param name string
function kel_stream_stop(name) end

--- Calls an extension such as "exit", "screenshot", "gui:focus" or "http:get".
---@param name string
---@param argument? string usually JSON text, default ""
---@return string
function kel_ext_call(name, argument) end

--- JSON text of a Lua value (lua-cjson).
---@param value any
---@return string
function json_encode(value) end

--- The Lua value of JSON text; raises on invalid text.
---@param text string
---@return any
function json_decode(text) end
