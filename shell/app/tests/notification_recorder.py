#!/usr/bin/python3
"""A stand-in for the desktop's notification service: owns org.freedesktop.Notifications on
the session bus and writes every Notify call as one JSON line (app name, summary, body) to a
file. Ends by itself after a time limit.

usage: notification_recorder.py FILE [SECONDS]
"""
import json
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
  </interface>
</node>
"""


def main():
    path = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 600
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)
    loop = GLib.MainLoop()
    count = [0]

    def call(connection, sender, obj, iface, method, params, invocation):
        if method == "Notify":
            app, _, _, summary, body = params.unpack()[:5]
            count[0] += 1
            with open(path, "a", encoding="utf-8") as f:
                f.write(json.dumps({"app": app, "summary": summary, "body": body},
                                   ensure_ascii=False) + "\n")
            invocation.return_value(GLib.Variant("(u)", (count[0],)))
        elif method == "GetCapabilities":
            invocation.return_value(GLib.Variant("(as)", (["body"],)))
        elif method == "GetServerInformation":
            invocation.return_value(GLib.Variant("(ssss)", ("recorder", "orvane", "1", "1.2")))
        else:
            invocation.return_value(None)

    def acquired(connection, name):
        connection.register_object("/org/freedesktop/Notifications", node.interfaces[0], call,
                                   None, None)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.freedesktop.Notifications",
                     Gio.BusNameOwnerFlags.NONE, acquired, None, lambda *a: loop.quit())
    GLib.timeout_add_seconds(seconds, loop.quit)
    loop.run()


if __name__ == "__main__":
    main()
