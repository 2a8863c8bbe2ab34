"""vantrel: line-of-sight tables and the field of view they define, over numpy arrays.

Maps are 2-D numpy arrays of bool or uint8 in C order, shape (height, width),
read where they lie: non-zero marks an opaque cell, or a clear one with
transparent=True. Cells are (row, column), as numpy indexes the map, so
that view[viewer] is the viewer's own cell. Views are bool arrays of the
map's shape.

    import numpy as np, vantrel
    opaque = np.zeros((25, 80), dtype=bool); opaque[10, 5:60] = True
    view = vantrel.Sight(12).compute(opaque, (12, 40), walls="facing")

compute_fov() takes a map of clear cells, as the tcod package does.
"""

import functools

from ._vantrel import (
    FogOfWar,
    Sight,
    TableFile,
    TableFileError,
    __version__,
    make_table,
)

# The former name of Sight, kept for the code that uses it.
FieldOfView = Sight

__all__ = [
    "FieldOfView",
    "FogOfWar",
    "Sight",
    "TableFile",
    "TableFileError",
    "compute_fov",
    "make_table",
]


@functools.lru_cache(maxsize=64)
def _view_of_radius(radius):
    return Sight(radius)


def compute_fov(transparency, pov, radius, light_walls=None, *, walls=None, symmetric=False,
                out=None):
    """The view from `pov` (row, column) on a map of clear cells, by the table of `radius`.

    `transparency` is a 2-D C-ordered array of bool or uint8, non-zero for
    the cells that sight passes through, as the tcod package takes it; it
    is read where it lies. Returns a bool array of its shape, True for the
    cells in view, or fills in and returns `out`; symmetric=True gives the
    symmetric view (Sight.compute). light_walls, as tcod's, is True
    (the default) or False; or give walls="seen", "unseen" or "facing", as
    Sight.compute takes it. The Sight of each
    radius is built at its first use and kept (the last 64 radii).
    Raises ValueError for a viewer off the map or a radius below 1.
    """
    if walls is not None and light_walls is not None:
        raise TypeError("compute_fov(): give walls or light_walls, not both")
    return _view_of_radius(radius).compute(
        transparency, pov, radius, light_walls=light_walls, walls=walls, transparent=True,
        symmetric=symmetric, out=out,
    )

for _name in ("Sight", "FogOfWar", "TableFile", "TableFileError", "make_table"):
    globals()[_name].__module__ = __name__
del _name
