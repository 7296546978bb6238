-- Wireshark dissector for the VR Stepdeck Hub's UDP datagrams.
--
--   udp 45040  stick datagram 2A X 2B Y 00, and the start-up greeting
--   udp 45045  XDRV datagram (28 bytes, little-endian)
--   udp 45042  feeder: greeting, acknowledgement, 4-way, joystick state, stop;
--              also the connection reply and status until a remote app says hello
--   udp 45041  messages to the hub: feeder enable, hellos, keep-alive, inputs,
--              port registration and port query
--   elsewhere  the hub's replies (connection reply, status, registration
--              keep-alive, query reply), found by their ports: the hub sends
--              everything from one socket, so a source port seen sending to
--              45040/45045/45042 is the hub's; and a port that a hello, a
--              registration or a query named is where the hub answers.
--
-- Use: tshark -X lua_script:stepdeck_hub.lua -r capture.pcap
-- or copy it into Wireshark's personal Lua plugins folder.
-- The joystick state datagram's meaning depends on the hub's vJoy mode, which
-- the bytes do not carry: by default every mode's reading is shown as a
-- subtree; the preference "vJoy mode" shows only one.

local hub = Proto("stepdeck", "VR Stepdeck Hub")

local STICK_PORT, LISTEN_PORT, FEEDER_PORT, XDRV_PORT = 45040, 45041, 45042, 45045

