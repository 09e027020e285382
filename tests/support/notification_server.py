#!/usr/bin/python3
"""Stands in for the desktop's notification server on the session bus, for tests.

Usage: notification_server.py RECORD_FILE [--markup]

Owns org.freedesktop.Notifications, answers every call like a real server, and appends one JSON
line per Notify call to RECORD_FILE: {"app_name", "replaces_id", "app_icon", "summary", "body",
"actions", "hints", "expire_timeout"}. With --markup it says it reads body markup. Writes "ready"
to standard output once it owns the name; exits with status 2 when the name is taken.
"""
import json
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>
"""


def main():
    record_file = sys.argv[1]
    capabilities = ["body"] + (["body-markup"] if "--markup" in sys.argv[2:] else [])
    loop = GLib.MainLoop()
    next_id = [1]
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)

    def on_call(_connection, _sender, _path, _interface, method, parameters, invocation):
        if method == "Notify":
            (app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout) = parameters.unpack()
            with open(record_file, "a", encoding="utf-8") as out:
                out.write(json.dumps({
                    "app_name": app_name, "replaces_id": replaces_id, "app_icon": app_icon,
                    "summary": summary, "body": body, "actions": actions, "hints": hints,
                    "expire_timeout": expire_timeout}) + "\n")
            invocation.return_value(GLib.Variant("(u)", (next_id[0],)))
            next_id[0] += 1
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (capabilities,)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("stand-in", "quonvera-tests", "1", "1.2")))
        else:
            invocation.return_value(None)

    def on_bus(connection, _name):
        connection.register_object("/org/freedesktop/Notifications", node.interfaces[0], on_call, None, None)

    def on_name_acquired(*_):
        print("ready", flush=True)

    name_lost = [False]

    def on_name_lost(*_):
        print("org.freedesktop.Notifications is owned by another process", file=sys.stderr)
        name_lost[0] = True
        loop.quit()

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                     Gio.BusNameOwnerFlags.DO_NOT_QUEUE, on_bus, on_name_acquired, on_name_lost)
    loop.run()
    sys.exit(2 if name_lost[0] else 0)


if __name__ == "__main__":
    main()
