"""Type hints of the veltrane2 module (see help(veltrane2))."""
from typing import Any, Dict, List, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str
PRESETS: Dict[str, Dict[str, Union[float, int]]]

class LimitStop(RuntimeError): ...

class Result:
    gain: npt.NDArray[np.float64]
    noise: npt.NDArray[np.float64]
    cleaned: npt.NDArray[np.float64]
    report: str
    extent: Tuple[float, float]
    unit: float
    side: int
    figures: Dict[str, float]
    choice: Optional[str]
    candidates: List[Dict[str, Any]]

class Scan:
    z: npt.NDArray[np.float64]
    extent: Tuple[float, float]
    unit: float
    zunits: str
    title: str
    format: str

def destripe(z: npt.ArrayLike, *, preset: Optional[str] = None, h_global: Optional[float] = None,
             h_centre: Optional[float] = None, h_off: Optional[float] = None, r_centre: Optional[float] = None,
             l_centre: Optional[float] = None, l_off: Optional[float] = None, n_run: Optional[int] = None,
             grouped: bool = False, extent: Optional[Tuple[float, float]] = None, unit: float = 1.0) -> Result: ...
def figures(z: npt.ArrayLike) -> Dict[str, float]: ...
class Channel:
    number: int
    title: str
    size: Tuple[int, int]
    extent: Tuple[float, float]
    offset: Tuple[float, float]
    xy_unit: str
    z_unit: str
    height: bool

def read(path: str, channel: Optional[Union[int, str]] = None) -> Scan: ...
def channels(path: str) -> List[Channel]: ...
def write(path: str, z: npt.ArrayLike, *, extent: Optional[Tuple[float, float]] = None, unit: float = 1.0,
          format: Optional[str] = None, zunits: str = "", title: str = "", source: str = "") -> None: ...
