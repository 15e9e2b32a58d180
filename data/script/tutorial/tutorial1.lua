-- Tutorial 1: a short guided first match.
-- The main menu's "Tutorial" row runs this script and starts a game. A box
-- at the top of the window says what to do next; each step ends when the
-- player has done it:
--   1. point at one of your joints (it is selected),
--   2. change the state of a joint (click it, Shift+click, or Z / X),
--   3. press Space to end the turn and watch it play,
--   4. done: play on, or Esc for the menu (the box goes after a while).
-- The tutorial ends with its closing box, with Esc, or when another game
-- starts (leave_game): its hooks go, and later games and menus are plain.

-- Drawn frames the closing box stays up.
local CLOSING_FRAMES = 600

local tutorial = {
  step = 0,
  closing = 0,
  start_frame = 0,
  start_states = {},
}

local STEPS = {
  {
    title = "Step 1 of 3: pick a joint",
    lines = {
      "You play %s.",
      "Point the mouse at one of the balls between your body parts:",
      "that joint is now selected and its name shows up.",
    },
  },
  {
    title = "Step 2 of 3: change its state",
    lines = {
      "Click the joint to make it contract or extend.",
      "Shift+click or X: hold or relax it. Z: extend or contract it.",
      "Every joint keeps its state until you change it.",
    },
  },
  {
    title = "Step 3 of 3: end the turn",
    lines = {
      "When the joints are set, press Space.",
      "The fighters move for one turn, then the game waits again.",
    },
  },
  {
    title = "Well done",
    lines = {
      "That is the whole game: set joints, press Space, repeat.",
      "Hurting your opponent scores points: the most points win.",
      "Press Esc for the menu when you are finished.",
    },
  },
}

local KEY_ESCAPE = 27

-- The hook sets this script adds are the ones remove_hooks knows now: a
-- later script's start-up gives the global a table of its own.
local remove_own_hooks = remove_hooks

local function end_tutorial()
  if tutorial.step < 0 then
    return
  end
  tutorial.step = -1
  remove_own_hooks("tutorial")
  echo("Tutorial: ended.")
end

local function player_joint_states()
  local states = {}
  for joint = 0, 19 do
    local info = get_joint_info(0, joint)
    states[joint] = info.state
  end
  return states
end

local function go_to(step)
  tutorial.step = step
  local s = STEPS[step]
  if s then
    echo("Tutorial: " .. s.title)
  end
  if step == 2 then
    tutorial.start_states = player_joint_states()
  elseif step == 3 then
    tutorial.start_frame = get_world_state().match_frame
  elseif step == 4 then
    tutorial.closing = CLOSING_FRAMES
  end
end

-- The game the menu starts begins at the first step.
add_hook("new_game", "tutorial", function()
  echo("Tutorial: welcome! Follow the box at the top of the window.")
  -- Joints light up under the mouse once a fighter is selected.
  select_player(0)
  go_to(1)
end)

add_hook("joint_select", "tutorial", function(player, joint)
  if tutorial.step == 1 and player == 0 and joint >= 0 then
    local info = get_joint_info(0, joint)
    echo("Tutorial: you picked the " .. info.name .. " (" .. info.screen_state .. ")")
    go_to(2)
  end
end)

local function check_progress()
  if tutorial.step == 2 then
    local now = player_joint_states()
    for joint = 0, 19 do
      if now[joint] ~= tutorial.start_states[joint] then
        local info = get_joint_info(0, joint)
        echo("Tutorial: the " .. info.name .. " is now " .. info.screen_state)
        go_to(3)
        return
      end
    end
  elseif tutorial.step == 3 then
    if get_world_state().match_frame > tutorial.start_frame then
      go_to(4)
    end
  elseif tutorial.step == 4 then
    tutorial.closing = tutorial.closing - 1
    if tutorial.closing <= 0 then
      end_tutorial()
    end
  end
end

-- Esc goes to the menu (the game opens it) and ends the tutorial.
add_hook("key_down", "tutorial", function(key)
  if key == KEY_ESCAPE then
    end_tutorial()
  end
  return 0
end)

add_hook("leave_game", "tutorial", end_tutorial)

add_hook("draw2d", "tutorial", function()
  if tutorial.step < 1 then
    return
  end
  check_progress()
  local s = STEPS[tutorial.step]
  if not s then
    return
  end
  local width = get_window_size()
  local box_w = 560
  local box_x = (width - box_w) / 2
  local box_h = 52 + #s.lines * 20
  set_color(0, 0, 0, 0.55)
  draw_quad(box_x, 90, box_w, box_h)
  set_color(1, 0.85, 0.3, 1)
  draw_centered_text(s.title, 96, 2)
  set_color(1, 1, 1, 1)
  local you = get_player_info(0).name or "the first fighter"
  for i, line in ipairs(s.lines) do
    draw_centered_text(string.format(line, you), 112 + i * 20, 1)
  end
end)
