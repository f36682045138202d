-- wrk script: every request uploads a 20-level leaderboard (10 players a level)
-- whose scores are higher than the ones before, so each one really writes. The
-- script's argument (0 when none) keeps the scores of wrk runs side by side apart.
local threads = 0
local run = 0

function init(args)
  run = tonumber(args[1]) or 0
end

function setup(thread)
  thread:set("id", threads)
  threads = threads + 1
  thread:set("stride", 64)
end

local counter = 0

function request()
  counter = counter + 1
  local base = (counter * stride + run * 8 + id) * 10
  local levels = {}
  for l = 1, 20 do
    local scores = {}
    for p = 1, 10 do
      scores[p] = string.format(
        '{"player":"Player %02d","score":%d,"time":%d,"highestLayer":"3/8","highestCombo":%d}',
        p, base + p, 60 + p, p)
    end
    levels[l] = string.format('{"name":"Level %02d","scores":[%s]}', l, table.concat(scores, ","))
  end
  return wrk.format("POST", "/api/leaderboard", {["Content-Type"] = "application/json"},
                    '{"levels":[' .. table.concat(levels, ",") .. ']}')
end
