#!/usr/bin/python3
"""A file from one person to another, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback with two accounts and two copies of the real program.
Alice adds bob, chooses "传输文件" from his row's menu, passes the tip and picks a file in the
file dialog; her send window waits for him. Bob's status window tells of the offer, "打开下一项"
opens the receive window, he types a folder and presses "接收"; the file arrives whole and
"打开文件夹" becomes available. Run under xvfb-run and dbus-run-session; every wait is bounded.

usage: e2e_transfer.py BIN_DIR [--shots DIR]
"""
import hashlib
import os
import tempfile
import time

import pyatspi

from atspi_driver import (button, click_at, field, find, fresh_environment, key, log, press,
                          parse_args, set_text, shot, start_server, stop, wait_for, KEY_ESCAPE,
                          KEY_RETURN)
from e2e_messaging import Pair, described, editable_in
from e2e_search_add import window

KEY_DOWN, KEY_MENU = 0xFF54, 0xFF67


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def offer_file(app, starshelf, bob, path):
    """Bob's row, its menu's "传输文件" from the keyboard, the tip, then the file typed into
    the file dialog."""
    tree = wait_for("the buddy tree", lambda: find(starshelf, "好友列表"))
    row = wait_for(f"{bob}'s row", lambda: find(tree, bob) or find(tree, f"[{bob}]"))
    # The third entry, after "发消息" and "聊天"; the second when "聊天" is greyed and skipped.
    for downs in (3, 3, 2):
        click_at(row)
        time.sleep(0.5)
        key(KEY_MENU)
        time.sleep(0.6)
        for _ in range(downs):
            key(KEY_DOWN)
        key(KEY_RETURN)
        try:
            wait_for("the tip", lambda: find(app(), "下一次不提示"), timeout=8)
            break
        except SystemExit:
            for _ in range(2):
                key(KEY_ESCAPE)
    else:
        raise SystemExit("FAILED: the row's menu")
    tip = wait_for("the tip", lambda: find(app(), "下一次不提示"))
    shot(wait_for("the tip's box", lambda: find(app(), "Orvane提示", roles=[pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG])),
         "file-tip")
    click_at(tip)
    time.sleep(0.3)
    key(KEY_RETURN)
    dialog = wait_for("the file dialog",
                      lambda: find(app(), "传输文件", roles=[pyatspi.ROLE_DIALOG]))
    name = wait_for("the file name", lambda: editable_in(dialog))
    set_text(name, path)
    name.queryComponent().grabFocus()
    time.sleep(0.3)
    key(KEY_RETURN)
    return wait_for("the send window", lambda: window(app(), "文件传输"))


def main():
    bin_dir = parse_args()
    env_a = fresh_environment()
    env_b = fresh_environment()
    env_b["ORVANE_STATUS_WINDOW"] = "1"
    server, port = start_server(bin_dir, env_a)
    outbox = tempfile.mkdtemp(prefix="orvane-outbox-")
    inbox = tempfile.mkdtemp(prefix="orvane-inbox-")
    sent = os.path.join(outbox, "相册 2026.bin")
    with open(sent, "wb") as f:
        f.write(os.urandom(3 * 1024 * 1024 + 17))
    pair = Pair()
    try:
        pair.start(bin_dir, env_a, env_b, port)
        bob_app, status = pair.bob_app, pair.status
        send = offer_file(pair.alice_app, pair.starshelf, "bob", sent)
        wait_for("等待对方连入!", lambda: described(send, "status") == "等待对方连入!")
        log("alice offered the file")

        # Bob opens the offer from his status window and receives it into his folder.
        press(wait_for("打开下一项", lambda: button(status, "打开下一项")))
        receive = wait_for("the receive window", lambda: window(bob_app(), "文件接收"))
        offer = described(receive, "offer")
        if offer != "alice 将发送给你 相册 2026.bin 等 1 个文件,共计 3.00 MB":
            raise SystemExit(f"FAILED: offer {offer!r}")
        set_text(field(receive, "接收文件的文件名及目录"), inbox)
        shot(receive, "file-receive")
        press(button(receive, "接收"))
        got = os.path.join(inbox, "相册 2026.bin")
        open_folder = button(receive, "打开文件夹")
        wait_for("打开文件夹 enabled",
                 lambda: open_folder.getState().contains(pyatspi.STATE_ENABLED))
        if digest(got) != digest(sent):
            raise SystemExit("FAILED: the received file differs")
        shot(receive, "file-received")
        log(f"bob received {os.path.getsize(got)} bytes: "
            f"{described(receive, 'total progress')!r}")
        # Both end as "退出" does with their transfer windows still open: cleanly.
        for proc in (pair.alice, pair.bob):
            proc.terminate()
            rc = proc.wait(timeout=60)
            if rc != 0:
                raise SystemExit(f"FAILED: exit status {rc} with the transfer windows open")
        print("PASSED")
    except SystemExit:
        pair.dump()
        raise
    finally:
        stop(pair.alice, pair.bob, server)


if __name__ == "__main__":
    main()
