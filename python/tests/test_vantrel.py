"""Tests of the Python module vantrel, against the view by its definition."""

import threading
import time

import numpy as np
import pytest

import vantrel

# LOS.TDF as `vantrel 96` writes it: tables 1 to 3.
LOS96 = (
    "[TABLEINFO]\r\n{\r\nnumtables=3;\r\n}\r\n\r\n"
    "[Table1]\r\n{\r\n\tnumlines=1;\r\n\tline1=1,0,1;\r\n}\r\n\r\n"
    "[Table2]\r\n{\r\n\tnumlines=2;\r\n\tline1=2,1,1,1,2;\r\n\tline2=2,0,1,0,2;\r\n}\r\n\r\n"
    "[Table3]\r\n{\r\n\tnumlines=4;\r\n\tline1=2,1,1,2,2;\r\n\tline2=2,1,1,2,1;\r\n"
    "\tline3=3,0,1,1,2,1,3;\r\n\tline4=3,0,1,0,2,0,3;\r\n}\r\n"
).encode()


def reference_view(opaque, viewer, table, walls="seen"):
    """The view by its definition: each line of the table, turned by the 8
    symmetries of the square, walked from the viewer up to the map's edge
    or its first opaque cell, which is in view unless walls="unseen"; with
    walls="facing", each opaque cell next to a clear cell in view that is no
    farther from the viewer along either axis as well."""
    height, width = opaque.shape
    row, column = viewer
    view = np.zeros(opaque.shape, dtype=bool)
    view[row, column] = True
    for line in table:
        for turn in range(8):
            for x, y in line.tolist():
                if turn & 4:
                    x, y = y, x
                if turn & 1:
                    x = -x
                if turn & 2:
                    y = -y
                r, c = row + y, column + x
                if not (0 <= r < height and 0 <= c < width):
                    break
                if opaque[r, c]:
                    view[r, c] = walls != "unseen"
                    break
                view[r, c] = True
    if walls == "facing":
        lit = view.copy()
        for r, c in zip(*np.nonzero(opaque)):
            for nr in range(max(r - 1, 0), min(r + 2, height)):
                for nc in range(max(c - 1, 0), min(c + 2, width)):
                    if (view[nr, nc] and not opaque[nr, nc]
                            and abs(nr - row) <= abs(r - row) and abs(nc - column) <= abs(c - column)):
                        lit[r, c] = True
        view = lit
    return view


def random_map(height, width, share, seed):
    return np.random.default_rng(seed).random((height, width)) < share


@pytest.fixture(scope="module")
def view12():
    return vantrel.Sight(12)


@pytest.mark.parametrize(
    "shape, share, radius, walls",
    [
        ((25, 25), 0.1, 12, "seen"),
        ((25, 25), 0.3, 12, "unseen"),
        ((25, 25), 0.3, 12, "facing"),
        ((7, 40), 0.2, 9, "facing"),  # the lines leave the map
        ((7, 40), 0.2, 9, "seen"),
        ((30, 30), 0.0, 5, "unseen"),  # open ground
        ((1, 1), 0.0, 3, "seen"),
    ],
)
def test_views_are_those_of_the_definition(view12, shape, share, radius, walls):
    table = vantrel.make_table(radius)
    for seed in range(4):
        opaque = random_map(*shape, share, seed)
        viewer = tuple(int(v) for v in np.random.default_rng(seed).integers(shape))
        expected = reference_view(opaque, viewer, table, walls)
        # Opaque cells as bool or uint8, or clear ones: the same view.
        views = [
            view12.compute(opaque, viewer, radius, walls=walls),
            view12.compute(opaque.astype(np.uint8) * 7, viewer, radius, walls=walls),
            view12.compute(map=opaque, viewer=np.array(viewer), radius=np.int64(radius),
                           walls=walls),
            view12.compute(~opaque, viewer, radius, walls=walls, transparent=True),
            vantrel.Sight(radius).compute(opaque, viewer, walls=walls),
            vantrel.compute_fov(~opaque, viewer, radius, walls=walls),
        ]
        # tcod's word for the first two.
        if walls != "facing":
            light_walls = walls == "seen"
            views += [
                view12.compute(opaque, viewer, radius, light_walls=np.bool_(light_walls)),
                vantrel.compute_fov(~opaque, viewer, radius, light_walls),
            ]
        for view in views:
            assert view.dtype == bool and view.shape == shape
            np.testing.assert_array_equal(view, expected)
        if walls == "seen":
            np.testing.assert_array_equal(vantrel.compute_fov(~opaque, viewer, radius), expected)


