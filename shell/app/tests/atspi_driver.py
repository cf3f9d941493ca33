"""Driving the real program through the accessibility tree (AT-SPI), as a screen reader
would: finding controls by name and role, pressing, typing, choosing, keys; every wait is
bounded."""
import os
import socket
import subprocess
import sys
import tempfile
import time

import pyatspi

STEP_TIMEOUT = 30.0
START = time.monotonic()
SHOTS = None  # --shots: where pictures of the windows go


def parse_args():
    """BIN_DIR [--shots DIR]: the build's program directory, and where pictures go."""
    global SHOTS
    if "--shots" in sys.argv:
        SHOTS = os.path.abspath(sys.argv[sys.argv.index("--shots") + 1])
        os.makedirs(SHOTS, exist_ok=True)
    return os.path.abspath(sys.argv[1])


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


def extents(node):
    """Where the node is on the screen, in the screen's pixels: Qt reports its own scaled
    pixels (QT_SCALE_FACTOR)."""
    scale = float(os.environ.get("QT_SCALE_FACTOR") or 1)
    return [round(v * scale) for v in node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)]


def shot(node, name):
    """With --shots, a picture of the window the node is in (imagemagick's import)."""
    if not SHOTS:
        return
    time.sleep(0.4)  # let the window finish painting
    x, y, w, h = extents(node)
    subprocess.run(["import", "-window", "root", "-crop", f"{w}x{h}+{x}+{y}", "+repage",
                    os.path.join(SHOTS, name + ".png")], check=False)


def click_at(node):
    """A left click in the middle of the node, through the X server as a mouse would."""
    x, y, w, h = extents(node)
    pyatspi.Registry.generateMouseEvent(x + w // 2, y + h // 2, pyatspi.MOUSE_B1C)


def choose(combo, entry, attempts=3):
    """Opens a combo box with the mouse and clicks one of its entries, until the box shows it
    (Qt names a combo box by its text). The entries count as showing while the list is still
    closed, so the click waits for the list itself; a click that missed is tried again."""

    def popup():
        for i in range(combo.childCount):
            if combo[i].getRole() == pyatspi.ROLE_LIST:
                return combo[i].getState().contains(pyatspi.STATE_SHOWING)
        return False

    for _ in range(attempts):
        click_at(combo)
        try:
            wait_for(f"the list of {entry}", popup, timeout=10)
        except SystemExit:
            continue
        time.sleep(0.3)  # the list finishes opening where it goes
        item = wait_for(f"the entry {entry}",
                        lambda: find(combo, entry, roles=[pyatspi.ROLE_LIST_ITEM]))
        click_at(item)
        try:
            wait_for(f"{entry} chosen", lambda: combo.name == entry, timeout=5)
            time.sleep(0.3)  # the list closes
            return
        except SystemExit:
            if popup():
                key(KEY_ESCAPE)
    raise SystemExit(f"FAILED: choosing {entry}")


KEY_UP, KEY_RETURN, KEY_ESCAPE = 0xFF52, 0xFF0D, 0xFF1B


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




def fresh_environment():
    """A data home, registry and desktop folders of their own, and accessibility on."""
    work = tempfile.mkdtemp(prefix="orvane-e2e-")
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
    # GCC 12's leak checker misreads the thread-local block of a library loaded at run time
    # when it lands at a certain offset in its page, and crashes at exit (now and then, as
    # the allocator places it): it is told not to follow those blocks.
    asan = env.get("ASAN_OPTIONS")
    env["ASAN_OPTIONS"] = (asan + ":" if asan else "") + "intercept_tls_get_addr=0"
    return env


def start_server(bin_dir, env):
    """The reference server on a free loopback port, keeping its accounts in memory."""
    port = free_udp_port()
    server = subprocess.Popen(
        [f"{bin_dir}/orvane-server", "--listen", f"127.0.0.1:{port}", "--db", ":memory:"],
        env=env)
    time.sleep(0.3)
    return server, port


def register_account(bin_dir, env, port, name, password):
    """Registers an account through the console client (its error event when it exists)."""
    result = subprocess.run(
        [f"{bin_dir}/orvane-console", "--server", f"127.0.0.1:{port}", "--register",
         f"{name}:{password}"], input="sleep 1500\nquit\n", env=env, capture_output=True,
        text=True, timeout=STEP_TIMEOUT)
    if "OnRegisterUserReply" not in result.stdout:
        raise SystemExit(f"FAILED: registering {name}: {result.stdout}{result.stderr}")


def stop(*procs):
    for p in procs:
        if p is not None and p.poll() is None:
            p.kill()
            p.wait()
