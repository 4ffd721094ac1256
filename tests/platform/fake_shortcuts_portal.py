#!/usr/bin/env python3
"""A desktop portal that offers only global shortcuts, for the tests: it takes the portal's
name on the session bus and answers CreateSession and BindShortcuts the way the real frontend
does (a Request object's Response signal after the call returns). Every call is written to the
log file given as the first argument, one line each; the second argument chooses the desktop:
  bind-all      binds every shortcut asked for
  bind-some     binds all but "pause" (as when the user leaves one without a key)
  refuse        the user cancels the desktop's dialog
  no-shortcuts  a portal without the GlobalShortcuts interface
The test presses a shortcut with the method org.zov.Test.Press(id) on the portal's object."""
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.GlobalShortcuts"


class Emitter(dbus.service.Object):
    """An object that exists only to send one Response signal from a request's path."""

    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, code, results):
        pass


class Session(dbus.service.Object):
    def __init__(self, bus, path, portal):
        super().__init__(bus, path)
        self.portal = portal

    @dbus.service.method("org.freedesktop.portal.Session", in_signature="", out_signature="")
    def Close(self):
        self.portal.log("close")
        self.remove_from_connection()


class Portal(dbus.service.Object):
    def __init__(self, bus, log_path, mode):
        super().__init__(bus, PATH)
        self.bus = bus
        self.log_path = log_path
        self.mode = mode
        self.session = None

    def log(self, line):
        with open(self.log_path, "a") as f:
            f.write(line + "\n")

    def answer(self, sender, token, code, results):
        path = PATH + "/request/" + sender[1:].replace(".", "_") + "/" + token

        def send():
            emitter = Emitter(self.bus, path)
            emitter.Response(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
            emitter.remove_from_connection()
            return False

        GLib.timeout_add(20, send)
        return dbus.ObjectPath(path)

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if self.mode == "no-shortcuts" or interface != IFACE:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownInterface")
        if prop != "version":
            raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.UInt32(1)

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        if self.mode == "no-shortcuts":
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownMethod")
        self.session = PATH + "/session/" + sender[1:].replace(".", "_") + "/" + str(options["session_handle_token"])
        Session(self.bus, self.session, self)
        self.log("create")
        return self.answer(sender, str(options["handle_token"]), 0, {"session_handle": dbus.String(self.session)})

    @dbus.service.method(IFACE, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender=None):
        for sid, props in shortcuts:
            self.log("bind %s %s %s" % (sid, props.get("preferred_trigger", ""), props.get("description", "")))
        if self.mode == "refuse":
            return self.answer(sender, str(options["handle_token"]), 1, {})
        bound = [
            dbus.Struct((sid, dbus.Dictionary({"description": props.get("description", ""),
                                               "trigger_description": props.get("preferred_trigger", "")},
                                              signature="sv")))
            for sid, props in shortcuts
            if not (self.mode == "bind-some" and sid == "pause")
        ]
        return self.answer(sender, str(options["handle_token"]), 0,
                           {"shortcuts": dbus.Array(bound, signature="(sa{sv})")})

    @dbus.service.signal(IFACE, signature="osta{sv}")
    def Activated(self, session, shortcut_id, timestamp, options):
        pass

    @dbus.service.method("org.zov.Test", in_signature="s", out_signature="")
    def Press(self, shortcut_id):
        self.log("press " + shortcut_id)
        self.Activated(dbus.ObjectPath(self.session or "/"), shortcut_id, dbus.UInt64(int(time.time() * 1000)),
                       dbus.Dictionary({}, signature="sv"))


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    portal = Portal(bus, sys.argv[1], sys.argv[2])
    # The name last: once it is on the bus, everything behind it answers.
    name = dbus.service.BusName(NAME, bus)
    portal.log("ready")
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