def test_former_names_still_work():
    assert vantrel.FieldOfView is vantrel.Sight
    assert vantrel.Sight.__module__ == "vantrel"


def test_walls_are_named_one_way(view12):
    opaque = np.zeros((5, 5), bool)
    for call in (
        lambda **kw: view12.compute(opaque, (2, 2), **kw),
        lambda **kw: view12.sees(opaque, (2, 2), (0, 0), **kw),
        lambda **kw: vantrel.FogOfWar(view12).update(opaque, [(2, 2)], **kw),
    ):
        with pytest.raises(TypeError, match="give walls or light_walls, not both"):
            call(walls="seen", light_walls=True)
        with pytest.raises(ValueError, match="not 'lit'"):
            call(walls="lit")
        with pytest.raises(TypeError, match="walls must be"):
            call(walls=True)
    with pytest.raises(TypeError, match=r"compute_fov\(\): give walls or light_walls"):
        vantrel.compute_fov(~opaque, (2, 2), 3, True, walls="facing")


def test_sees_answers_as_the_view(view12):
    opaque = random_map(21, 23, 0.25, 5)
    viewer = (10, 8)
    for walls, symmetric in (("seen", False), ("unseen", True), ("facing", False),
                             ("facing", True)):
        for transparent in (False, True):
            grid = ~opaque if transparent else opaque
            view = view12.compute(grid, viewer, 6, walls=walls, transparent=transparent,
                                  symmetric=symmetric)
            seen = np.array(
                [
                    [
                        view12.sees(grid, viewer, (r, c), 6, walls=walls,
                                    transparent=transparent, symmetric=symmetric)
                        for c in range(23)
                    ]
                    for r in range(21)
                ]
            )
            np.testing.assert_array_equal(seen, view)


def test_list_holds_each_cell_in_view_once(view12):
    opaque = random_map(21, 23, 0.25, 9)
    for walls in ("seen", "unseen", "facing"):
        for viewer in ((0, 0), (10, 11), (20, 22)):
            view = view12.compute(opaque, viewer, 7, walls=walls)
            cells = view12.list(~opaque, viewer, 7, walls=walls, transparent=True)
            assert cells.dtype == np.int32 and cells.shape == (view.sum(), 2)
            assert tuple(cells[0]) == viewer
            listed = np.zeros(opaque.shape, dtype=int)
            np.add.at(listed, (cells[:, 0], cells[:, 1]), 1)
            np.testing.assert_array_equal(listed, view)
    with pytest.raises(ValueError, match="viewer"):
        view12.list(opaque, (21, 0))


