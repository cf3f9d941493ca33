#!/usr/bin/python3
"""Finding a user and adding them as a buddy, driven through the accessibility tree (AT-SPI).

Starts the reference server on loopback with two accounts made by the console client, then
the real program in a fresh data home: leaves the registration wizard for the login dialog,
logs in as alice, types bob's login name into the main window's search box, adds bob from the
search results, and reads "好友(0/1)" with bob under it in the buddy tree; when bob logs in
(the console client again) the group reads "好友(1/1)". Run under xvfb-run and
dbus-run-session with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1; every wait is bounded.

usage: e2e_search_add.py BIN_DIR [--shots DIR]   (DIR receives pictures of the windows)
"""
import subprocess

import pyatspi

from atspi_driver import (application, button, click_at, field, find, fresh_environment, key,
                          log, press, parse_args, register_account, set_text, shot,
                          start_orvane, start_server, stop, wait_for, KEY_RETURN)

WINDOW_ROLES = [pyatspi.ROLE_DIALOG, pyatspi.ROLE_FRAME, pyatspi.ROLE_WINDOW,
                pyatspi.ROLE_FILLER]
ITEM_ROLES = [pyatspi.ROLE_TREE_ITEM, pyatspi.ROLE_TABLE_CELL, pyatspi.ROLE_LIST_ITEM]
PASSWORD = "secret-1"


def window(root, name):
    """A top-level window by its title (controls inside may share the name)."""
    return find(root, name, roles=WINDOW_ROLES)


def editable(node):
    """The node itself or its first descendant that takes text (an editable combo box)."""
    queue = [node]
    while queue:
        n = queue.pop(0)
        if n is None:
            continue
        try:
            n.queryEditableText()
            return n
        except NotImplementedError:
            pass
        queue.extend(n[i] for i in range(n.childCount))
    return None


def dump(node, depth=0, limit=6):
    """What the program shows, for a failure's log."""
    if node is None or depth > limit:
        return
    try:
        print("  " * depth + f"{node.getRoleName()} {node.name!r}", flush=True)
        for i in range(node.childCount):
            dump(node[i], depth + 1, limit)
    except Exception as e:  # windows come and go meanwhile
        print("  " * depth + f"({e!r})", flush=True)


def enabled(node):
    return node is not None and node.getState().contains(pyatspi.STATE_ENABLED)


def rows(tree):
    """The names of the tree's visible rows, top to bottom."""
    return [tree[i].name for i in range(tree.childCount)
            if tree[i] is not None and tree[i].getRole() in ITEM_ROLES]


def log_in(app, name):
    """Leaves the registration wizard of a fresh home for the login dialog and logs in."""
    wizard = wait_for("the registration wizard", lambda: window(app(), "新用户注册"))
    press(wait_for("log in instead",
                   lambda: find(wizard, "我已经注册了Orvane用户，请让我登录。",
                                roles=[pyatspi.ROLE_RADIO_BUTTON])))
    press(button(wizard, "下一步"))
    login = wait_for("the login dialog", lambda: window(app(), "Orvane登录"))
    user = wait_for("the name field",
                    lambda: field(login, "登录名") or
                    editable(find(login, "登录名", roles=[pyatspi.ROLE_COMBO_BOX])))
    set_text(user, name)
    set_text(field(login, "密码"), PASSWORD)
    press(button(login, "确定"))


