"""Prints the accessible tree of one application as a screen reader sees it
through AT-SPI: a line per node, "depth|role|name|focusable|showing".

Run with the system's Python, which has pyatspi:
  /usr/bin/python3 atspi_tree.py "z8P Phonebook"
"""
import sys

import pyatspi


def walk(node, depth, out):
    try:
        states = node.getState()
        out.append("%d|%s|%s|%d|%d" % (depth, node.getRoleName(), node.name,
                                       states.contains(pyatspi.STATE_FOCUSABLE),
                                       states.contains(pyatspi.STATE_SHOWING)))
        children = [node.getChildAtIndex(i) for i in range(node.childCount)]
    except Exception:   # a node that went away meanwhile
        return
    for child in children:
        if child:
            walk(child, depth + 1, out)


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    out = []
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app and app.name == sys.argv[1]:
            walk(app, 0, out)
    print("\n".join(out))
    return 0 if out else 1


if __name__ == "__main__":
    sys.exit(main())