-- Every field goes through `field`, which also registers it with the protocol.
local all_fields = {}
local function field(protofield)
  all_fields[#all_fields + 1] = protofield
  return protofield
end
local f = {}
f.kind = field(ProtoField.string("stepdeck.kind", "Datagram"))
f.direction = field(ProtoField.string("stepdeck.direction", "Direction"))

f.stick_x = field(ProtoField.uint8("stepdeck.stick.x", "X byte"))
f.stick_y = field(ProtoField.uint8("stepdeck.stick.y", "Y byte"))

f.xdrv_magic = field(ProtoField.string("stepdeck.xdrv.magic", "Magic"))
f.xdrv_version = field(ProtoField.uint32("stepdeck.xdrv.version", "Version"))
f.xdrv_x = field(ProtoField.float("stepdeck.xdrv.x", "X"))
f.xdrv_y = field(ProtoField.float("stepdeck.xdrv.y", "Y"))
f.xdrv_reserved = field(ProtoField.bytes("stepdeck.xdrv.reserved", "Reserved"))
f.xdrv_trailer = field(ProtoField.uint32("stepdeck.xdrv.trailer", "Trailer"))

f.fourway_x = field(ProtoField.uint8("stepdeck.fourway.x", "Stick X byte"))
f.fourway_y = field(ProtoField.uint8("stepdeck.fourway.y", "Stick Y byte"))
f.fourway_axis3 = field(ProtoField.uint8("stepdeck.fourway.axis3", "Remote axis 3"))
f.fourway_axis4 = field(ProtoField.uint8("stepdeck.fourway.axis4", "Remote axis 4"))
f.fourway_buttons = field(ProtoField.uint8("stepdeck.fourway.buttons", "Remote buttons", base.HEX))

f.js_bytes = {}
for i = 1, 7 do
  f.js_bytes[i] = field(ProtoField.uint8("stepdeck.js.byte" .. i, "Byte " .. i))
end

-- Each mode's reading of joystick state bytes 1 ... 7: name, encoding.
-- centred: floor(v*127+128); unit: floor(v*255); offset: floor((v+1)*128);
-- raw: a byte passed on; fixed: always the same byte in that mode.
local MODES = {
  {mode = 5, label = "Skate", fields = {
    {"turn", "offset"}, {"speed", "offset"}, {"pulse3", "offset"}, {"pulse4", "offset"},
    {"zero", "fixed"}, {"centre6", "fixed"}, {"centre7", "fixed"}}},
  {mode = 6, label = "Diff. Pedal n Brake", fields = {
    {"steering", "centred"}, {"centre2", "fixed"}, {"centre3", "fixed"}, {"centre4", "fixed"},
    {"buttons", "raw"}, {"brake", "unit"}, {"throttle", "unit"}}},
  {mode = 7, label = "Flight Sim", fields = {
    {"spring_dial", "centred"}, {"hold_dial", "centred"}, {"steering", "centred"},
    {"throttle_dial", "unit"}, {"zero", "fixed"}, {"left_toe_pedal", "unit"}, {"right_toe_pedal", "unit"}}},
  {mode = 9, label = "Biking", fields = {
    {"steering", "centred"}, {"centre2", "fixed"}, {"axis3", "raw"}, {"axis4", "raw"},
    {"zero", "fixed"}, {"brake", "unit"}, {"throttle", "unit"}}},
}
for _, m in ipairs(MODES) do
  m.protofields = {}
  for i, entry in ipairs(m.fields) do
    local name, encoding = entry[1], entry[2]
    if encoding ~= "fixed" then
      local abbrev = "stepdeck.js" .. m.mode .. "." .. name
      if encoding == "raw" then
        m.protofields[i] = field(ProtoField.uint8(abbrev, name))
      else
        m.protofields[i] = field(ProtoField.float(abbrev, name .. " (" .. encoding .. " byte)"))
      end
    end
  end
end

f.status_stick_x = field(ProtoField.uint8("stepdeck.status.stick_x", "Stick X byte"))
f.status_stick_y = field(ProtoField.uint8("stepdeck.status.stick_y", "Stick Y byte"))
f.status_heading_rf = field(ProtoField.uint8("stepdeck.status.heading_rf", "Right foot heading byte"))
f.status_tilt_rf = field(ProtoField.uint8("stepdeck.status.tilt_rf", "Right foot tilt byte"))
f.status_heading_lf = field(ProtoField.uint8("stepdeck.status.heading_lf", "Left foot heading byte"))
f.status_tilt_lf = field(ProtoField.uint8("stepdeck.status.tilt_lf", "Left foot tilt byte"))
f.status_touch = field(ProtoField.uint8("stepdeck.status.touch", "Touch buttons", base.HEX))
f.status_touch_bits = {}
for i = 0, 3 do
  f.status_touch_bits[i] = field(ProtoField.bool("stepdeck.status.touch.b" .. i, "Button " .. i, 8, nil, 2 ^ i))
end

f.digit = {}
for i = 1, 3 do
  f.digit[i] = field(ProtoField.int8("stepdeck.port.digit" .. i, "Port digit " .. i))
end
f.port = field(ProtoField.uint16("stepdeck.port", "Port"))

f.inputs_steering_byte = field(ProtoField.uint8("stepdeck.inputs.steering_byte", "Steering byte"))
f.inputs_steering = field(ProtoField.float("stepdeck.inputs.steering", "Steering"))
f.inputs_buttons = field(ProtoField.uint8("stepdeck.inputs.buttons", "Buttons", base.HEX))
f.inputs_button_bits = {}
for i, name in ipairs({"A", "B", "X", "Y", "T1", "T2"}) do
  f.inputs_button_bits[i] = field(ProtoField.bool("stepdeck.inputs.buttons." .. name:lower(), name, 8, nil, 2 ^ (i - 1)))
end
f.inputs_axis3 = field(ProtoField.uint8("stepdeck.inputs.axis3", "Axis 3"))
f.inputs_axis4 = field(ProtoField.uint8("stepdeck.inputs.axis4", "Axis 4"))
f.unused = field(ProtoField.bytes("stepdeck.unused", "Not used by the hub"))

local e_unknown = ProtoExpert.new("stepdeck.unknown", "Not a datagram of the hub", expert.group.MALFORMED,
                                  expert.severity.WARN)
local e_ignored = ProtoExpert.new("stepdeck.ignored", "The hub ignores this message", expert.group.PROTOCOL,
                                  expert.severity.NOTE)
hub.experts = {e_unknown, e_ignored}
hub.fields = all_fields

local mode_choices = {{1, "every mode", 0}, {2, "5 Skate", 5}, {3, "6 Diff. Pedal n Brake", 6},
                      {4, "7 Flight Sim", 7}, {5, "9 Biking", 9}}
hub.prefs.vjoy_mode = Pref.enum("vJoy mode", 0, "How to read joystick state datagrams", mode_choices, false)

-- Ports learned from the traffic (see the top of the file).
local hub_source_ports = {}
local reply_ports = {}

local function signed8(value)
  if value >= 128 then return value - 256 end
  return value
end

-- A byte as the hub's listener reads it: beyond the datagram, 0.
local function byte_at(buf, at)
  if at < buf:len() then return buf(at, 1):uint() end
  return 0
end

local function decoded(encoding, b)
  if encoding == "centred" then return (b - 128) / 127 end
  if encoding == "unit" then return b / 255 end
  return b / 128 - 1
end

-- Three base-100 digits, each a signed byte; digits beyond the datagram are
-- 0 (shown as generated). The port is the low 16 bits of the number.
local function add_port_digits(tree, buf, at)
  local value = 0
  for i = 1, 3 do
    local offset = at + i - 1
    local digit = signed8(byte_at(buf, offset))
    if offset < buf:len() then
      tree:add(f.digit[i], buf(offset, 1))
    else
      tree:add(f.digit[i], digit):set_generated()
    end
    value = value * 100 + digit
  end
  local port = value % 65536
  if at < buf:len() then
    tree:add(f.port, buf(at, math.min(3, buf:len() - at)), port)
  else
    tree:add(f.port, port):set_generated()
  end
  return port
end

local function add_joystick_state(tree, buf)
  for i = 1, 7 do tree:add(f.js_bytes[i], buf(i, 1)) end
  local chosen = hub.prefs.vjoy_mode
  for _, m in ipairs(MODES) do
    if chosen == 0 or chosen == m.mode then
      local sub = tree:add(buf(1, 7), "As mode " .. m.mode .. " \"" .. m.label .. "\"")
      for i, entry in ipairs(m.fields) do
        local pf = m.protofields[i]
        if pf then
          if entry[2] == "raw" then
            sub:add(pf, buf(i, 1))
          else
            sub:add(pf, buf(i, 1), decoded(entry[2], buf(i, 1):uint()))
          end
        end
      end
    end
  end
end

-- A datagram the hub sent; returns its name, or nil when it is none.
local function dissect_from_hub(buf, tree)
  local len = buf:len()
  local b0 = len > 0 and buf(0, 1):uint() or -1
  local b1 = len > 1 and buf(1, 1):uint() or -1
  if len == 5 and buf:bytes():tohex() == "0103026F00" then
    return "greeting"
  end
  if len == 28 and buf(0, 4):string() == "XDRV" then
    tree:add(f.xdrv_magic, buf(0, 4))
    tree:add_le(f.xdrv_version, buf(4, 4))
    tree:add_le(f.xdrv_x, buf(8, 4))
    tree:add_le(f.xdrv_y, buf(12, 4))
    tree:add(f.xdrv_reserved, buf(16, 8))
    tree:add_le(f.xdrv_trailer, buf(24, 4))
    return "xdrv"
  end
  if len == 5 and b0 == 0x2A and b1 >= 0 and buf(2, 1):uint() == 0x2B and buf(4, 1):uint() == 0 then
    tree:add(f.stick_x, buf(1, 1))
    tree:add(f.stick_y, buf(3, 1))
    return "stick"
  end
  if len == 2 and b0 == 1 and b1 == 0 then return "feeder-ack" end
  if len == 2 and b0 == 1 and b1 == 2 then return "connection-reply" end
  if len == 2 and b0 == 100 and b1 == 0 then return "feeder-stop" end
  if len == 2 and b0 == 21 and b1 == 1 then return "registration-keep-alive" end
  if len == 5 and b0 == 21 and b1 == 2 then
    add_port_digits(tree, buf, 2)
    return "query-reply"
  end
  if len == 7 and b0 == 2 and b1 == 1 then
    tree:add(f.fourway_x, buf(2, 1))
    tree:add(f.fourway_y, buf(3, 1))
    tree:add(f.fourway_axis3, buf(4, 1))
    tree:add(f.fourway_axis4, buf(5, 1))
    tree:add(f.fourway_buttons, buf(6, 1))
    return "4-way"
  end
  if len == 8 and b0 == 0x16 then
    add_joystick_state(tree, buf)
    return "joystick-state"
  end
  if len == 8 and b0 == 0x1F then
    tree:add(f.status_stick_x, buf(1, 1))
    tree:add(f.status_stick_y, buf(2, 1))
    tree:add(f.status_heading_rf, buf(3, 1))
    tree:add(f.status_tilt_rf, buf(4, 1))
    tree:add(f.status_heading_lf, buf(5, 1))
    tree:add(f.status_tilt_lf, buf(6, 1))
    local touch = tree:add(f.status_touch, buf(7, 1))
    for i = 0, 3 do touch:add(f.status_touch_bits[i], buf(7, 1)) end
    return "status"
  end
  return nil
end

-- A message to port 45041, read as the hub's listener reads it: bytes
-- beyond the datagram read as 0. Returns its name, or nil when ignored.
local function dissect_to_hub(buf, tree, pinfo)
  local len = buf:len()
  if len < 1 or len > 512 then return nil end
  local b0 = buf(0, 1):uint()
  local b1 = len > 1 and buf(1, 1):uint() or 0
  if b0 == 1 then
    if b1 == 1 then return "feeder-enable" end
    if b1 == 2 then
      local reply = (pinfo.src_port + 1) % 65536
      tree:add(f.port, buf(0, 2), reply):set_generated()
      reply_ports[reply] = true
      return "hello"
    end
    if b1 == 3 and len >= 5 then
      local port = add_port_digits(tree, buf, 2)
      if port == 0 then return nil end
      reply_ports[port] = true
      return "hello-with-port"
    end
    if b1 == 21 then return "keep-alive" end
    return nil
  end
  if b0 == 32 then
    local steering_byte = len > 1 and buf(1, 1):uint() or 0
    if len > 1 then
      tree:add(f.inputs_steering_byte, buf(1, 1))
      tree:add(f.inputs_steering, buf(1, 1), (steering_byte - 128) * 0.0078125)
    else
      tree:add(f.inputs_steering, buf(0, 1), -1.0):set_generated()
    end
    if len > 2 then
      local buttons = tree:add(f.inputs_buttons, buf(2, 1))
      for i = 1, 6 do buttons:add(f.inputs_button_bits[i], buf(2, 1)) end
    end
    if len >= 9 then
      tree:add(f.inputs_axis3, buf(5, 1))
      tree:add(f.inputs_axis4, buf(6, 1))
      tree:add(f.unused, buf(3, 2))
      tree:add(f.unused, buf(7, len - 7))
    end
    return "inputs"
  end
  if b0 == 21 and (b1 == 1 or b1 == 2) then
    local port = add_port_digits(tree, buf, 2)
    if port == 0 then return nil end
    reply_ports[port] = true
    if b1 == 1 then return "port-registration" end
    return "port-query"
  end
  return nil
end

local function show(buf, pinfo, root, to_hub)
  pinfo.cols.protocol = "STEPDECK"
  local tree = root:add(hub, buf())
  local kind
  if to_hub then
    tree:add(f.direction, "to the hub"):set_generated()
    kind = dissect_to_hub(buf, tree, pinfo)
    if not kind then
      tree:add_proto_expert_info(e_ignored)
      kind = "ignored"
    end
  else
    tree:add(f.direction, "from the hub"):set_generated()
    kind = dissect_from_hub(buf, tree)
    if not kind then
      tree:add_proto_expert_info(e_unknown)
      kind = "unknown"
    end
  end
  tree:add(f.kind, kind):set_generated()
  tree:append_text(": " .. kind)
  pinfo.cols.info = "Stepdeck " .. kind
end

function hub.dissector(buf, pinfo, root)
  local to_hub = pinfo.dst_port == LISTEN_PORT
  if not to_hub and (pinfo.dst_port == STICK_PORT or pinfo.dst_port == XDRV_PORT or
                     pinfo.dst_port == FEEDER_PORT) then
    hub_source_ports[pinfo.src_port] = true
  end
  show(buf, pinfo, root, to_hub)
  return buf:len()
end

-- The hub's replies to other ports: only from the hub's socket or to a port
-- a peer named, and only in the exact shape of a reply.
local function is_reply_shape(buf)
  local len = buf:len()
  if len < 2 then return false end
  local b0, b1 = buf(0, 1):uint(), buf(1, 1):uint()
  return (len == 2 and b0 == 1 and b1 == 2) or (len == 8 and b0 == 0x1F) or
         (len == 2 and b0 == 21 and b1 == 1) or (len == 5 and b0 == 21 and b1 == 2)
end

local function heuristic(buf, pinfo, root)
  if not (hub_source_ports[pinfo.src_port] or reply_ports[pinfo.dst_port]) then return false end
  if not is_reply_shape(buf) then return false end
  show(buf, pinfo, root, false)
  return true
end

local udp_port = DissectorTable.get("udp.port")
for _, port in ipairs({STICK_PORT, LISTEN_PORT, FEEDER_PORT, XDRV_PORT}) do
  udp_port:add(port, hub)
end
hub:register_heuristic("udp", heuristic)

function hub.init()
  hub_source_ports = {}
  reply_ports = {}
end
