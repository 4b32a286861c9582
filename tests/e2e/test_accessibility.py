#!/usr/bin/python3
"""The program as a screen reader sees it, through the AT-SPI tree.

Runs a copy of the program (argument 1) in a folder of its own with Qt's
AT-SPI bridge on, waits for it in the accessibility registry and checks that
every control the keyboard can reach, on every page, has a name of its own in
Chinese, that the labels beside the boxes name them, that what the controls
show can be read beside their names, and that a running countdown's time left
is announced once a second.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import pyatspi

# (the label's text, the accessible name of the control it labels)
BUDDIES = [
    ("启动/停止快捷键：", "启动/停止快捷键"),
    ("CTRL+", "启动/停止快捷键"),
    ("倒计数(时:分:秒)：", "倒计时小时"),
    (":", "倒计时分钟"),
    (":", "倒计时秒数"),
    (":", "定时报时分钟"),
    ("分钟每", "每几分钟报一次"),
    ("分钟报数", "每几分钟报一次"),
    ("秒钟每", "每几秒报一次"),
    ("秒钟报数", "每几秒报一次"),
    ("音量：", "音量"),
    ("输出设备：", "输出设备"),
    ("至", "免打扰结束时间"),
    ("语音包：", "选择语音包文件夹"),
    ("服务器地址：", "对时服务器地址"),
]
# (the accessible name, what the control shows, read through its text)
SHOWN = [
    ("剩余时间", "00:10:30"),
    ("已循环次数", "0"),
    ("倒计时小时", "0"),
    ("倒计时分钟", "0"),
    ("倒计时秒数", "30"),
    ("定时报时小时", "9"),
    ("定时报时分钟", "25"),
    ("启动/停止快捷键", "F1"),
    ("音量值", "100%"),
    ("输出设备", "系统默认"),
    ("语音包状态", "使用内置语音"),
    ("对时结果", "还没有对时"),
    ("提示", ""),
]
CJK = re.compile("[\u4e00-\u9fff]")


def descendants(acc):
    yield acc
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is not None:
            yield from descendants(child)


def find_app():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "hytune":
            return app
    return None


def wait_for_tree(timeout_s):
    """The program's tree once its last designed control is in it."""
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        try:
            app = find_app()
            if app and any(a.name == "停止倒计时" for a in descendants(app)):
                return app
        except Exception:  # the program is still coming up on the bus
            pass
        time.sleep(0.2)
    return None


def is_part_of_composite(acc):
    """The inner pieces that Qt lists but the keyboard never stops on: the
    edit field of an editable combo box (focus stays on the box) and the tab
    bar's scroll arrows (shown only when the tabs do not fit)."""
    parent = acc.parent
    role = parent.getRole() if parent is not None else None
    return role == pyatspi.ROLE_COMBO_BOX or (
        role == pyatspi.ROLE_PAGE_TAB_LIST and acc.getRole() == pyatspi.ROLE_PUSH_BUTTON)


def related(acc, relation):
    names = []
    for rel in acc.getRelationSet():
        if rel.getRelationType() == relation:
            names += [rel.getTarget(i).name for i in range(rel.getNTargets())]
    return names


def check(app):
    problems = []
    everything = list(descendants(app))
    controls = [a for a in everything
                if a.getState().contains(pyatspi.STATE_FOCUSABLE) and not is_part_of_composite(a)]
    if len(controls) < 20:
        problems.append(f"only {len(controls)} focusable controls in the tree")
    seen = {}
    for acc in controls:
        what = f"{acc.getRoleName()} {acc.name!r}"
        if not acc.name or not CJK.search(acc.name):
            problems.append(f"{what}: no Chinese accessible name")
        # Qt names a tab bar by its current tab, as a screen reader reads it.
        if acc.getRole() != pyatspi.ROLE_PAGE_TAB_LIST:
            seen.setdefault(acc.name, []).append(acc.getRoleName())
    for name, roles in seen.items():
        if len(roles) > 1:
            problems.append(f"{len(roles)} controls named {name!r}: {', '.join(roles)}")
    by_name = {a.name: a for a in controls}
    labels = [a for a in everything if a.getRole() == pyatspi.ROLE_LABEL]
    for text, target in BUDDIES:
        control = by_name.get(target)
        if control is None:
            problems.append(f"no control named {target!r}")
            continue
        if not any(l.name == text and target in related(l, pyatspi.RELATION_LABEL_FOR) for l in labels):
            problems.append(f"no label {text!r} labelling {target!r}")
        if text not in related(control, pyatspi.RELATION_LABELLED_BY):
            problems.append(f"{target!r} is not labelled by {text!r}")
    for name, text in SHOWN:
        matches = [a for a in everything if a.name == name]
        if not matches:
            problems.append(f"nothing named {name!r}")
            continue
        try:
            shown = matches[0].queryText().getText(0, -1)
        except NotImplementedError:
            problems.append(f"{name!r} gives no text")
            continue
        if shown != text:
            problems.append(f"{name!r} shows {shown!r}, not {text!r}")
    return len(controls), problems


def announcements(exe, folder, seconds):
    """How often the time left is told to have changed while a countdown runs
    for `seconds`."""
    from gi.repository import GLib
    told = []

    def heard(event):
        if event.type.endswith(":insert") and event.source and event.source.name == "剩余时间":
            told.append(event.any_data)

    pyatspi.Registry.registerEventListener(heard, "object:text-changed")
    subprocess.run([exe, "--start"], cwd=folder, check=True, timeout=30)
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    pyatspi.Registry.start()
    pyatspi.Registry.deregisterEventListener(heard, "object:text-changed")
    return told


def main():
    binary = sys.argv[1]
    folder = tempfile.mkdtemp(prefix="hytune-a11y-")
    exe = os.path.join(folder, "hytune")
    shutil.copy(binary, exe)
    with open(os.path.join(folder, "hytunetm.db"), "w", encoding="utf-8") as settings:
        settings.write("[Common]\nHourCounter=0\nMinuteCounter=0\nSecondCounter=30\n"
                       "IsSecondCounter=1\nLastSecond=5\n")
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("NO_AT_BRIDGE", None)
    program = subprocess.Popen([exe], cwd=folder, env=env)
    try:
        app = wait_for_tree(90)
        if app is None:
            print("FAIL: the program did not appear in the accessibility tree within 90 s")
            return 1
        count, problems = check(app)
        told = announcements(exe, folder, 3.5)
        # The first second may already have been told when listening began.
        if not 2 <= len(told) <= 4 or any(not re.fullmatch(r"0:0:\d+", t) for t in told):
            problems.append(f"the time left was told {len(told)} times in 3.5 s: {told}")
        for p in problems:
            print("FAIL:", p)
        print(f"{count} controls checked, {len(problems)} problems")
        return 1 if problems else 0
    finally:
        program.send_signal(signal.SIGTERM)
        try:
            program.wait(10)
        except subprocess.TimeoutExpired:
            program.kill()
            program.wait()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
