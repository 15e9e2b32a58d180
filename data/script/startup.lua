-- Runs once when the program starts and again before every other script.
-- It defines two helpers for scripts and installs no hook of its own.

-- The engine keeps one hook per event. add_hook lets several named sets
-- share an event: add_hook("key_down", "myset", function(key) ... end).
-- A set's callback that returns a non-zero number marks the event handled.
local hook_sets = {}   -- event name -> { set name -> callback }

function add_hook(event, set_name, callback)
  local sets = hook_sets[event]
  if sets == nil then
    sets = {}
    hook_sets[event] = sets
    set_event_hook(event, function(...)
      local handled = 0
      for _, fn in pairs(sets) do
        local result = fn(...)
        if type(result) == "number" and result ~= 0 then
          handled = result
        end
      end
      return handled
    end)
  end
  sets[set_name] = callback
end

-- Called by the console command "removehooks <set>".
function remove_hooks(set_name)
  for _, sets in pairs(hook_sets) do
    sets[set_name] = nil
  end
end
