#!/usr/bin/python3
"""A GTK 3 window with one text entry, for the text insertion tests.

Usage: gtk_text_field.py STATE_FILE [--text TEXT] [--select START END] [--password]

Writes the entry's state as JSON to STATE_FILE (replaced whole) whenever it changes:
{"text": ..., "cursor": ..., "selection": [start, end], "focused": bool}, offsets in code
points. The initial selection is made once the entry has keyboard focus.
"""
import argparse
import json
import os

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("state_file")
    parser.add_argument("--text", default="")
    parser.add_argument("--select", nargs=2, type=int, metavar=("START", "END"))
    parser.add_argument("--password", action="store_true", help="hide the text as in a password field")
    args = parser.parse_args()

    window = Gtk.Window(title="Quonvera test field")
    window.set_default_size(500, 80)
    entry = Gtk.Entry()
    entry.set_text(args.text)
    if args.password:
        entry.set_visibility(False)
    window.add(entry)
    selected_once = [False]

    def write_state(*_):
        bounds = entry.get_selection_bounds()
        start, end = bounds if bounds else (entry.get_position(), entry.get_position())
        state = {
            "text": entry.get_text(),
            "cursor": entry.get_position(),
            "selection": [start, end],
            "focused": entry.has_focus() and window.is_active(),
        }
        temporary = args.state_file + ".tmp"
        with open(temporary, "w", encoding="utf-8") as out:
            json.dump(state, out)
        os.replace(temporary, args.state_file)
        return False

    def select_initial():
        if args.select:
            entry.select_region(*args.select)
        else:
            entry.set_position(-1)
        selected_once[0] = True
        write_state()
        return False

    def on_focus_in(*_):
        if not selected_once[0]:
            GLib.idle_add(select_initial)
        GLib.idle_add(write_state)
        return False

    entry.connect("changed", write_state)
    entry.connect("notify::cursor-position", write_state)
    entry.connect("notify::selection-bound", write_state)
    entry.connect("focus-in-event", on_focus_in)
    window.connect("notify::is-active", lambda *_: GLib.idle_add(write_state))
    window.connect("destroy", Gtk.main_quit)
    window.show_all()
    window.present()
    Gtk.main()


if __name__ == "__main__":
    main()
