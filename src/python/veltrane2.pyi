"""Type hints of the veltrane2 module (see help(veltrane2))."""
from typing import Dict, Optional, Tuple, Union

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

class Scan:
    z: npt.NDArray[np.float64]
    extent: Tuple[float, float]
    unit: float
    zunits: str
    title: str
    format: str

def destripe(z: npt.ArrayLike, *, h_global: float, h_centre: float, h_off: float, r_centre: float,
             l_centre: float, l_off: float, n_run: int, grouped: bool = False,
             extent: Optional[Tuple[float, float]] = None, unit: float = 1.0) -> Result: ...
def read(path: str) -> Scan: ...
def write(path: str, z: npt.ArrayLike, *, extent: Optional[Tuple[float, float]] = None, unit: float = 1.0,
          format: Optional[str] = None, zunits: str = "", title: str = "", source: str = "") -> None: ...
