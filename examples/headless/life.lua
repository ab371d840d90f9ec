-- life.lua: Conway's Game of Life on a board whose edges wrap around.
-- Pure logic, no engine calls: this is the part worth testing without a window.
-- require() runs a module once and returns nothing, so it publishes a global table.

life = {}

function life.new(w, h)
  local b = { w = w, h = h, cells = {} }
  for i = 1, w * h do b.cells[i] = false end
  return b
end

local function index(b, x, y)
  return ((y - 1) % b.h) * b.w + ((x - 1) % b.w) + 1
end

function life.get(b, x, y) return b.cells[index(b, x, y)] end
function life.set(b, x, y, alive) b.cells[index(b, x, y)] = alive end

-- Places a pattern given as rows of "#" (alive) and "." (dead) with its top-left at x, y.
function life.place(b, x, y, rows)
  for dy, row in ipairs(rows) do
    for dx = 1, #row do
      life.set(b, x + dx - 1, y + dy - 1, row:sub(dx, dx) == "#")
    end
  end
end

function life.step(b)
  local n = life.new(b.w, b.h)
  for y = 1, b.h do
    for x = 1, b.w do
      local count = 0
      for dy = -1, 1 do
        for dx = -1, 1 do
          if (dx ~= 0 or dy ~= 0) and life.get(b, x + dx, y + dy) then count = count + 1 end
        end
      end
      local alive = life.get(b, x, y)
      life.set(n, x, y, count == 3 or (alive and count == 2))
    end
  end
  return n
end

function life.population(b)
  local count = 0
  for _, alive in ipairs(b.cells) do if alive then count = count + 1 end end
  return count
end