def test_cones_keep_the_cells_whose_direction_lies_within(view12):
    opaque = random_map(25, 27, 0.15, 12)
    viewer = (12, 13)
    rows, columns = np.indices(opaque.shape)
    angle = np.degrees(np.arctan2(rows - viewer[0], columns - viewer[1]))
    for direction, width in ((270, 90), (0, 45), (135, 200)):
        off = np.abs((angle - direction + 180) % 360 - 180)
        inside = off <= width / 2 + 1e-6
        inside[viewer] = True
        for walls in ("seen", "facing"):
            whole = view12.compute(opaque, viewer, 10, walls="seen")
            cone = view12.compute(opaque, viewer, 10, walls=walls, cone=(direction, width))
            if walls == "seen":
                np.testing.assert_array_equal(cone, whole & inside)
            else:
                # The clear cells are the cone's; walls may be lit beside it.
                np.testing.assert_array_equal(cone & ~opaque, whole & inside & ~opaque)
            np.testing.assert_array_equal(
                view12.compute(~opaque, viewer, 10, walls=walls, cone=(direction, width),
                               transparent=True), cone)
            cells = view12.list(opaque, viewer, 10, walls=walls, cone=(direction, width))
            assert len(cells) == cone.sum()
    for bad, error in (((0, 0), ValueError), ((float("nan"), 90), ValueError),
                       ((0, 400), ValueError), ((1, 2, 3), TypeError), (("a", 90), TypeError)):
        with pytest.raises(error, match="cone"):
            view12.compute(opaque, viewer, cone=bad)
    # sees() through a cone answers as the view through it; the symmetric
    # view is cut to a cone as well.
    seen = view12.compute(opaque, viewer, 6, walls="facing", cone=(45, 120))
    np.testing.assert_array_equal(
        [[view12.sees(opaque, viewer, (r, c), 6, walls="facing", cone=(45, 120))
          for c in range(opaque.shape[1])] for r in range(opaque.shape[0])], seen)
    both = view12.compute(opaque, viewer, 6, symmetric=True)
    cut = view12.compute(opaque, viewer, 6, symmetric=True, cone=(45, 120))
    assert (cut <= both).all() and cut.sum() < both.sum()
    with pytest.raises(ValueError, match="symmetric"):
        view12.sees(opaque, viewer, (0, 0), cone=(0, 90), symmetric=True)


def test_symmetric_views_see_both_ways(view12):
    for seed, light_walls in ((6, True), (7, False)):
        opaque = random_map(19, 22, 0.2, seed)
        viewer = (9, 10)
        plain = view12.compute(opaque, viewer, 8, light_walls=light_walls)
        clear_viewer = opaque.copy()
        clear_viewer[viewer] = False
        # A clear cell is in view when the viewer is in its view as well;
        # the viewer's own opacity stops none of its lines.
        expected = plain.copy()
        for cell in zip(*np.nonzero(plain & ~opaque)):
            expected[cell] = view12.compute(clear_viewer, cell, 8)[viewer]
        expected[viewer] = True
        assert (expected != plain).any()
        for view in (
            view12.compute(opaque, viewer, 8, light_walls=light_walls, symmetric=True),
            view12.compute(~opaque, viewer, 8, light_walls=light_walls, transparent=True,
                           symmetric=True),
            vantrel.compute_fov(~opaque, viewer, 8, light_walls, symmetric=True),
        ):
            np.testing.assert_array_equal(view, expected)
    with pytest.raises(ValueError, match="200"):
        vantrel.Sight(201).compute(np.zeros((3, 3), bool), (1, 1), symmetric=True)


def test_out_is_filled_in_place(view12):
    opaque = random_map(30, 31, 0.1, 1)
    for dtype in (bool, np.uint8):
        out = np.full(opaque.shape, 3, dtype=dtype)
        assert view12.compute(opaque, (4, 5), out=out) is out
        np.testing.assert_array_equal(out, view12.compute(opaque, (4, 5)))
        out[:] = 1
        assert vantrel.compute_fov(~opaque, (4, 5), 12, out=out) is out
        np.testing.assert_array_equal(out, view12.compute(opaque, (4, 5)))


def test_tables_and_table_files(tmp_path):
    path = tmp_path / "LOS.TDF"
    path.write_bytes(LOS96)
    for tables in (vantrel.TableFile(path), vantrel.TableFile(str(path)),
                   vantrel.TableFile.from_bytes(LOS96)):
        assert tables.radii == [1, 2, 3]
        assert 3 in tables and 4 not in tables
        for radius in tables.radii:
            file_lines = tables.table(radius)
            made_lines = vantrel.make_table(radius)
            assert [line.tolist() for line in file_lines] == [line.tolist() for line in made_lines]
            assert all(line.dtype == np.int32 and line.shape[1] == 2 for line in file_lines)
    opaque = random_map(15, 15, 0.2, 2)
    from_file = vantrel.Sight(vantrel.TableFile(path))
    assert from_file.radius == 3 and not from_file.has_radius(4)
    np.testing.assert_array_equal(from_file.compute(opaque, (7, 7)),
                                  vantrel.Sight(3).compute(opaque, (7, 7)))


