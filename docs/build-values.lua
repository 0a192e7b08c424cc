-- Fills values of the build into the guides: a token {{NAME}} in the text
-- becomes the metadata value NAME (the build passes the help desk's contact
-- as KEVO_HELPDESK_NAME, _PHONE, _HOURS and _URL), a web address as a link.
-- A token without a value stops the build: no page goes out with one left.
local values = {}

local function read_values(meta)
  for name, value in pairs(meta) do
    values[name] = pandoc.utils.stringify(value)
  end
end

local function filled(name)
  local value = values[name]
  if value == nil or value == "" then
    error("build-values.lua: no value for {{" .. name .. "}}")
  end
  if value:match("^https?://") then
    return pandoc.Link(value, value)
  end
  return pandoc.Str(value)
end

local function fill(str)
  local text = str.text
  if not text:find("{{", 1, true) then
    return nil
  end
  local inlines = pandoc.List()
  local from = 1
  while true do
    local first, last, name = text:find("{{([%w_]+)}}", from)
    if not first then
      break
    end
    if first > from then
      inlines:insert(pandoc.Str(text:sub(from, first - 1)))
    end
    inlines:insert(filled(name))
    from = last + 1
  end
  if from <= #text then
    inlines:insert(pandoc.Str(text:sub(from)))
  end
  return inlines
end

return { { Meta = read_values }, { Str = fill } }
