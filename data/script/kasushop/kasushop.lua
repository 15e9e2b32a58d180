-- KasuShop: a small shop scene.
-- The main menu's "KasuShop" row runs this script over a short scene. A
-- panel shows the player's name and the body colour on offer; the arrow
-- keys Left and Right (or [ and ]) walk through the colour palette and
-- Space puts the colour on the fighter's body (the shop takes Space for
-- itself: no turn is played here). Esc returns to the menu and closes the
-- shop: its keys and panel go, and the next game plays as usual (so does
-- any game started without Esc, which the game announces as leave_game).
-- Colours bought here dress the fighter for this session only: the player's
-- fighter wears the colour last bought in every new game until the program
-- ends (the choice lives in the script state, never in a file).

local KEY_ESCAPE = 27
local KEY_SPACE = 32
local KEY_LEFT, KEY_RIGHT = 276, 275
local KEY_OPEN_BRACKET, KEY_CLOSE_BRACKET = 91, 93
local FIRST_COLOUR, LAST_COLOUR = 1, 67
local BODY_PARTS = 21

-- What was bought this session. The script state outlives the shop (and a
-- later visit runs this file again), so it is kept in one global.
kasushop_session = kasushop_session or { worn = nil }
local session = kasushop_session

local shop = {
  colour = session.worn or 2,
  worn = session.worn,
}

local function colour_info(colour)
  local info = get_color_info(colour)
  if info.name == nil or info.name == "" then
    info.name = "colour " .. colour
  end
  return info
end

local function greet()
if session.worn then
  -- Back in the shop: the fighter of the scene wears what was bought.
  dress(session.worn)
  keep_worn()
end
  local name = get_player_info(0).name
  if name == nil or name == "" then
    name = "fighter"
  end
  echo("KasuShop: welcome, " .. name .. "! Left/Right to browse colours, Space to wear one.")
end

local function step_colour(by)
  local span = LAST_COLOUR - FIRST_COLOUR + 1
  shop.colour = FIRST_COLOUR + (shop.colour - FIRST_COLOUR + by) % span
end

-- The player's fighter (fighter 0 of a game alone) in the colour.
local function dress(colour)
  for body = 0, BODY_PARTS - 1 do
    set_body_color(0, body, colour)
  end
end

-- A new game loads the fighters' own looks; the colour bought goes back on.
-- This hook set stays when the shop closes.
local function keep_worn()
  add_hook("new_game", "kasushop_worn", function()
    if session.worn then
      dress(session.worn)
    end
  end)
end

local function wear(colour)
  dress(colour)
  shop.worn = colour
  session.worn = colour
  keep_worn()
  echo("KasuShop: you now wear " .. colour_info(colour).name)
end

-- The hook sets this script adds are the ones remove_hooks knows now: a
-- later script's start-up gives the global a table of its own.
local remove_own_hooks = remove_hooks

local open = true

local function close_shop()
  if not open then
    return
  end
  open = false
  remove_own_hooks("kasushop")
  echo("KasuShop: closed.")
end

greet()
if session.worn then
  -- Back in the shop: the fighter of the scene wears what was bought.
  dress(session.worn)
  keep_worn()
end

-- Keys the shop uses are marked handled, so the game does not act on
-- them too: the arrows would turn the camera, Space would end the turn.
add_hook("key_down", "kasushop", function(key)
  if key == KEY_ESCAPE then
    -- The game goes on to open the menu.
    close_shop()
    return 0
  elseif key == KEY_LEFT or key == KEY_OPEN_BRACKET then
    step_colour(-1)
    return 1
  elseif key == KEY_RIGHT or key == KEY_CLOSE_BRACKET then
    step_colour(1)
    return 1
  elseif key == KEY_SPACE then
    return 1
  end
  return 0
end)

add_hook("key_up", "kasushop", function(key)
  if key == KEY_SPACE then
    wear(shop.colour)
    return 1
  end
  return 0
end)

add_hook("draw2d", "kasushop", function()
  local width = get_window_size()
  local panel_w, panel_h = 300, 200
  local x, y = width - panel_w - 20, 100
  set_color(0, 0, 0, 0.6)
  draw_quad(x, y, panel_w, panel_h)

  set_color(1, 0.85, 0.3, 1)
  draw_text("KasuShop", x + 16, y + 8, 2)
  set_color(1, 1, 1, 1)
  local player = get_player_info(0)
  draw_text("Fighter: " .. (player.name or ""), x + 16, y + 44, 1)

  local offer = colour_info(shop.colour)
  draw_text("Body colour:", x + 16, y + 72, 1)
  set_color(offer.r, offer.g, offer.b, 1)
  draw_quad(x + 16, y + 94, 60, 40)
  set_color(1, 1, 1, 1)
  draw_text(offer.name, x + 90, y + 104, 1)

  local worn = "your own"
  if shop.worn then
    worn = colour_info(shop.worn).name
  end
  draw_text("Wearing: " .. worn, x + 16, y + 144, 1)
  set_color(0.8, 0.8, 0.8, 1)
  draw_text("Left/Right: browse  Space: wear", x + 16, y + 170, 1)
end)

add_hook("leave_game", "kasushop", close_shop)
