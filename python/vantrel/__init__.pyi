from os import PathLike
from typing import Literal, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt

__version__: str

# A map or view: 2-D, bool or uint8, C order, shape (height, width).
_Map = npt.NDArray[Union[np.bool_, np.uint8]]
# A cell as (row, column).
_Cell = Tuple[int, int]
# Which opaque cells are in view (Sight.compute).
_Walls = Literal["seen", "unseen", "facing"]
# A table: its lines, each an (n, 2) int32 array of (x, y).
_Table = list[npt.NDArray[np.int32]]

class TableFileError(OSError): ...

def make_table(radius: int) -> _Table: ...

class TableFile:
    def __init__(self, path: Union[str, bytes, PathLike[str], PathLike[bytes]]) -> None: ...
    @staticmethod
    def from_bytes(data: bytes, name: str = "table file") -> TableFile: ...
    @property
    def radii(self) -> list[int]: ...
    def __contains__(self, radius: int) -> bool: ...
    def table(self, radius: int) -> _Table: ...

class Sight:
    @overload
    def __init__(self, radius: int) -> None: ...
    @overload
    def __init__(self, file: TableFile) -> None: ...
    @property
    def radius(self) -> int: ...
    def has_radius(self, radius: int) -> bool: ...
    def prepare(self, radius: int) -> None: ...
    def compute(
        self,
        map: _Map,
        viewer: _Cell,
        radius: Optional[int] = None,
        *,
        walls: Optional[_Walls] = None,
        light_walls: Optional[bool] = None,
        transparent: bool = False,
        symmetric: bool = False,
        out: Optional[_Map] = None,
        cone: Optional[Tuple[float, float]] = None,
    ) -> _Map: ...
    def sees(
        self,
        map: _Map,
        viewer: _Cell,
        target: _Cell,
        radius: Optional[int] = None,
        *,
        walls: Optional[_Walls] = None,
        light_walls: Optional[bool] = None,
        transparent: bool = False,
        symmetric: bool = False,
        cone: Optional[Tuple[float, float]] = None,
    ) -> bool: ...
    def list(
        self,
        map: _Map,
        viewer: _Cell,
        radius: Optional[int] = None,
        *,
        walls: Optional[_Walls] = None,
        transparent: bool = False,
        cone: Optional[Tuple[float, float]] = None,
    ) -> npt.NDArray[np.int32]: ...

FieldOfView = Sight

class FogOfWar:
    def __init__(self, view: Sight, threads: int = 1) -> None: ...
    @property
    def threads(self) -> int: ...
    def update(
        self,
        map: _Map,
        viewers: Union[npt.NDArray[np.integer], Sequence[_Cell]],
        visible: Optional[_Map] = None,
        explored: Optional[_Map] = None,
        *,
        radius: Optional[int] = None,
        radii: Optional[Union[npt.NDArray[np.integer], Sequence[int]]] = None,
        walls: Optional[_Walls] = None,
        light_walls: Optional[bool] = None,
        transparent: bool = False,
    ) -> _Map: ...

def compute_fov(
    transparency: _Map,
    pov: _Cell,
    radius: int,
    light_walls: Optional[bool] = None,
    *,
    walls: Optional[_Walls] = None,
    symmetric: bool = False,
    out: Optional[_Map] = None,
) -> _Map: ...
