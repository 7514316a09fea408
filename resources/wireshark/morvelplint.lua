-- Wireshark dissector for Morvelplint bus captures (pcapng, link type USER0 = 147).
--
-- Each packet is one event on the bus of a ZELM rack: a bus word, a reply, a raw port access,
-- a step of the serial card's handshake or a note. Install: copy this file into
-- ~/.local/lib/wireshark/plugins/ (or start Wireshark with -X lua_script:morvelplint.lua).
-- Filter for instance with  morvelplint.address == 9  or  morvelplint.status != 0.
--
-- The packet: 14 bytes, multi-byte fields big-endian.
--   0 version (1)        1 event kind          2 transport (bit 7: simulated rack)
--   3 status             4 direction           5 flags (bit 0: answers a word, bit 1: place)
--   6 word answered      7 place (0-63)        8-11 latency from the word, microseconds
--  12-13 value: the byte (a word, a reply, a port); for a speed change the baud rate / 100

local proto = Proto("morvelplint", "Morvelplint ZELM rack bus")
-- Wireshark's Lua (5.2) has no bit operators of its own.
local band, bor, bxor, rshift = bit.band, bit.bor, bit.bxor, bit.rshift

local kinds = {
    [0] = "word", [1] = "reply", [2] = "data port write", [3] = "status port read",
    [4] = "option byte", [5] = "option echo", [6] = "speed change", [7] = "note"
}
local transports = { [0] = "serial", [1] = "parallel", [2] = "debug" }
local statuses = {
    [0] = "ok", [1] = "no reply", [2] = "not connected", [3] = "send failed", [4] = "line lost"
}
local directions = { [0] = "to the rack", [1] = "from the rack", [2] = "none" }
local strobes = {
    [0] = "none", [1] = "latch data", [2] = "data", [3] = "address", [4] = "latch address"
}

local f = {
    version = ProtoField.uint8("morvelplint.version", "Version"),
    kind = ProtoField.uint8("morvelplint.kind", "Event", base.DEC, kinds),
    transport = ProtoField.uint8("morvelplint.transport", "Transport", base.DEC, transports, 0x7F),
    simulated = ProtoField.bool("morvelplint.simulated", "Simulated rack", 8, nil, 0x80),
    status = ProtoField.uint8("morvelplint.status", "Status", base.DEC, statuses),
    direction = ProtoField.uint8("morvelplint.direction", "Direction", base.DEC, directions),
    paired = ProtoField.bool("morvelplint.paired", "Answers a word", 8, nil, 0x01),
    paired_word = ProtoField.uint8("morvelplint.paired_word", "Word answered", base.HEX),
    place = ProtoField.uint8("morvelplint.place", "Place selected"),
    latency = ProtoField.uint32("morvelplint.latency", "Latency (microseconds)"),
    value = ProtoField.uint16("morvelplint.value", "Value"),
    word = ProtoField.uint8("morvelplint.word", "Word", base.HEX),
    select_code = ProtoField.uint8("morvelplint.select_code", "Select code"),
    strobe = ProtoField.uint8("morvelplint.strobe", "Strobe", base.DEC, strobes),
    address = ProtoField.uint8("morvelplint.address", "Address"),
    data = ProtoField.uint8("morvelplint.data", "Data"),
    reply = ProtoField.uint8("morvelplint.reply", "Reply", base.HEX),
    lines = ProtoField.uint8("morvelplint.lines", "Feedback lines", base.DEC),
    short = ProtoField.bool("morvelplint.short", "Short circuit"),
    baud = ProtoField.uint32("morvelplint.baud", "Baud rate"),
}
proto.fields = f

local function strobe_of(word)
    local code = band(rshift(word, 5), 7)
    if code == 1 then return 1
    elseif code == 2 or code == 3 then return 2
    elseif code == 4 or code == 5 then return 3
    elseif code == 6 then return 4
    end
    return 0
end

local function data_lines(word, strobe)
    if strobe == 1 or strobe == 4 then return band(word, 0x1F) end
    return band(word, 0x3F)
end

local function lines_text(lines)
    local text = ""
    for k = 3, 0, -1 do
        text = text .. ((band(rshift(lines, k), 1) == 1) and "1" or "0")
    end
    return text
end

-- The feedback lines and the short circuit of a feedback value.
local function add_feedback(tree, range, value)
    local lines = band(value, 0x0F)
    local short = band(value, 0x10) ~= 0
    tree:add(f.lines, range, lines):append_text(" (" .. lines_text(lines) .. ")")
    tree:add(f.short, range, short)
    return "lines " .. lines_text(lines) .. (short and ", short circuit" or "")
end

function proto.dissector(tvb, pinfo, root)
    if tvb:len() < 14 then return 0 end
    pinfo.cols.protocol = "Morvelplint"
    local tree = root:add(proto, tvb(0, 14))
    local kind = tvb(1, 1):uint()
    local status = tvb(3, 1):uint()
    local flags = tvb(5, 1):uint()
    local value = tvb(12, 2):uint()
    local byte = band(value, 0xFF)
    local vrange = tvb(12, 2)

    tree:add(f.version, tvb(0, 1))
    tree:add(f.kind, tvb(1, 1))
    tree:add(f.transport, tvb(2, 1))
    tree:add(f.simulated, tvb(2, 1))
    tree:add(f.status, tvb(3, 1))
    tree:add(f.direction, tvb(4, 1))
    tree:add(f.paired, tvb(5, 1))
    if band(flags, 1) ~= 0 then
        tree:add(f.paired_word, tvb(6, 1))
        tree:add(f.latency, tvb(8, 4))
    end
    if band(flags, 2) ~= 0 then tree:add(f.place, tvb(7, 1)) end
    tree:add(f.value, vrange)

    local info = kinds[kind] or "event"
    if kind == 0 then
        local strobe = strobe_of(byte)
        local data = data_lines(byte, strobe)
        tree:add(f.word, vrange, byte)
        tree:add(f.select_code, vrange, band(rshift(byte, 5), 7))
        tree:add(f.strobe, vrange, strobe)
        if strobe == 3 then
            tree:add(f.address, vrange, data)
            info = string.format("word 0x%02X: address %d", byte, data)
        else
            tree:add(f.data, vrange, data)
            info = string.format("word 0x%02X: %s %d", byte, strobes[strobe], data)
        end
    elseif kind == 1 then
        if status == 0 then
            tree:add(f.reply, vrange, byte)
            info = string.format("reply 0x%02X", byte)
            if band(flags, 1) ~= 0 and strobe_of(tvb(6, 1):uint()) == 2 then
                info = info .. ": " .. add_feedback(tree, vrange, byte)
            end
            if band(flags, 1) ~= 0 then
                info = info .. string.format(" after %.3f ms", tvb(8, 4):uint() / 1000)
            end
        end
    elseif kind == 3 then
        -- The status port as read: the short-circuit line is active low.
        info = string.format("status port 0x%02X: ", byte) ..
                   add_feedback(tree, vrange, bor(band(byte, 0x0F), bxor(band(byte, 0x10), 0x10)))
    elseif kind == 6 then
        tree:add(f.baud, vrange, value * 100)
        info = string.format("line at %d baud", value * 100)
    elseif kind ~= 7 then
        info = string.format("%s 0x%02X", info, byte)
    end
    if status ~= 0 then info = info .. " [" .. statuses[status] .. "]" end
    pinfo.cols.info = info
    return 14
end

DissectorTable.get("wtap_encap"):add(wtap_encaps.USER0, proto)
