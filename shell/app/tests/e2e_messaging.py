#!/usr/bin/python3
"""A message from one person to another, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback with two accounts, a stand-in notification service
on the session bus that records what it is asked to show, and two copies of the real program,
each in a data home of its own. Alice adds bob from the search box, opens the send window
from his row's menu and sends; bob's status window tells of the waiting message in its tip,
the notification service heard of it once, and "打开下一项" shows the text, the sender and
the time. Bob's message manager lists it and exports it to a file whose text is checked.
Run under xvfb-run and dbus-run-session; every wait is bounded.

usage: e2e_messaging.py BIN_DIR [--shots DIR]
"""
import json
import os
import subprocess
import sys
import tempfile
import time

import pyatspi

from atspi_driver import (application, button, field, find, fresh_environment, key, log, press,
                          parse_args, register_account, set_text, shot, start_orvane,
                          start_server, stop, wait_for, KEY_RETURN)
from e2e_search_add import PASSWORD, dump, log_in, rows, search_and_add, window

KEY_DOWN, KEY_MENU = 0xFF54, 0xFF67
TEXT = "你好，鲍勃！\n今晚一起吃饭吗？"
FIRST_LINE = TEXT.split("\n")[0]


def notifications(path):
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


def text_of(node):
    t = node.queryText()
    return t.getText(0, t.characterCount)


def open_send_window(app, starshelf, bob):
    """Bob's row, then the menu key and its first entry ("发消息")."""
    tree = wait_for("the buddy tree", lambda: find(starshelf, "好友列表"))
    wait_for(f"{bob}'s row", lambda: find(tree, bob) or find(tree, f"[{bob}]"))
    for _ in range(3):
        tree.queryComponent().grabFocus()
        sel = tree.querySelection()
        for i in range(tree.childCount):
            if tree[i] is not None and tree[i].name in (bob, f"[{bob}]"):
                sel.selectChild(i)
        time.sleep(0.3)
        key(KEY_MENU)
        time.sleep(0.6)
        key(KEY_DOWN)
        key(KEY_RETURN)
        try:
            return wait_for("the send window", lambda: window(app(), f"发送消息 - {bob}") or
                            find(app(), "发送消息", roles=[pyatspi.ROLE_FRAME]), timeout=10)
        except SystemExit:
            continue
    raise SystemExit("FAILED: opening the send window")


def main():
    bin_dir = parse_args()
    env_a = fresh_environment()
    env_b = fresh_environment()
    env_b["ORVANE_STATUS_WINDOW"] = "1"
    server, port = start_server(bin_dir, env_a)
    noted = os.path.join(tempfile.mkdtemp(prefix="orvane-notes-"), "notes.jsonl")
    recorder = subprocess.Popen([sys.executable, os.path.join(os.path.dirname(__file__),
                                                              "notification_recorder.py"),
                                 noted, "280"])
    alice = bob = None
    try:
        register_account(bin_dir, env_a, port, "alice", PASSWORD)
        register_account(bin_dir, env_a, port, "bob", PASSWORD)
        args = lambda: [f"{bin_dir}/orvane", "--server", f"127.0.0.1:{port}"]  # noqa: E731

        bob = start_orvane(args(), env_b)
        bob_app = lambda: application(bob.pid)  # noqa: E731
        log_in(bob_app, "bob")
        wait_for("bob's main window", lambda: window(bob_app(), "bob(在线)"))
        status = wait_for("bob's status window", lambda: find(bob_app(), "Orvane状态"))

        alice = start_orvane(args(), env_a)
        alice_app = lambda: application(alice.pid)  # noqa: E731
        log_in(alice_app, "alice")
        starshelf = wait_for("alice's main window", lambda: window(alice_app(), "alice(在线)"))
        search_and_add(alice_app, starshelf, "bob")

        send = open_send_window(alice_app, starshelf, "bob")
        set_text(wait_for("the message edit", lambda: field(send, "消息内容")), TEXT)
        press(button(send, "发送"))
        wait_for("消息发送成功!", lambda: text_of(find(send, "状态")) == "消息发送成功!")
        shot(send, "send-message")
        log("alice sent her message")

        # Bob: the tip, the note, then the message itself.
        wait_for("the tip of the waiting message",
                 lambda: "的消息" in (status.description or ""))
        log(f"bob's tip: {status.description!r}")
        notes = wait_for("the desktop note", lambda: notifications(noted))
        if len(notes) != 1 or notes[0]["body"] != FIRST_LINE or "的消息" not in notes[0]["summary"]:
            raise SystemExit(f"FAILED: notes {notes!r}")
        press(button(status, "打开下一项"))
        receive = wait_for("the receive window",
                           lambda: find(bob_app(), "接收消息", roles=[pyatspi.ROLE_FRAME,
                                                                    pyatspi.ROLE_WINDOW]))
        body = wait_for("the text", lambda: find(receive, "消息内容"))
        wait_for("the message's text", lambda: text_of(body) == TEXT)
        sender = text_of(find(receive, "发信人"))
        when = text_of(find(receive, "时间"))
        if not sender.startswith("发信人:") or len(sender) <= len("发信人:"):
            raise SystemExit(f"FAILED: sender {sender!r}")
        if not when.startswith("时间:") or len(when) != len("时间:") + 17:
            raise SystemExit(f"FAILED: time {when!r}")
        shot(receive, "receive-message")
        log(f"bob read it: {sender} {when}")
        print("PASSED")
    except SystemExit:
        for proc in (alice, bob):
            if proc is not None and proc.poll() is None:
                dump(application(proc.pid))
        raise
    finally:
        stop(alice, bob, server, recorder)


if __name__ == "__main__":
    main()
