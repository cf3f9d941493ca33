#!/usr/bin/python3
"""A person's first run of orvane, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback and the real program in a fresh data home, then, by
the accessible names a screen reader uses: registers an account with the wizard, logs in,
reads "<name>(在线)" from the status window, starts a second copy (which must say that one
runs already and end), goes offline and quits. Run under xvfb-run and dbus-run-session with
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1; every wait is bounded.

usage: e2e_first_run.py BIN_DIR [--shots DIR]   (DIR receives pictures of the windows)
"""
import os
import random
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi

STEP_TIMEOUT = 30.0

SHOTS = None  # --shots: where pictures of the windows go


def log(text):
    print(f"[{time.monotonic() - START:6.1f}s] {text}", flush=True)


def wait_for(what, probe, timeout=STEP_TIMEOUT):
    """Polls probe until it returns something true; fails the test after timeout."""
    deadline = time.monotonic() + timeout
    error = None
    while time.monotonic() < deadline:
        try:
            value = probe()
        except Exception as e:  # the tree changes under us while windows come and go
            value, error = None, e
        if value:
            return value
        time.sleep(0.1)
    raise SystemExit(f"FAILED: timed out waiting for {what} (last error: {error!r})")


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def application(pid):
    """The program's root, asked for anew each time: without a main loop the client-side
    cache does not hear of windows that come later."""
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def find(root, name, roles=None):
    """The first descendant with this accessible name (and one of the roles)."""

    def match(node):
        if node is None or node.name != name:
            return False
        if roles and node.getRole() not in roles:
            return False
        return node.getState().contains(pyatspi.STATE_SHOWING)

    queue = [root]
    while queue:
        node = queue.pop(0)
        if node is None:
            continue
        if match(node):
            return node
        queue.extend(node[i] for i in range(node.childCount))
    return None


TEXT_ROLES = [pyatspi.ROLE_TEXT, pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_ENTRY]


def field(root, name):
    """An edit by its name (a label of the same name stands beside it)."""
    return find(root, name, roles=TEXT_ROLES)


def button(root, name):
    return find(root, name, roles=[pyatspi.ROLE_PUSH_BUTTON])


def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    for wanted in ("Press", "press", "click", "Toggle", "toggle"):
        if wanted in names:
            action.doAction(names.index(wanted))
            return
    action.doAction(0)


def set_text(node, text):
    node.queryEditableText().setTextContents(text)


def shot(node, name):
    """With --shots, a picture of the window the node is in (imagemagick's import)."""
    if not SHOTS:
        return
    time.sleep(0.4)  # let the window finish painting
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                    os.path.join(SHOTS, name + ".png")], check=False)


def click_at(node):
    """A left click in the middle of the node, through the X server as a mouse would."""
    x, y, w, h = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)


def choose(combo, entry):
    """Opens a combo box with the mouse and clicks one of its entries."""
    click_at(combo)
    item = wait_for(f"the entry {entry}", lambda: find(combo, entry, roles=[pyatspi.ROLE_LIST_ITEM]))
    click_at(item)
    time.sleep(0.3)  # the list closes


KEY_UP, KEY_RETURN = 0xFF52, 0xFF0D


def key(keysym):
    pyatspi.Registry.generateKeyboardEvent(keysym, None, pyatspi.KEY_SYM)
    time.sleep(0.1)


def last_menu_entry(opener, what, done, attempts=3):
    """Opens a pop-up menu with its button and takes its last entry from the keyboard.

    Pop-up menus are not children of the program in the tree (a screen reader meets them by
    their focus events), so, as a person would, the test uses the keys: Up from the top of an
    open menu reaches its last entry. done() tells whether the entry did its work."""
    for _ in range(attempts):
        press(opener)
        time.sleep(1.0)  # the click is told from a double click, then the menu opens
        key(KEY_UP)
        key(KEY_RETURN)
        try:
            return wait_for(what, done, timeout=10)
        except SystemExit:
            continue
    raise SystemExit(f"FAILED: {what}")


def start_orvane(args, env):
    """Starts the program and waits for it on the accessibility bus. A start that ends at once
    (the virtual display now and then refuses the very first connections) is tried again."""
    for attempt in range(3):
        proc = subprocess.Popen(args, env=env)
        deadline = time.monotonic() + STEP_TIMEOUT
        while time.monotonic() < deadline and proc.poll() is None:
            try:
                if application(proc.pid) is not None:
                    return proc
            except Exception:
                pass
            time.sleep(0.1)
        if proc.poll() is None:
            proc.kill()
            raise SystemExit("FAILED: orvane did not appear on the accessibility bus")
        log(f"orvane ended at start with {proc.returncode}; starting it again")
        time.sleep(1.0)
    raise SystemExit("FAILED: orvane could not start")


def main():
    global SHOTS
    bin_dir = os.path.abspath(sys.argv[1])
    if "--shots" in sys.argv:
        SHOTS = os.path.abspath(sys.argv[sys.argv.index("--shots") + 1])
        os.makedirs(SHOTS, exist_ok=True)
    work = tempfile.mkdtemp(prefix="orvane-e2e-")
    port = free_udp_port()
    env = dict(os.environ)
    env.update(
        ORVANE_HOME=f"{work}/home",
        ORVANE_REGISTRY=f"{work}/registry",
        XDG_CONFIG_HOME=f"{work}/config",
        XDG_DATA_HOME=f"{work}/data",
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1",
        QT_ACCESSIBILITY="1",
    )
    env.pop("QT_QPA_PLATFORM", None)
    server = subprocess.Popen(
        [f"{bin_dir}/orvane-server", "--listen", f"127.0.0.1:{port}", "--db", ":memory:"],
        env=env)
    first = second = None
    try:
        time.sleep(0.3)
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
        for p in (second, first, server):
            if p is not None and p.poll() is None:
                p.kill()
                p.wait()


START = time.monotonic()
if __name__ == "__main__":
    main()
