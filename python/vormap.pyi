"""Random maps for a voxel game: 512 x 512 columns of 64 voxels from a seed."""

import os
from typing import Any, Dict, Iterable, Iterator, Literal, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
MAP_SIZE: int  # 512 columns along x and along y
MAP_HEIGHT: int  # 64 voxels in a column
# Every figure's name, with its unit and meaning, in the order of the records.
FIGURES: Dict[str, Tuple[str, str]]

_Path = Union[str, bytes, os.PathLike]
Lake = Literal["east", "north", "west", "south"]
Symmetry = Literal["none", "mirror", "turn"]
Half = Literal["blue", "green"]
# A figure's value: an int for counts and heights, else a float.
Record = Dict[str, Union[int, float]]

class VxlError(ValueError):
    """A .vxl file that is not a map: damaged, cut short or too large."""

    offset: int  # the byte where the damage was found
    x: Optional[int]  # its column, None when the damage lies outside any column
    y: Optional[int]

class Map:
    """A finished map (about 85 MiB), made by generate() or read by read_vxl()."""

    @property
    def seed(self) -> Optional[int]: ...
    @property
    def debug(self) -> Optional[bool]: ...
    @property
    def name(self) -> Optional[str]:
        """'1234', or '1234:lake=north,water=1.5' for a variant; None when read from a file."""
    @property
    def options(self) -> Optional[Dict[str, Any]]:
        """The seed and variant as generate(**options) takes them; None when read from a file."""
    @property
    def source(self) -> Optional[str]:
        """The path the map was read from."""
    @property
    def heights(self) -> npt.NDArray[np.int32]:
        """(512, 512) [x, y]: the ground's height in each column (read-only view)."""
    @property
    def solid(self) -> npt.NDArray[np.bool_]:
        """(512, 512, 64) [x, y, z]: True where a voxel is solid (read-only view)."""
    @property
    def colors(self) -> npt.NDArray[np.uint32]:
        """(512, 512, 64) [x, y, z]: colour words 0x80RRGGBB of the solid voxels (read-only view)."""
    def vxl(self, threads: Optional[int] = None) -> bytes:
        """The .vxl file's bytes, as `vormap` writes them."""
    def save(self, path: _Path, threads: Optional[int] = None) -> None:
        """Writes the .vxl file, whole or not at all."""
    def figures(self) -> Record:
        """The figures of `vxltool info --json`."""
    def preview(self, scale: int = 1, heightmap: bool = False, *, absolute: bool = False) -> npt.NDArray[np.uint8]:
        """The top-down picture as RGB, (512*scale, 512*scale, 3), [y, x, channel]."""
    def preview_image(self, scale: int = 1, heightmap: bool = False, *, absolute: bool = False) -> Any:
        """preview() as a Pillow image (PIL.Image.Image; needs Pillow)."""
    def save_preview(self, path: _Path, scale: int = 1, heightmap: bool = False, *, absolute: bool = False) -> None:
        """Writes the PNG file `vxltool preview` writes."""
    def _repr_png_(self) -> bytes: ...

def generate(
    seed: Optional[int] = None,
    debug: bool = False,
    threads: int = 0,
    *,
    name: Optional[str] = None,
    lake: Lake = "east",
    symmetry: Symmetry = "none",
    keep: Half = "blue",
    water: float = 1.0,
    trees: float = 1.0,
    hills: float = 1.0,
) -> Map:
    """The map of a seed (or a map's name), byte for byte what `vormap` makes."""

def parse_name(name: str) -> Dict[str, Any]:
    """The seed and variant options of a map's name, for generate(**options)."""

def read_vxl(path: _Path) -> Map:
    """The map in a .vxl file. Raises OSError or VxlError."""

def decode_vxl(data: Union[bytes, bytearray, memoryview]) -> Map:
    """The map in a .vxl file's bytes. Raises VxlError."""

class Search(Iterator[Record]):
    """The records of a search; close() (or leaving a with block) stops it."""

    def __iter__(self) -> "Search": ...
    def __next__(self) -> Record: ...
    def close(self) -> None: ...
    def __enter__(self) -> "Search": ...
    def __exit__(self, *args: Any) -> None: ...

def search(
    seeds: Union[str, int, Iterable[int]],
    where: Optional[str] = None,
    top: Optional[int] = None,
    by: Optional[str] = None,
    jobs: int = 0,
) -> Search:
    """The figures of many seeds' maps, as `vxltool search` gives them."""
