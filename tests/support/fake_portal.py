#!/usr/bin/env python3
"""A desktop portal of the tests' own: it takes the portal's name on the session bus and
answers the way the real frontend does (a Request object's Response signal after the call
returns). Every call is written to the log file given as the first argument, one line each;
the second argument chooses the desktop:
  bind-all      global shortcuts, binding every shortcut asked for
  bind-some     binds all but "pause" (as when the user leaves one without a key)
  refuse        the user cancels the desktop's dialog
  no-shortcuts  a portal with neither interface
  screencast NODE WIDTH HEIGHT
                screen sharing of the PipeWire node NODE (tests/platform/fake_screen_source),
                every cursor mode offered, the choice (monitor or window) as asked
The test presses a shortcut with org.zov.Test.Press(id), and ends a screen-sharing session as
the desktop's "stop sharing" does with org.zov.Test.CloseSession(), on the portal's object."""
import os
import socket
import sys
import time

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

NAME = "org.freedesktop.portal.Desktop"
PATH = "/org/freedesktop/portal/desktop"
IFACE = "org.freedesktop.portal.GlobalShortcuts"
SCREENCAST = "org.freedesktop.portal.ScreenCast"


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

    @dbus.service.signal("org.freedesktop.portal.Session", signature="a{sv}")
    def Closed(self, details):
        pass


class ScreenCast(dbus.service.Object):
    """The ScreenCast methods; a class of their own because dbus-python finds a method by its
    name and interface along the classes, and both interfaces have a CreateSession."""

    @dbus.service.method(SCREENCAST, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        return self.create_session(options, sender)

    @dbus.service.method(SCREENCAST, in_signature="oa{sv}", out_signature="o", sender_keyword="sender")
    def SelectSources(self, session, options, sender=None):
        self.types = int(options.get("types", 1))
        self.log("select types=%d cursor_mode=%d" % (self.types, int(options.get("cursor_mode", 0))))
        return self.answer(sender, str(options["handle_token"]), 0, {})

    @dbus.service.method(SCREENCAST, in_signature="osa{sv}", out_signature="o", sender_keyword="sender")
    def Start(self, session, parent, options, sender=None):
        node, width, height = self.stream
        source_type = 2 if self.types == 2 else 1
        self.log("start source_type=%d" % source_type)
        streams = dbus.Array([dbus.Struct((dbus.UInt32(node), dbus.Dictionary(
            {"size": dbus.Struct((dbus.Int32(width), dbus.Int32(height)), signature="ii"),
             "source_type": dbus.UInt32(source_type)}, signature="sv")))], signature="(ua{sv})")
        return self.answer(sender, str(options["handle_token"]), 0,
                           {"streams": streams, "restore_token": dbus.String("fake-token")})

    @dbus.service.method(SCREENCAST, in_signature="oa{sv}", out_signature="h")
    def OpenPipeWireRemote(self, session, options):
        sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        sock.connect(os.path.join(os.environ["XDG_RUNTIME_DIR"], "pipewire-0"))
        fd = dbus.types.UnixFd(sock.fileno())
        sock.close()
        return fd



class Portal(ScreenCast):
    def __init__(self, bus, log_path, mode, stream=None):
        super().__init__(bus, PATH)
        self.bus = bus
        self.log_path = log_path
        self.mode = mode
        self.stream = stream  # (node, width, height) when sharing a screen
        self.session = None
        self.session_object = None
        self.types = 1

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
        offered = SCREENCAST if self.mode == "screencast" else None if self.mode == "no-shortcuts" else IFACE
        if interface != offered:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownInterface")
        values = {"version": 1} if interface == IFACE else \
            {"version": 4, "AvailableSourceTypes": 3, "AvailableCursorModes": 7}
        if prop not in values:
            raise dbus.exceptions.DBusException("no such property", name="org.freedesktop.DBus.Error.UnknownProperty")
        return dbus.UInt32(values[prop])

    def create_session(self, options, sender):
        self.session = PATH + "/session/" + sender[1:].replace(".", "_") + "/" + str(options["session_handle_token"])
        self.session_object = Session(self.bus, self.session, self)
        self.log("create")
        return self.answer(sender, str(options["handle_token"]), 0, {"session_handle": dbus.String(self.session)})

    @dbus.service.method(IFACE, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender=None):
        if self.mode in ("no-shortcuts", "screencast"):
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownMethod")
        return self.create_session(options, sender)

    @dbus.service.method("org.zov.Test", in_signature="", out_signature="")
    def CloseSession(self):
        self.log("closed by the desktop")
        self.session_object.Closed(dbus.Dictionary({}, signature="sv"))

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
    stream = tuple(int(a) for a in sys.argv[3:6]) if sys.argv[2] == "screencast" else None
    portal = Portal(bus, sys.argv[1], sys.argv[2], stream)
    # The name last: once it is on the bus, everything behind it answers.
    name = dbus.service.BusName(NAME, bus)
    portal.log("ready")
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
