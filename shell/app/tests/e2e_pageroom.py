#!/usr/bin/python3
"""Pageroom with a real browser, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback with one account, a small web server on 127.0.0.2
and a headless Chromium whose DevTools port goes into the program's orvane.dat. After alice logs
in she opens a tab on the web server's page: the logo beside the browser shows one user
on the site and one on the page; a click on it shows the Pageroom window, and a line typed
there appears in the site's chat as her own and turns "sent". Run under xvfb-run and
dbus-run-session; every wait is bounded.

usage: e2e_pageroom.py BIN_DIR [--shots DIR]
"""
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

import pyatspi

from atspi_driver import (application, button, click_at, find, fresh_environment, log, press,
                          parse_args, register_account, set_text, shot, start_orvane,
                          start_server, stop, wait_for, STEP_TIMEOUT)
from e2e_search_add import PASSWORD, dump, log_in, window

LINE = "大家好，这一页谁在看？"


def chromium():
    for name in ("chromium", "chromium-browser"):
        path = shutil.which(name)
        if path:
            return path
    return None


def web_server():
    """Serves a page of one site from 127.0.0.2 (a loopback address that counts as a site)."""
    root = tempfile.mkdtemp(prefix="orvane-web-")
    with open(os.path.join(root, "one.html"), "w", encoding="utf-8") as f:
        f.write("<html><head><title>one</title></head><body>one</body></html>")
    with socket.socket() as s:
        s.bind(("127.0.0.2", 0))
        port = s.getsockname()[1]
    proc = subprocess.Popen([sys.executable, "-m", "http.server", "--bind", "127.0.0.2",
                             "--directory", root, str(port)], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    return proc, f"http://127.0.0.2:{port}"


def headless_browser():
    """Headless Chromium with a profile of its own; its DevTools port, read from the profile."""
    profile = tempfile.mkdtemp(prefix="orvane-chromium-")
    proc = subprocess.Popen([chromium(), "--headless", "--no-sandbox", "--disable-gpu",
                             "--no-first-run", f"--user-data-dir={profile}",
                             "--remote-debugging-port=0", "about:blank"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    active = os.path.join(profile, "DevToolsActivePort")
    wait_for("the browser's DevTools port",
             lambda: os.path.exists(active) and os.path.getsize(active) > 0)
    with open(active) as f:
        return proc, int(f.readline().strip())


def open_tab(devtools_port, url):
    request = urllib.request.Request(f"http://127.0.0.1:{devtools_port}/json/new?{url}",
                                     method="PUT")
    with urllib.request.urlopen(request, timeout=STEP_TIMEOUT) as reply:
        return json.load(reply)["id"]


def follow_port(env, port):
    """orvane.dat naming the browser's DevTools port (the program keeps the other keys)."""
    home = env["ORVANE_HOME"]
    os.makedirs(home, mode=0o700, exist_ok=True)
    path = os.path.join(home, "orvane.dat")
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w") as f:
        f.write(f"[Pageroom]\nnDebuggingPort = {port}\n")


def count(logo, name):
    node = find(logo, name)
    return node.description if node is not None else None


def showing(node):
    return node is not None and node.getState().contains(pyatspi.STATE_SHOWING)


def own_line(chat):
    """The chat's line that ends with the text typed, with how its sending went."""
    for i in range(chat.childCount):
        item = chat[i]
        if item is not None and item.name.endswith(LINE):
            return item
    return None


def main():
    bin_dir = parse_args()
    if chromium() is None:
        print("SKIPPED: chromium is not installed")
        return
    env = fresh_environment()
    server, port = start_server(bin_dir, env)
    web, site = web_server()
    browser, devtools = headless_browser()
    orvane = None
    try:
        register_account(bin_dir, env, port, "alice", PASSWORD)
        follow_port(env, devtools)

        orvane = start_orvane([f"{bin_dir}/orvane", "--server", f"127.0.0.1:{port}"], env)
        app = lambda: application(orvane.pid)  # noqa: E731
        log_in(app, "alice")
        wait_for("alice's main window", lambda: window(app(), "alice(在线)"))
        tab = wait_for("a tab on the page", lambda: open_tab(devtools, f"{site}/one.html"))
        log(f"tab {tab} on {site}/one.html, DevTools on {devtools}")

        # The logo: alice alone on the site and on the page.
        logo = wait_for("the logo", lambda: find(app(), "Pageroom"))
        wait_for("one user on the site", lambda: count(logo, "当前网站在线用户数") == "1")
        wait_for("one user on the page", lambda: count(logo, "当前网页在线用户数") == "1")
        shot(logo, "pageroom-logo")
        log("the logo counts alice on the site and the page")

        # A click shows the Pageroom window.
        pageroom = None
        for _ in range(3):
            click_at(logo)
            try:
                pageroom = wait_for("the Pageroom window",
                                    lambda: (lambda w: w if showing(w) else None)(
                                        find(app(), "Pageroom窗口")), timeout=10)
                break
            except SystemExit:
                continue
        if pageroom is None:
            raise SystemExit("FAILED: the Pageroom window did not show")

        # A line to the site: her own, first sending, then sent.
        edit = wait_for("the message edit", lambda: find(pageroom, "聊天信息"))
        set_text(edit, LINE)
        press(button(pageroom, "发送信息"))
        chat = wait_for("the site's chat", lambda: find(pageroom, "Site Chat Viewer"))
        wait_for("the own line", lambda: own_line(chat))
        wait_for("the line sent", lambda: own_line(chat).description == "已发送")
        log(f"own line: {own_line(chat).name!r} ({own_line(chat).description})")
        shot(pageroom, "pageroom-window")
        print("PASSED")
    except SystemExit:
        if orvane is not None and orvane.poll() is None:
            dump(application(orvane.pid))
        raise
    finally:
        stop(orvane, browser, web, server)


if __name__ == "__main__":
    main()