@pytest.mark.parametrize(
    "damage",
    [
        lambda data: data.replace(b"line3=3,0,1,1,2,1,3", b"line3=3,0,1,9,2,1,3"),  # no step
        lambda data: data[: len(data) // 2],  # cut short
        lambda data: data.replace(b"numlines=4", b"numlines=5"),
    ],
)
def test_a_damaged_table_file_raises_table_file_error(tmp_path, damage):
    path = tmp_path / "LOS.TDF"
    path.write_bytes(damage(LOS96))
    with pytest.raises(vantrel.TableFileError, match="LOS.TDF"):
        tables = vantrel.TableFile(path)
        for radius in tables.radii:
            tables.table(radius)
    with pytest.raises(OSError, match="cannot open"):
        vantrel.TableFile(tmp_path / "missing.tdf")
    with pytest.raises(ValueError, match="null byte"):
        vantrel.TableFile(str(tmp_path / "LOS.TDF") + "\0.bak")
    assert issubclass(vantrel.TableFileError, OSError)
    with pytest.raises(vantrel.TableFileError, match="no table 7|Table 7|7"):
        vantrel.TableFile.from_bytes(LOS96).table(7)


def test_a_map_given_as_a_list_is_the_array_it_makes(view12):
    # The array numpy makes of a list lives as long as the call that made
    # it, the view computed without the GIL included.
    rng = np.random.default_rng(12)
    for seed in range(200):
        opaque = random_map(9, 13, 0.2, seed)
        viewer = tuple(int(v) for v in rng.integers(0, (9, 13)))
        target = tuple(int(v) for v in rng.integers(0, (9, 13)))
        np.testing.assert_array_equal(view12.compute(opaque.tolist(), viewer, 5),
                                      view12.compute(opaque, viewer, 5))
        assert view12.sees(opaque.tolist(), viewer, target) == view12.sees(opaque, viewer, target)
    opaque = random_map(600, 600, 0.05, 1)
    np.testing.assert_array_equal(view12.compute(opaque.tolist(), (300, 295)),
                                  view12.compute(opaque, (300, 295)))
    np.testing.assert_array_equal(vantrel.FogOfWar(view12).update(opaque.tolist(), [(300, 295)]),
                                  view12.compute(opaque, (300, 295)))


def test_code_run_while_arguments_are_read_cannot_pull_the_map_away(view12):
    # An argument's __index__ may change the map; the map's data is taken
    # only once every argument is read.
    opaque = np.zeros((300, 300), dtype=bool)

    class Shrinks:
        def __index__(self):
            opaque.resize((1, 1), refcheck=False)
            return 5

    with pytest.raises(ValueError, match="on the map"):
        view12.compute(opaque, (150, 150), Shrinks(), symmetric=True)


def test_wrong_arguments_raise(view12):
    opaque = np.zeros((10, 12), dtype=bool)
    cases = [
        (TypeError, "bool or uint8", lambda: view12.compute(opaque.astype(np.int32), (1, 1))),
        (TypeError, "bool or uint8", lambda: view12.compute(opaque.astype(np.float32), (1, 1))),
        (ValueError, "2-D", lambda: view12.compute(np.zeros(12, dtype=bool), (1, 1))),
        (ValueError, "2-D", lambda: view12.compute(np.zeros((2, 3, 4), dtype=bool), (1, 1))),
        (ValueError, "C order", lambda: view12.compute(np.asfortranarray(opaque), (1, 1))),
        (ValueError, "C order", lambda: view12.compute(opaque[:, ::2], (1, 1))),
        # Cells as Python gives them, (row, column), and no C++ name.
        (ValueError, r"^viewer at \(10, 0\) is not on the map of 10 x 12 cells \(rows, columns\)$",
         lambda: view12.compute(opaque, (10, 0))),
        (ValueError, r"^no radius 13 \(the largest is 12\)$", lambda: view12.compute(opaque, (1, 1), 13)),
        (ValueError, "on the map", lambda: view12.compute(opaque, (0, -1))),
        (ValueError, "on the map", lambda: view12.compute(opaque, (2**40, 0))),
        (ValueError, "on the map", lambda: view12.compute(np.zeros((0, 3), dtype=bool), (0, 0))),
        (ValueError, "on the map", lambda: view12.sees(opaque, (1, 1), (1, 12))),
        (ValueError, "no radius 13", lambda: view12.compute(opaque, (1, 1), 13)),
        (ValueError, "no radius 0", lambda: view12.compute(opaque, (1, 1), 0)),
        (ValueError, "shape of the map",
         lambda: view12.compute(opaque, (1, 1), out=np.zeros((12, 10), dtype=bool))),
        (ValueError, "read-only",
         lambda: view12.compute(opaque, (1, 1), out=np.broadcast_to(opaque, opaque.shape))),
        (ValueError, "overlaps", lambda: view12.compute(opaque, (1, 1), out=opaque)),
        (TypeError, "bool or uint8",
         lambda: view12.compute(opaque, (1, 1), out=np.zeros(opaque.shape, dtype=np.int16))),
        # compute() reads its arguments itself.
        (TypeError, "at most 3 positional", lambda: view12.compute(opaque, (1, 1), 3, True)),
        (TypeError, "unexpected keyword argument 'wall'",
         lambda: view12.compute(opaque, (1, 1), wall="seen")),
        (TypeError, "multiple values for argument 'radius'",
         lambda: view12.compute(opaque, (1, 1), 3, radius=3)),
        (TypeError, "missing required argument 'viewer'", lambda: view12.compute(opaque)),
        (TypeError, "viewer must hold integers", lambda: view12.compute(opaque, (1.0, 1))),
        (TypeError, r"\(row, column\)", lambda: view12.compute(opaque, (1, 1, 1))),
        (ValueError, "radius", lambda: vantrel.make_table(0)),
        (ValueError, "radius", lambda: vantrel.Sight(0)),
        # A bool is an integer to Python, but no cell or radius.
        (TypeError, "viewer must hold integers", lambda: view12.compute(opaque, (True, 1))),
        (TypeError, "radius must hold integers", lambda: view12.compute(opaque, (1, 1), True)),
        (TypeError, "radius must hold integers",
         lambda: view12.compute(opaque, (1, 1), np.bool_(True))),
        (TypeError, "target must hold integers", lambda: view12.sees(opaque, (1, 1), (1, False))),
        (TypeError, "radius must hold integers",
         lambda: view12.sees(opaque, (1, 1), (2, 2), radius=True)),
        (ValueError, "radius is out of range", lambda: view12.sees(opaque, (1, 1), (2, 2), 2**40)),
        (TypeError, "at most 4 positional", lambda: view12.sees(opaque, (1, 1), (2, 2), 3, True)),
        (TypeError, "incompatible", lambda: vantrel.make_table(True)),
        (TypeError, "incompatible", lambda: vantrel.Sight(np.bool_(True))),
        (TypeError, "incompatible", lambda: view12.prepare(True)),
        (TypeError, "incompatible", lambda: vantrel.FogOfWar(view12, True)),
        # `out` is written: an array that numpy would make of a list is not
        # the caller's.
        (TypeError, "out must be a numpy array",
         lambda: view12.compute(opaque, (1, 1), out=opaque.tolist())),
    ]
    for error, message, call in cases:
        with pytest.raises(error, match=message):
            call()


def test_fog_of_war_is_every_viewers_view(view12):
    opaque = random_map(60, 70, 0.15, 3)
    rng = np.random.default_rng(3)
    viewers = np.stack([rng.integers(0, 60, 300), rng.integers(0, 70, 300)], axis=1)
    radii = rng.integers(1, 13, 300)

    def union(cells, radius_of, walls="seen"):
        seen = np.zeros(opaque.shape, dtype=bool)
        for (r, c), radius in zip(cells.tolist(), radius_of):
            seen |= view12.compute(opaque, (r, c), radius, walls=walls)
        return seen

    for threads in (1, 2):
        fog = vantrel.FogOfWar(view12, threads)
        assert fog.threads == threads
        np.testing.assert_array_equal(fog.update(opaque, viewers, radius=7),
                                      union(viewers, [7] * 300))
        # Viewers in the other byte order are read as the numbers they are.
        np.testing.assert_array_equal(fog.update(opaque, viewers.astype('>i4'), radius=7),
                                      union(viewers, [7] * 300))
        np.testing.assert_array_equal(
            fog.update(~opaque, viewers.astype(np.int32), radius=7, light_walls=False,
                       transparent=True),
            union(viewers, [7] * 300, walls="unseen"))
        np.testing.assert_array_equal(
            fog.update(opaque, viewers, radii=radii, walls="facing"),
            union(viewers, radii, walls="facing"))
        # Each viewer of its own radius; explored kept over two updates.
        visible = np.zeros(opaque.shape, dtype=np.uint8)
        explored = np.zeros(opaque.shape, dtype=bool)
        assert fog.update(opaque, viewers[:150], visible, explored, radii=radii[:150]) is visible
        visible[:] = 0
        fog.update(opaque, viewers[150:].tolist(), visible, explored, radii=radii[150:])
        np.testing.assert_array_equal(visible, union(viewers[150:], radii[150:]))
        np.testing.assert_array_equal(explored, union(viewers, radii))

    fog = vantrel.FogOfWar(view12)
    bad = [
        (ValueError, r"viewer 1 at \(60, 0\) is not on the map of 60 x 70 cells \(rows, columns\)",
         lambda: fog.update(opaque, [(0, 0), (60, 0)])),
        (ValueError, r"\(n, 2\)", lambda: fog.update(opaque, [1, 2, 3])),
        (ValueError, "one radius per viewer", lambda: fog.update(opaque, viewers, radii=[1, 2])),
        (ValueError, "not both", lambda: fog.update(opaque, viewers, radius=3, radii=radii)),
        (ValueError, "no radius 40", lambda: fog.update(opaque, viewers[:2], radii=[3, 40])),
        (ValueError, "no radius 1099511627776",
         lambda: fog.update(opaque, viewers[:2], radii=[3, 2**40])),
        (ValueError, "no radius 18446744073709551615",
         lambda: fog.update(opaque, viewers[:2], radii=np.array([3, 2**64 - 1], np.uint64))),
        (TypeError, "incompatible", lambda: fog.update(opaque, viewers, radius=True)),
        (ValueError, r"viewer 1 at \(9223372036854775813, 1\) is not on the map",
         lambda: fog.update(opaque, np.array([(0, 0), (2**63 + 5, 1)], np.uint64))),
        (ValueError, "overlaps", lambda: fog.update(opaque, viewers, opaque)),
        # Cells and radii are integers: a float is not cut to one.
        (TypeError, "integers", lambda: fog.update(opaque, [(2.7, 3.9)])),
        (TypeError, "integers", lambda: fog.update(opaque, np.array([[-0.5, 3]]))),
        (TypeError, "integers", lambda: fog.update(opaque, [(True, False)])),
        (TypeError, "integers", lambda: fog.update(opaque, [(5, 5)], radii=[1.9])),
        (TypeError, "None", lambda: vantrel.FogOfWar(None)),
    ]
    before = opaque.copy()
    for error, message, call in bad:
        with pytest.raises(error, match=message):
            call()
    np.testing.assert_array_equal(opaque, before)
    # A turn without viewers sees nothing.
    assert not fog.update(opaque, []).any()


def test_computing_releases_the_gil(view12):
    opaque = random_map(1024, 1024, 0.1, 4)
    rng = np.random.default_rng(4)
    viewers = rng.integers(0, 1024, (100000, 2))
    fog = vantrel.FogOfWar(view12)
    window = []

    def update():
        start = time.perf_counter()
        fog.update(opaque, viewers, radius=12)
        window.extend([start, time.perf_counter()])

    worker = threading.Thread(target=update)
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    start, end = window
    # This thread runs on through the update: held, the GIL would stop it
    # for the whole update, which takes tens of milliseconds.
    inside = [start] + [t for t in ticks if start < t < end] + [end]
    assert end - start > 0.03
    assert max(b - a for a, b in zip(inside, inside[1:])) < (end - start) / 2
