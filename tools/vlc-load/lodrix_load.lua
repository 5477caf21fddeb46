-- A VLC interface that waits until the playlist file given on the command line has been
-- replaced by its tracks, writes one line per track to the file named by LODRIX_LOAD_OUT:
-- the location, percent-decoded, a tab, and the duration in milliseconds (with
-- LODRIX_LOAD_METAS set, then the title, artist, album and artwork URL VLC took from the
-- playlist, tab-separated), then quits.
-- A playlist VLC cannot read stays unexpanded: then it writes nothing.
local out_path = os.getenv("LODRIX_LOAD_OUT")
local patience_us = 3000000  -- a good playlist expands in about 30 ms; a slow machine gets room

local function tracks()
  local root = vlc.playlist.get("playlist", false)
  local children = root and root.children or {}
  if #children == 0 then return nil end
  for _, item in ipairs(children) do
    if item.path == nil or string.match(item.path, "%.xspf$") or string.match(item.path, "%.m3u8?$") then return nil end
  end
  return children
end

local deadline = vlc.misc.mdate() + patience_us
local found = tracks()
while not found and vlc.misc.mdate() < deadline do
  vlc.misc.mwait(vlc.misc.mdate() + 10000)
  found = tracks()
end

local out = io.open(out_path, "w")
for _, item in ipairs(found or {}) do
  local duration = item.duration or -1
  out:write(vlc.strings.decode_uri(item.path), "\t", tostring(math.floor(duration * 1000 + 0.5)))
  if os.getenv("LODRIX_LOAD_METAS") then
    local metas = item.item:metas()
    for _, name in ipairs({"title", "artist", "album", "artwork_url"}) do out:write("\t", metas[name] or "") end
  end
  out:write("\n")
end
out:close()
vlc.misc.quit()
