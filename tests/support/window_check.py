#!/usr/bin/env python3
"""Drives the real program's window on an X display (run under xvfb-run).

Usage: window_check.py PROGRAM APP_DIR [SCREENSHOT.png]

Starts PROGRAM --app-dir APP_DIR, waits (bounded) for its top-level window,
reports its title and client size, optionally saves a screenshot of it, then
asks it to close the way a window manager does (WM_DELETE_WINDOW) and waits
(bounded) for the process to end. Prints one JSON object.
"""
import json
import subprocess
import sys
import time

from Xlib import X, display, protocol


def find_window(root, pid_atom, pid):
    for child in root.query_tree().children:
        prop = child.get_full_property(pid_atom, X.AnyPropertyType)
        if prop and prop.value[0] == pid and child.get_attributes().map_state == X.IsViewable:
            return child
        found = find_window(child, pid_atom, pid)
        if found:
            return found
    return None


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = condition()
        if value:
            return value
        time.sleep(0.1)
    return None


def main():
    program, app_dir = sys.argv[1], sys.argv[2]
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    proc = subprocess.Popen([program, "--app-dir", app_dir], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    dpy = display.Display()
    root = dpy.screen().root
    pid_atom = dpy.intern_atom("_NET_WM_PID")
    window = wait_for(lambda: find_window(root, pid_atom, proc.pid), 30)
    result = {"found": window is not None}
    if window:
        time.sleep(0.5)  # let the first paint happen before looking at it
        geometry = window.get_geometry()
        name = window.get_full_property(dpy.intern_atom("_NET_WM_NAME"), X.AnyPropertyType)
        result.update(title=name.value.decode() if name else window.get_wm_name(),
                      width=geometry.width, height=geometry.height)
        if screenshot:
            subprocess.run(["import", "-window", str(window.id), screenshot], check=False, timeout=30)
        delete = dpy.intern_atom("WM_DELETE_WINDOW")
        event = protocol.event.ClientMessage(window=window, client_type=dpy.intern_atom("WM_PROTOCOLS"),
                                             data=(32, [delete, X.CurrentTime, 0, 0, 0]))
        window.send_event(event)
        dpy.flush()
    try:
        result["exit_code"] = proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        result["exit_code"] = None
    result["stdout"] = proc.stdout.read().decode()
    print(json.dumps(result))


if __name__ == "__main__":
    main()
