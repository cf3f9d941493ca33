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

from atspi_driver import (application, button, click_at, field, find, fresh_environment, key, log, press,
                          parse_args, register_account, set_text, shot, start_orvane,
                          start_server, stop, wait_for, KEY_ESCAPE, KEY_RETURN)
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


def described(root, description):
    """What the label of that description reads (a label is named by its text)."""
    queue = [root]
    while queue:
        n = queue.pop(0)
        if n is None:
            continue
        if n.description == description and n.getState().contains(pyatspi.STATE_SHOWING):
            return n.name
        queue.extend(n[i] for i in range(n.childCount))
    return None


def open_send_window(app, starshelf, bob):
    """Bob's row, then the menu key and its first entry ("发消息")."""
    tree = wait_for("the buddy tree", lambda: find(starshelf, "好友列表"))
    row = wait_for(f"{bob}'s row", lambda: find(tree, bob) or find(tree, f"[{bob}]"))
    for _ in range(3):
        click_at(row)  # selects the row and gives the tree the keyboard
        time.sleep(0.5)
        key(KEY_MENU)
        time.sleep(0.6)
        key(KEY_DOWN)
        key(KEY_RETURN)
        try:
            return wait_for("the send window", lambda: window(app(), "发送消息"), timeout=10)
        except SystemExit:
            continue
    raise SystemExit("FAILED: opening the send window")


def open_manager(app, status):
    """The status window's menu, then its fourth entry ("信息管理器") from the keyboard."""
    for _ in range(3):
        press(button(status, "菜单"))
        time.sleep(1.0)
        for _ in range(3):
            key(KEY_DOWN)
        key(KEY_RETURN)
        try:
            return wait_for("the message manager", lambda: window(app(), "消息管理器"),
                            timeout=10)
        except SystemExit:
            key(KEY_ESCAPE)
    raise SystemExit("FAILED: opening the message manager")


def select_row(tree, probe):
    """Clicks the first row of a tree (or table) whose name probe accepts."""
    for i in range(tree.childCount):
        if tree[i] is not None and probe(tree[i].name):
            click_at(tree[i])
            return tree[i].name
    return None


def export_all(app, manager, path):
    """Every row of the list, then "导出" with a file name typed into the save dialog."""
    rows_ = wait_for("the manager's list", lambda: find(manager, "消息"))
    wait_for("a row in the list", lambda: rows_.childCount > 0)
    # "选择所有的项目" of the 编辑 menu; a menu's entries are there while it is closed.
    press(wait_for("选择所有的项目", lambda: menu_entry(manager, "选择所有的项目")))
    # The save dialog runs modal: a press through the tree would wait for it to end, a click
    # does not.
    click_at(wait_for("导出", lambda: find(manager, "导出", roles=[pyatspi.ROLE_PUSH_BUTTON])))
    dialog = wait_for("the save dialog", lambda: find(app(), "导出", roles=[pyatspi.ROLE_DIALOG]))
    name = wait_for("the file name", lambda: editable_in(dialog))
    set_text(name, path)
    name.queryComponent().grabFocus()
    time.sleep(0.3)
    key(KEY_RETURN)
    wait_for("the exported file", lambda: os.path.exists(path) and os.path.getsize(path) > 0)


def menu_entry(root, name):
    """A menu entry by name, shown or not."""
    queue = [root]
    while queue:
        n = queue.pop(0)
        if n is None:
            continue
        if n.name == name and n.getRole() == pyatspi.ROLE_MENU_ITEM:
            return n
        queue.extend(n[i] for i in range(n.childCount))
    return None


def editable_in(root):
    """The first editable text below root (the save dialog's file name)."""
    queue = [root]
    while queue:
        n = queue.pop(0)
        if n is None:
            continue
        if n.getRole() in (pyatspi.ROLE_TEXT, pyatspi.ROLE_ENTRY) and \
                n.getState().contains(pyatspi.STATE_EDITABLE) and \
                n.getState().contains(pyatspi.STATE_SHOWING):
            return n
        queue.extend(n[i] for i in range(n.childCount))
    return None


class Pair:
    """Alice and bob on one server, each in a data home of their own; bob with his status
    window, alice with bob added as her buddy. The processes stay in .alice and .bob as they
    start, for the caller's clean-up."""

    def __init__(self):
        self.alice = self.bob = None

    def start(self, bin_dir, env_a, env_b, port):
        register_account(bin_dir, env_a, port, "alice", PASSWORD)
        register_account(bin_dir, env_a, port, "bob", PASSWORD)
        args = lambda: [f"{bin_dir}/orvane", "--server", f"127.0.0.1:{port}"]  # noqa: E731

        self.bob = start_orvane(args(), env_b)
        self.bob_app = lambda: application(self.bob.pid)  # noqa: E731
        log_in(self.bob_app, "bob")
        wait_for("bob's main window", lambda: window(self.bob_app(), "bob(在线)"))
        self.status = wait_for("bob's status window", lambda: find(self.bob_app(), "Orvane状态"))

        self.alice = start_orvane(args(), env_a)
        self.alice_app = lambda: application(self.alice.pid)  # noqa: E731
        log_in(self.alice_app, "alice")
        self.starshelf = wait_for("alice's main window",
                                  lambda: window(self.alice_app(), "alice(在线)"))
        search_and_add(self.alice_app, self.starshelf, "bob")
        return self

    def dump(self):
        for proc in (self.alice, self.bob):
            if proc is not None and proc.poll() is None:
                dump(application(proc.pid))


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
    pair = Pair()
    try:
        pair.start(bin_dir, env_a, env_b, port)
        alice_app, bob_app, status = pair.alice_app, pair.bob_app, pair.status
        send = open_send_window(alice_app, pair.starshelf, "bob")
        set_text(wait_for("the message edit", lambda: field(send, "消息内容")), TEXT)
        press(button(send, "发送"))
        wait_for("消息发送成功!", lambda: described(send, "状态") == "消息发送成功!")
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
        receive = wait_for("the receive window", lambda: window(bob_app(), "接收消息"))
        body = wait_for("the text", lambda: find(receive, "消息内容"))
        wait_for("the message's text", lambda: text_of(body) == TEXT)
        sender = described(receive, "发信人")
        when = described(receive, "时间")
        if not sender.startswith("发信人:") or len(sender) <= len("发信人:"):
            raise SystemExit(f"FAILED: sender {sender!r}")
        if not when.startswith("时间:") or len(when) != len("时间:") + 17:
            raise SystemExit(f"FAILED: time {when!r}")
        shot(receive, "receive-message")
        log(f"bob read it: {sender} {when}")

        # Bob's manager lists the message under the stranger who wrote it and exports it.
        manager = open_manager(bob_app, status)
        people = wait_for("the people", lambda: find(manager, "联系人"))
        wait_for("alice in the manager", lambda: select_row(
            people, lambda n: n is not None and "alice" in n))
        exported = os.path.join(tempfile.mkdtemp(prefix="orvane-export-"), "alice.txt")
        export_all(bob_app, manager, exported)
        shot(manager, "message-manager")
        with open(exported, encoding="utf-8") as f:
            written = f.read()
        expected = f"类型:接收\t来自:"
        if not written.startswith(expected) or f"\n{TEXT}\n\n" not in written or \
                when[len("时间:"):] not in written:
            raise SystemExit(f"FAILED: exported {written!r}")
        log(f"exported: {written!r}")
        print("PASSED")
    except SystemExit:
        pair.dump()
        raise
    finally:
        stop(pair.alice, pair.bob, server, recorder)


if __name__ == "__main__":
    main()
