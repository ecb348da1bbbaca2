#!/usr/bin/env python3
"""Writes the sample maps and armies of data/.

Every map has the exact line layout that the editor writes and the random army
generator reads: 40 rows of 40 cells ("T02 " and so on, 160 characters), the
"[FLAGS]" line and twelve allotments, CR LF after every line. Every army has its
map's name as header and 40 rows of 40 cells ("000 ", "001 " .. "012 ").

The boards are drawn from simple shapes, with no randomness, so a rerun gives the
same files. Run from anywhere: scripts/make-sample-data.py
"""

import os

SIZE = 40
DATA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")


def blank(code="T02"):
    # grid[y][x], both 0-based here; the files count from 1.
    return [[code for _ in range(SIZE)] for _ in range(SIZE)]


def fill_rect(grid, y0, x0, y1, x1, code):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            grid[y][x] = code


def fill_disc(grid, cy, cx, r, code):
    for y in range(SIZE):
        for x in range(SIZE):
            if (y - cy) ** 2 + (x - cx) ** 2 <= r * r:
                grid[y][x] = code


def write_map(name, grid, flags, xcells):
    for (y, x) in xcells:
        # Placement cells stand off the edge so their four neighbours exist.
        assert 0 < y < SIZE - 1 and 0 < x < SIZE - 1, (name, y, x)
        grid[y][x] = "X%02d" % int(grid[y][x][1:]) if grid[y][x][0] == "T" else "X02"
    xs = sum(1 for row in grid for c in row if c[0] == "X")
    assert 2 <= xs <= 20, (name, xs)
    assert len(flags) == 12
    lines = ["".join(c + " " for c in row) for row in grid]
    assert all(len(l) == 160 for l in lines)
    lines.append("[FLAGS]")
    lines.extend(str(f) for f in flags)
    with open(os.path.join(DATA, name + ".map"), "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("ascii"))
    return grid


def write_army(map_name, file_name, grid, placements):
    """placements: list of (kind, y, x), 0-based; each must be a grass cell."""
    army = [[0] * SIZE for _ in range(SIZE)]
    for kind, y, x in placements:
        assert 1 <= kind <= 12
        assert grid[y][x][0] == "T", (file_name, kind, y, x, grid[y][x])
        assert army[y][x] == 0, (file_name, y, x)
        army[y][x] = kind
    kinds = {k for k, _, _ in placements}
    assert kinds == set(range(1, 13)), file_name
    assert 15 <= len(placements) <= 25, (file_name, len(placements))
    lines = [map_name] + ["".join("%03d " % v for v in row) for row in army]
    with open(os.path.join(DATA, file_name), "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("ascii"))


def formation(counts, cells):
    """Hands out the kinds of counts (kind 12 first, then 11 down to 1) to the
    cells in the order given."""
    order = []
    for kind in [12] + list(range(11, 0, -1)):
        order.extend([kind] * counts[kind - 1])
    assert len(order) <= len(cells)
    return [(k, y, x) for k, (y, x) in zip(order, cells)]


def grass_cells(grid, rows, cols):
    return [(y, x) for y in rows for x in cols if grid[y][x][0] == "T"]


# Base: the template. Open grass with a pond, a rock ridge and a few
# placement cells in the middle band.
def base():
    g = blank("T02")
    fill_disc(g, 19, 9, 3, "W01")
    fill_disc(g, 20, 30, 2, "W02")
    fill_rect(g, 12, 17, 13, 23, "M04")
    fill_rect(g, 26, 17, 27, 23, "M04")
    counts = [3, 2, 2, 2, 2, 1, 1, 1, 1, 2, 1, 1]
    write_map("Base", g, counts, [(8, 20), (16, 12), (22, 27), (28, 20)])
    cells = grass_cells(g, range(30, 39, 2), range(6, 34, 3))
    write_army("Base", "BaseDefault.arm", g, formation(counts, cells))


# Castle: a walled keep on a hill in the middle, a moat around it, gates on
# four sides; placement cells inside the walls and before the gates.
def castle():
    g = blank("T03")
    fill_rect(g, 9, 9, 30, 30, "W02")  # moat
    fill_rect(g, 11, 11, 28, 28, "S05")  # wall
    fill_rect(g, 12, 12, 27, 27, "T05")  # courtyard
    fill_rect(g, 17, 17, 22, 22, "M06")  # keep
    for y, x in [(9, 19), (10, 19), (11, 19), (29, 20), (30, 20), (28, 20),
                 (19, 9), (19, 10), (19, 11), (20, 30), (20, 29), (20, 28)]:
        g[y][x] = "T04"  # gates and their bridges
    fill_rect(g, 0, 0, 1, 39, "M02")
    counts = [4, 2, 3, 2, 2, 2, 1, 1, 1, 3, 2, 1]
    write_map("Castle", g, counts, [(7, 19), (14, 14), (14, 25), (25, 14), (25, 25),
                                    (32, 20), (19, 7)])
    cells = grass_cells(g, [33, 35, 37], range(4, 37, 2))
    write_army("Castle", "Castle_Guard.arm", g, formation(counts, cells))
    cells = grass_cells(g, [31, 32, 34], range(2, 40, 3))[::-1]
    write_army("Castle", "Castle_Siege.arm", g, formation(counts, cells))


# Valley: high rock on both flanks, a grass valley that climbs towards the
# middle and a river running down it with two fords.
def valley():
    g = blank("T02")
    for y in range(SIZE):
        for x in range(SIZE):
            edge = min(x, SIZE - 1 - x)
            if edge < 6:
                g[y][x] = "M%02d" % (10 - edge)
            elif edge < 9:
                g[y][x] = "T%02d" % (8 - edge)
            else:
                g[y][x] = "T%02d" % (1 + abs(y - 20) // 7)
    for y in range(SIZE):
        x = 19 + (y // 5) % 3 - 1
        g[y][x] = "W01"
        g[y][x + 1] = "W01"
    for y in (12, 27):
        for x in range(17, 23):
            if g[y][x][0] == "W":
                g[y][x] = "T01"
    g[5][8] = "S12"
    g[34][31] = "S12"
    counts = [2, 2, 2, 2, 1, 1, 1, 1, 1, 4, 2, 1]
    write_map("Valley", g, counts, [(6, 12), (10, 27), (16, 13), (24, 26), (29, 12),
                                    (20, 9), (20, 30), (14, 24), (26, 15)])
    cells = grass_cells(g, [31, 33, 35, 37], range(8, 32, 2))
    write_army("Valley", "Valley_Scouts.arm", g, formation(counts, cells))


# Islands: open water with grass islands and rocky heads; placement cells on
# the islands.
def islands():
    g = blank("W03")
    fill_rect(g, 0, 0, 39, 39, "W04")
    fill_rect(g, 2, 2, 37, 37, "W02")
    for cy, cx, r in [(8, 8, 4), (8, 30, 5), (19, 19, 6), (30, 9, 5), (31, 30, 4),
                      (35, 20, 3)]:
        fill_disc(g, cy, cx, r + 1, "W00")
        fill_disc(g, cy, cx, r, "T01")
        fill_disc(g, cy, cx, max(1, r // 3), "M03")
    # A sand bar joins the south islands.
    fill_rect(g, 33, 12, 34, 28, "T00")
    counts = [2, 2, 1, 1, 2, 1, 1, 1, 2, 2, 1, 1]
    write_map("Islands", g, counts, [(6, 6), (10, 32), (16, 16), (22, 22), (27, 9),
                                     (29, 28)])
    cells = grass_cells(g, [32, 33, 34, 35], range(6, 34, 2))
    write_army("Islands", "Islands_Fleet.arm", g, formation(counts, cells))


if __name__ == "__main__":
    os.makedirs(DATA, exist_ok=True)
    base()
    castle()
    valley()
    islands()
