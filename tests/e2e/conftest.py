import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).parent))
import wand  # noqa: E402


@pytest.fixture(autouse=True)
def _stop_programs():
    yield
    wand.stop_all()


@pytest.fixture(scope="module")
def x():
    """One X server with LAYOUT for a whole test file; each test starts with the pointer at 7,7."""
    with wand.XServer() as server:
        yield server


@pytest.fixture
def xs(x):
    x.move(7, 7)
    x.events(), x.motions()
    return x
