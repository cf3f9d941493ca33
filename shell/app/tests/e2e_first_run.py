#!/usr/bin/python3
"""A person's first run of orvane, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback and the real program in a fresh data home, then, by
the accessible names a screen reader uses: registers an account with the wizard, logs in,
reads "<name>(在线)" from the status window, starts a second copy (which must say that one
runs already and end), goes offline and quits. Run under xvfb-run and dbus-run-session with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1; every wait is bounded.

usage: e2e_first_run.py BIN_DIR [--shots DIR]   (DIR receives pictures of the windows)
"""
import random
import subprocess
import time

import pyatspi

from atspi_driver import (application, button, choose, field, find, fresh_environment,
                          last_menu_entry, log, press, set_text, shot, start_orvane,
                          parse_args, start_server, stop, wait_for, STEP_TIMEOUT)


def main():
    bin_dir = parse_args()
    env = fresh_environment()
    server, port = start_server(bin_dir, env)
    first = second = None
    try:
        first = start_orvane([f"{bin_dir}/orvane", "--server", f"127.0.0.1:{port}"], env)
        app = lambda: application(first.pid)  # noqa: E731
        log("orvane is on the accessibility bus")

        # The first start of a fresh home opens the registration wizard.
        wizard = wait_for("the wizard", lambda: find(app(), "新用户注册"))
        shot(wizard, "wizard-welcome")
        press(wait_for("welcome page", lambda: find(wizard, "我要注册一个新用户。")))
        press(button(wizard, "下一步"))
        press(wait_for("terms page", lambda: find(wizard, "我接受以上的所有条款，并希望注册成为Orvane用户")))
        press(button(wizard, "下一步"))
        name = f"e2e-{random.randrange(10**6)}"
        set_text(wait_for("basic page", lambda: field(wizard, "登录名")), name)
        set_text(field(wizard, "密码"), "secret-1")
        set_text(field(wizard, "重复密码"), "secret-1")
        shot(wizard, "wizard-basic")
        press(button(wizard, "下一步"))
        combo_box = [pyatspi.ROLE_COMBO_BOX]
        wait_for("personal page", lambda: find(wizard, "年龄段", roles=combo_box))
        for combo, entry in (("年龄段", "保密"), ("所在地", "北京 北京"), ("语言", "简体中文")):
            choose(find(wizard, combo, roles=combo_box), entry)
        press(find(wizard, "男", roles=[pyatspi.ROLE_RADIO_BUTTON]))
        shot(wizard, "wizard-personal")
        press(button(wizard, "下一步"))
        confirmed = wait_for("the succeeded page",
                             lambda: find(wizard, "您的登录名：", roles=[pyatspi.ROLE_LABEL]))
        wait_for("the confirmed name", lambda: confirmed.description == name)
        log(f"registered {name}")
        shot(wizard, "wizard-succeeded")
        press(button(wizard, "完成"))

        # Finishing opens the login dialog with the new name filled in.
        login = wait_for("the login dialog", lambda: find(app(), "Orvane登录"))
        set_text(wait_for("password field", lambda: field(login, "密码")), "secret-1")
        shot(login, "login-dialog")
        press(button(login, "确定"))

        status = wait_for("the status window", lambda: find(app(), "Orvane状态"))
        wait_for(f"{name}(在线) in the tip",
                 lambda: status.description == f"{name}(在线)")
        log(f"tip: {status.description}")
        shot(status, "status-window")
        starshelf = find(app(), f"{name}(在线)")
        if starshelf is not None:
            shot(starshelf, "starshelf-window")

        # A second copy says that one runs already, and ends.
        second = subprocess.Popen([f"{bin_dir}/orvane"], env=env)
        box = wait_for("the already-running message",
                       lambda: find(application(second.pid), "确定",
                                    roles=[pyatspi.ROLE_PUSH_BUTTON]))
        press(box)
        rc = second.wait(timeout=STEP_TIMEOUT)
        if rc == 0:
            raise SystemExit("FAILED: the second copy did not report its refusal")
        log("second copy refused")

        # Offline through the status menu, then quit through the main menu.
        last_menu_entry(button(status, "我的状态"), "脱机离线: Orvane(离线) in the tip",
                        lambda: status.description == "Orvane(离线)")
        log("offline")
        last_menu_entry(button(status, "菜单"), "退出: the program ends",
                        lambda: first.poll() is not None)
        rc = first.wait(timeout=STEP_TIMEOUT)
        if rc != 0:
            raise SystemExit(f"FAILED: orvane ended with {rc}")
        log("quit")
        print("PASSED")
    finally:
        stop(second, first, server)


if __name__ == "__main__":
    main()