def search_and_add(app, starshelf, bob):
    """The search box finds bob by login name; his row in the results adds him."""
    search = wait_for("the search box", lambda: field(starshelf, "搜索"))
    set_text(search, bob)
    search.queryComponent().grabFocus()  # the Return goes where the keyboard is
    wait_for("the search box to have the keyboard",
             lambda: search.getState().contains(pyatspi.STATE_FOCUSED), timeout=10)
    key(KEY_RETURN)
    wizard = wait_for("the user search wizard", lambda: window(app(), "查找添加用户"))
    results = wait_for("the results page",
                       lambda: find(wizard, "查询结果", roles=[pyatspi.ROLE_TREE,
                                                            pyatspi.ROLE_TREE_TABLE,
                                                            pyatspi.ROLE_TABLE]))
    row = wait_for(f"{bob} in the results", lambda: find(results, bob, roles=ITEM_ROLES))
    log(f"results: {rows(results)}")
    if not row.getState().contains(pyatspi.STATE_SELECTED):
        click_at(row)
    add = button(wizard, "添加好友")
    wait_for("添加好友 enabled", lambda: enabled(add), timeout=10)
    shot(wizard, "search-results")
    press(add)

    adding = wait_for("the add-buddy wizard", lambda: window(app(), "添加好友"))
    # The group page; its combo box reads the group it shows (Qt names a combo box by its
    # text on Linux), the label beside it says what it is for.
    wait_for("the group page", lambda: find(adding, "请选择加入的组:", roles=[pyatspi.ROLE_LABEL]))
    next_ = button(adding, "下一步")
    wait_for("下一步 enabled", lambda: enabled(next_), timeout=10)
    press(next_)
    wait_for("the success page",
             lambda: find(adding, "添加好友成功", roles=[pyatspi.ROLE_LABEL]))
    log(f"added {bob}")
    shot(adding, "add-buddy-succeeded")
    press(button(adding, "完成"))
    wait_for("the add-buddy wizard to close", lambda: window(app(), "添加好友") is None)

    # The search wizard is done with too.
    close = button(wizard, "完成")
    press(close if enabled(close) else button(wizard, "取消"))
    wait_for("the search wizard to close", lambda: window(app(), "查找添加用户") is None)


def buddy_group(tree, caption, bob):
    """The group row reading caption, with bob's row right under it: his display name, or his
    login name in square brackets while he has none (added from the results, no record of
    his is kept)."""
    names = rows(tree)
    if caption in names and names.index(caption) + 1 < len(names):
        return names[names.index(caption) + 1] in (bob, f"[{bob}]")
    return False


def main():
    bin_dir = parse_args()
    env = fresh_environment()
    server, port = start_server(bin_dir, env)
    alice, bob = "alice", "bob"  # the server's accounts live as long as this run
    orvane = bob_client = None
    try:
        register_account(bin_dir, env, port, alice, PASSWORD)
        register_account(bin_dir, env, port, bob, PASSWORD)
        log(f"registered {alice} and {bob}")

        orvane = start_orvane([f"{bin_dir}/orvane", "--server", f"127.0.0.1:{port}"], env)
        app = lambda: application(orvane.pid)  # noqa: E731
        log_in(app, alice)
        starshelf = wait_for("the main window", lambda: window(app(), f"{alice}(在线)"))
        tree = wait_for("the buddy tree", lambda: find(starshelf, "好友列表"))
        log(f"logged in; tree: {rows(tree)}")

        search_and_add(app, starshelf, bob)

        wait_for(f"好友(0/1) with {bob} under it", lambda: buddy_group(tree, "好友(0/1)", bob))
        log(f"tree: {rows(tree)}")
        shot(starshelf, "buddylist")

        # bob comes online: the group counts him.
        bob_client = subprocess.Popen(
            [f"{bin_dir}/orvane-console", "--server", f"127.0.0.1:{port}", "--login",
             f"{bob}:{PASSWORD}"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, env=env)
        wait_for(f"好友(1/1) once {bob} is online", lambda: buddy_group(tree, "好友(1/1)", bob))
        log(f"tree: {rows(tree)}")
        shot(starshelf, "buddylist-online")
        print("PASSED")
    except SystemExit:
        if orvane is not None and orvane.poll() is None:
            dump(application(orvane.pid))
        raise
    finally:
        stop(bob_client, orvane, server)


if __name__ == "__main__":
    main()
