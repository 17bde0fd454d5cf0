"""The build backend of the package ssmsg (PEP 517), in the standard library alone.

The package is built already: <build>/python/ssmsg holds its modules and, beside them, the shared
library _libssmsg.so.0 that the build made for it. A wheel is those files with their metadata, so
pip installs the package into a fresh virtual environment with no package index and nothing
installed beside pip: `pip install --no-index ./python` from the build folder, with or without
--no-build-isolation.
"""

from __future__ import annotations

import base64
import hashlib
import re
import sysconfig
import zipfile
from pathlib import Path

_HERE = Path(__file__).resolve().parent
_PACKAGE = "ssmsg"


def _project() -> dict[str, str]:
    """name, version, description, license and requires-python of pyproject.toml's [project]
    table."""
    text = (_HERE / "pyproject.toml").read_text(encoding="utf-8")
    table = re.search(r"^\[project\]\s*$(.*?)(?=^\[|\Z)", text, re.M | re.S)
    if not table:
        raise RuntimeError("pyproject.toml has no [project] table")
    return dict(re.findall(r'^([a-z-]+)\s*=\s*"([^"]*)"\s*$', table.group(1), re.M))


def _files() -> list[Path]:
    """The package's files: its modules, py.typed and the library beside them, if built."""
    folder = _HERE / _PACKAGE
    wanted = (".py", ".typed")
    return sorted(
        path
        for path in folder.iterdir()
        if path.is_file() and (path.suffix in wanted or path.name.startswith("_libssmsg.so"))
    )


def _tag(files: list[Path]) -> str:
    """py3-none-any for Python alone; the platform's tag when the library is in the wheel."""
    if any(path.name.startswith("_libssmsg.so") for path in files):
        return "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())
    return "py3-none-any"


def _metadata(project: dict[str, str]) -> str:
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {project['version']}",
        f"Summary: {project.get('description', '')}",
    ]
    if "license" in project:
        lines.append(f"License: {project['license']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    return "\n".join(lines) + "\n"


def _wheel(tag: str) -> str:
    purelib = "true" if tag.endswith("-any") else "false"
    return (
        "Wheel-Version: 1.0\nGenerator: ssmsg_build\n"
        f"Root-Is-Purelib: {purelib}\nTag: {tag}\n"
    )


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _dist_info(project: dict[str, str]) -> str:
    return f"{project['name']}-{project['version']}.dist-info"


def get_requires_for_build_wheel(config_settings=None) -> list[str]:
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None) -> str:
    project = _project()
    folder = Path(metadata_directory) / _dist_info(project)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "METADATA").write_text(_metadata(project), encoding="utf-8")
    (folder / "WHEEL").write_text(_wheel(_tag(_files())), encoding="utf-8")
    return folder.name


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None) -> str:
    project = _project()
    files = _files()
    tag = _tag(files)
    name = f"{project['name']}-{project['version']}-{tag}.whl"
    dist_info = _dist_info(project)
    entries = [(f"{_PACKAGE}/{path.name}", path.read_bytes()) for path in files]
    entries += [
        (f"{dist_info}/METADATA", _metadata(project).encode()),
        (f"{dist_info}/WHEEL", _wheel(tag).encode()),
    ]
    record = [_record_line(entry, data) for entry, data in entries] + [f"{dist_info}/RECORD,,"]
    entries.append((f"{dist_info}/RECORD", ("\n".join(record) + "\n").encode()))
    with zipfile.ZipFile(Path(wheel_directory) / name, "w", zipfile.ZIP_DEFLATED) as wheel:
        for entry, data in entries:
            info = zipfile.ZipInfo(entry, date_time=(1980, 1, 1, 0, 0, 0))
            info.external_attr = (0o755 if "_libssmsg.so" in entry else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(info, data)
    return name
